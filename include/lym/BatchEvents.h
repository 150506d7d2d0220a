// What every batch job (compression, decompression, file information) tells its front end while it
// runs. Each event may be left unset; an unset OnCancelQuery never cancels. TReport is the batch's
// own per-file report record.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace lym {

template <class TReport>
struct TBatchEvents {
  std::function<void(const std::string& text)> OnLogLine;
  std::function<void(const std::string& displayName)> OnFileStart;
  std::function<void(int32_t percent)> OnProgress;
  // text is the file's result text; file information passes an empty one.
  std::function<void(const TReport& report, const std::string& text)> OnFileResult;
  std::function<bool()> OnCancelQuery;
};

inline constexpr int32_t kDisplayNameWidth = 35;

// A name of at most width characters padded with spaces to width, a longer one shortened to its
// first 10 characters, "..." and its last width - 13; then one space.
std::string ShortDisplayName(const std::string& name, int32_t width = kDisplayNameWidth);

}  // namespace lym
