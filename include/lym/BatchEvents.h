// What every batch job (compression, decompression, file information) tells its front end while it
// runs. Each event may be left unset; an unset OnCancelQuery never cancels. TReport is the batch's
// own per-file report record.
#pragma once

#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <utility>

namespace lym {

template <class TReport>
struct TBatchEvents {
  std::function<void(const std::string& text)> OnLogLine;
  std::function<void(const std::string& displayName)> OnFileStart;
  std::function<void(int32_t percent)> OnProgress;
  // text is the file's result text; file information passes an empty one.
  std::function<void(const TReport& report, const std::string& text)> OnFileResult;
  std::function<bool()> OnCancelQuery;
  // Lines that report a loss outside any one file (a protocol file that could not be written);
  // they go to OnLogLine too. A front end shows them even where it shows nothing else.
  std::function<void(const std::string& text)> OnFailureLine;
};

// The outputs that one run has written. A front end that runs several batches for one command
// hands each the same record, so that an input whose output an earlier input of the run wrote is
// refused rather than replacing it, overwriting or not. A batch without one keeps its own.
class TRunOutputs {
 public:
  bool Wrote(const std::string& name) const;
  void Add(const std::string& name);

 private:
  std::set<std::pair<uint64_t, uint64_t>> files_;  // volume and index
};

inline constexpr int32_t kDisplayNameWidth = 35;

// A name of at most width characters padded with spaces to width, a longer one shortened to its
// first 10 characters, "..." and its last width - 13; then one space.
std::string ShortDisplayName(const std::string& name, int32_t width = kDisplayNameWidth);

}  // namespace lym
