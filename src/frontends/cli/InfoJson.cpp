#include "InfoJson.h"

#include <optional>

namespace lym::cli {
namespace {

using nlohmann::ordered_json;

constexpr const char* kTagStates[] = {"present", "none", "incompatible", "damaged", "unreadable"};

template <class T>
ordered_json OrNull(const std::optional<T>& value) {
  return value ? ordered_json(*value) : ordered_json(nullptr);
}

bool Damaged(uint8_t code) { return code == kInformStreamIdDamaged || code == kInformMetaDamaged; }

const char* StatusWord(uint8_t code) {
  return code == kInformOk ? "ok" : Damaged(code) ? "damaged" : "error";
}

ordered_json ErrorText(uint8_t code) {
  return code == kInformOk || Damaged(code) ? ordered_json(nullptr)
                                            : ordered_json(TInformant::ResultText(code));
}

ordered_json TagItemJson(const TInformTagItem& item) {
  ordered_json object = {{"key", item.Key}, {"type", kInformItemTypeNames[item.Type]}};
  if (item.Type == kInformItemText) {
    object["value"] = item.Value;
  } else {
    object["bytes"] = item.Value.size();
  }
  return object;
}

ordered_json TagJson(const TInformFileFacts& facts) {
  if (!facts.TagState) return nullptr;
  ordered_json items = ordered_json::array();
  for (const TInformTagItem& item : facts.TagItems) items.push_back(TagItemJson(item));
  return {{"state", kTagStates[*facts.TagState]}, {"items", items}};
}

ordered_json FileJson(const std::string& file, const TInformFileReport& report) {
  const TInformFileFacts& f = report.Facts;
  return {{"file", file},
          {"bytes", OrNull(f.FileBytes)},
          {"status", StatusWord(report.Code)},
          {"error", ErrorText(report.Code)},
          {"sample_rate", OrNull(f.SampleRate)},
          {"channels", OrNull(f.Channels)},
          {"bits_per_sample", OrNull(f.BitsPerSample)},
          {"samples", OrNull(f.Samples)},
          {"duration_seconds", OrNull(f.DurationSeconds)},
          {"compression_ratio", OrNull(f.CompressionRatio)},
          {"preset", OrNull(f.PresetName)},
          {"preset_index", OrNull(f.Preset)},
          {"evaluation", OrNull(f.EvaluationName)},
          {"evaluation_index", OrNull(f.Evaluation)},
          {"encoder_version", OrNull(f.EncoderVersion)},
          {"frame_length", OrNull(f.FrameSamples)},
          {"wave_header_bytes", OrNull(f.WaveHeaderBytes)},
          {"wave_trailer_bytes", OrNull(f.WaveTrailerBytes)},
          {"seek_points", OrNull(f.SeekPoints)},
          {"tag", TagJson(f)},
          {"damage", f.Damage}};
}

}  // namespace

TInfoDocument::TInfoDocument(size_t fileCount) : files_(ordered_json::array()) {
  files_.get_ref<ordered_json::array_t&>().resize(fileCount);
}

void TInfoDocument::Set(size_t position, const std::string& file,
                        const TInformFileReport& report) {
  files_[position] = FileJson(file, report);
}

std::string TInfoDocument::Text() const {
  return files_.dump(2, ' ', false, ordered_json::error_handler_t::replace) + "\n";
}

}  // namespace lym::cli
