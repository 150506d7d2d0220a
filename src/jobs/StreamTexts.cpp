#include "jobs/StreamTexts.h"

#include "container/APEv2Tag.h"
#include "jobs/TextData.h"
#include "codec/EncoderPresets.h"
#include "lym/Informant.h"

namespace lym {
namespace {

// By tag state, kInformTagPresent first.
constexpr const char* kApeTagStateTexts[] = {"Yes", "No", "Incompatible", "Invalid", "Error"};

}  // namespace

uint8_t ApeTagState(const TlymAPEv2Tag* tag) {
  switch (tag != nullptr ? tag->Status() : kAPEv2StatusReadError) {
    case kAPEv2StatusUsable: return kInformTagPresent;
    case kAPEv2StatusNoTag: return kInformTagNone;
    case kAPEv2StatusIncompatible: return kInformTagIncompatible;
    case kAPEv2StatusDamaged: return kInformTagDamaged;
    default: return kInformTagUnreadable;
  }
}

std::string PresetName(int32_t preset) { return PresetNameOf(preset); }

std::string EncoderVersionText(int32_t version) {
  return std::to_string((version >> 16) & 0xFF) + "." + std::to_string((version >> 8) & 0xFF) +
         "." + std::to_string(version & 0xFF);
}

std::string EvaluationName(const TadcEncoderInfo& info) {
  return info.EncoderVersion <= kLastVersionWithoutEvaluation ? "Unknown"
                                                              : LevelNameOf(info.Evaluation);
}

std::string EncoderText(const TadcEncoderInfo& info) {
  return "V " + EncoderVersionText(info.EncoderVersion) + ", " + PresetName(info.Preset) + " + " +
         EvaluationName(info);
}

std::string ApeTagText(TlymAPEv2Tag& tag) {
  const std::string state = kApeTagStateTexts[ApeTagState(&tag)];
  TlymAPEv2TagInfo info;
  const int32_t items = tag.GetItemCount();  // -1 while the tag is not usable
  if (items < 0 || tag.GetTagInfo(&info) != kAPEv2QueryDone) return state;
  return state + " / " + std::to_string(items) + " Items / " +
         FormatFixed(double(info.Size) / 1024.0, 0, 2) + " KB";
}

}  // namespace lym
