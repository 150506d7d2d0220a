// The names of files to remove when the program is interrupted, kept so that a signal handler may
// read them: fixed slots, no allocation, and atomic flags that say which slots hold a whole name.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

namespace lym::platform {

template <class TChar, size_t kNameLength, size_t kSlots = 32>
class TCleanupList {
 public:
  // The slot that holds the name, or -1 when the name is too long or every slot is taken.
  int32_t Add(const TChar* name, size_t length) {
    if (length >= kNameLength) return -1;
    for (size_t i = 0; i < kSlots; ++i) {
      TSlot& slot = slots_[i];
      if (slot.Taken.exchange(true, std::memory_order_acquire)) continue;
      for (size_t c = 0; c < length; ++c) slot.Name[c] = name[c];
      slot.Name[length] = TChar(0);
      slot.Listed.store(true, std::memory_order_release);
      return int32_t(i);
    }
    return -1;
  }

  void Remove(int32_t index) {
    if (index < 0 || size_t(index) >= kSlots) return;
    slots_[index].Listed.store(false, std::memory_order_release);
    slots_[index].Taken.store(false, std::memory_order_release);
  }

  template <class TAction>
  void ForEachListed(TAction action) {
    for (TSlot& slot : slots_) {
      if (slot.Listed.load(std::memory_order_acquire)) action(slot.Name);
    }
  }

 private:
  struct TSlot {
    std::atomic<bool> Taken{false};
    std::atomic<bool> Listed{false};
    TChar Name[kNameLength];
  };
  TSlot slots_[kSlots];
};

}  // namespace lym::platform
