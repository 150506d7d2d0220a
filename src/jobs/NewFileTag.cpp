#include "jobs/NewFileTag.h"

#include <memory>

#include "container/APEv2Tag.h"

namespace lym {

bool BuildNewFileTag(const std::vector<TTagItem>& items, std::vector<uint8_t>& bytes,
                     std::string& fault) {
  TlymAPEv2Tag tag;
  for (const TTagItem& item : items) {
    const auto* value = reinterpret_cast<const uint8_t*>(item.Value.data());
    const char* problem = APEv2ItemFault(item.Type, item.Key, value, item.Value.size());
    auto made = std::make_unique<TlymAPEv2Item>(int32_t(item.Type), item.Key,
                                                std::vector<uint8_t>(value, value + item.Value.size()));
    if (problem == nullptr) problem = APEv2RoomFault(tag.Items(), *made);
    if (problem != nullptr) {
      fault = item.Key + ": " + problem;
      return false;
    }
    tag.SetItem(std::move(made));
  }
  bytes = APEv2TagBytes(tag.Items());
  return true;
}

std::string TagItemsFault(const std::vector<TTagItem>& items) {
  std::vector<uint8_t> bytes;
  std::string fault;
  return BuildNewFileTag(items, bytes, fault) ? std::string() : fault;
}

}  // namespace lym
