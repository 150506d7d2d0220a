#include "jobs/DecompErrorLog.h"

#include <cstdint>

namespace lym {
namespace {

constexpr int32_t kDamageLastFrame = 16;

struct TDamageLabel {
  int32_t flag;
  const char* label;
};

// In the order the lines appear.
constexpr TDamageLabel kDamageLabels[] = {
    {kDamageIdentifier, "File-ID:        "}, {kDamageStreamInfo, "StreamInfo:     "},
    {kDamageFirstFrame, "First frame:    "}, {kDamageLastFrame, "Last frame:     "},
    {kDamageMetaData, "Meta data:      "},
};

}  // namespace

void TFileDecompErrorLogCreator::AddEntry(const std::string& entry,
                                          const TFileDecompResult& result) {
  target_.Add("--- " + entry + " ---");
  target_.Add("");
  target_.Add("Result: " + TDecompressor::ResultText(result.Code));
  if (result.Code != kDecompOk && result.Code != kDecompWaveMetaMissing) {
    target_.Add("");
    AddDamageLines(result.Damage);
    target_.Add("");
    AddSkippedBlocks(result.ErrorList);
  }
  target_.Add("");
  target_.Add("");
}

void TFileDecompErrorLogCreator::AddDamageLines(const TadcDecodeResult& damage) {
  for (const TDamageLabel& item : kDamageLabels) {
    if ((damage.DamageFlags & item.flag) != 0) target_.Add(item.label + PadLeft("damaged", 8));
  }
  constexpr int32_t kWidth = 8;
  target_.Add("Header  samples: " + IntRight(damage.HeaderSamples, kWidth));
  target_.Add("Written samples: " + IntRight(damage.WrittenSamples, kWidth));
  target_.Add("Muted   samples: " + IntRight(damage.MutedSamples, kWidth));
  target_.Add("Cut     samples: " + IntRight(damage.HeaderSamples - damage.WrittenSamples, kWidth));
  target_.Add("Damaged blocks:  " + IntRight(damage.DamagedBlocks, kWidth));
}

void TFileDecompErrorLogCreator::AddSkippedBlocks(const TFileDecompErrorList& errors) {
  target_.Add("Skipped data blocks");
  target_.Add("");
  target_.Add("No       Sample pos  Count");
  int64_t number = 0;
  for (const TFileDecompError& error : errors) {
    target_.Add(IntRight(++number, 8) + IntRight(error.SamplePos, 12) + IntRight(error.Count, 12));
  }
}

}  // namespace lym
