#include "jobs/StreamTexts.h"

#include "container/APEv2Tag.h"
#include "jobs/TextData.h"
#include "codec/EncoderPresets.h"

namespace lym {
namespace {

std::string ApeTagStateText(int32_t status) {
  switch (status) {
    case kAPEv2StatusUsable: return "Yes";
    case kAPEv2StatusNoTag: return "No";
    case kAPEv2StatusIncompatible: return "Incompatible";
    case kAPEv2StatusDamaged: return "Invalid";
    default: return "Error";
  }
}

}  // namespace

std::string PresetName(int32_t preset) { return PresetNameOf(preset); }

std::string EncoderText(const TadcEncoderInfo& info) {
  const int32_t version = info.EncoderVersion;
  const std::string evaluation = version <= kLastVersionWithoutEvaluation
                                     ? "Unknown"
                                     : LevelNameOf(info.Evaluation);
  return "V " + std::to_string((version >> 16) & 0xFF) + "." +
         std::to_string((version >> 8) & 0xFF) + "." + std::to_string(version & 0xFF) + ", " +
         PresetName(info.Preset) + " + " + evaluation;
}

std::string ApeTagText(TlymAPEv2Tag& tag) {
  const std::string state = ApeTagStateText(tag.Status());
  TlymAPEv2TagInfo info;
  const int32_t items = tag.GetItemCount();  // -1 while the tag is not usable
  if (items < 0 || tag.GetTagInfo(&info) != kAPEv2QueryDone) return state;
  return state + " / " + std::to_string(items) + " Items / " +
         FormatFixed(double(info.Size) / 1024.0, 0, 2) + " KB";
}

}  // namespace lym
