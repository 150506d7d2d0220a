// The error protocol entry of a damaged file that was decoded: its result, what was damaged, the
// sample counts, and the table of the data blocks that were skipped.
#pragma once

#include <string>

#include "jobs/FileDecompressor.h"
#include "jobs/TextData.h"

namespace lym {

class TFileDecompErrorLogCreator {
 public:
  explicit TFileDecompErrorLogCreator(TTextData& target) : target_(target) {}

  // Adds the entry of one file (its name as listed), followed by two empty lines.
  void AddEntry(const std::string& entry, const TFileDecompResult& result);

 private:
  void AddDamageLines(const TadcDecodeResult& damage);
  void AddSkippedBlocks(const TFileDecompErrorList& errors);

  TTextData& target_;
};

}  // namespace lym
