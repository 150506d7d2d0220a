#include "plugin/FileInfo.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "plugin/HostCalls.h"
#include "plugin/Stream.h"
#include "plugin/TagTexts.h"

namespace lym::plugin {
namespace {

constexpr const char* kLineBreak = "\r\n";
constexpr const char* kReadErrorText = "Error reading file";
constexpr const char* kDecoderCaption = "LYM Decoder";
constexpr const char* kInfoBoxCaption = "LYM File Info";
// Encoders up to 1.0.0 did not store the evaluation level.
constexpr uint32_t kLastVersionWithoutEvaluation = 0x010000;
// What ends the folder part of a file name: '/' everywhere; on Windows also '\' and a drive's ':'.
#ifdef _WIN32
constexpr const char* kFolderSeparators = "/\\:";
#else
constexpr const char* kFolderSeparators = "/";
#endif

struct TTagLine {
  const char* key;
  const char* label;
};
constexpr TTagLine kTagLines[] = {{"title", "Title"},     {"artist", "Artist"},
                                  {"album", "Album"},     {"comment", "Comment"},
                                  {"year", "Year"},       {"track", "Track"}};

// A file opened for one query: its decoder and stream information, closed again at the end.
class TInfoSource {
 public:
  explicit TInfoSource(const char* fileName) : decoder_(OpenStream(fileName, info_)) {}

  bool IsOpen() const { return decoder_ != nullptr; }
  const lym_info& Info() const { return info_; }
  const lym_tag* Tag() { return StreamTag(*decoder_); }

 private:
  lym_info info_{};  // before the decoder, whose opening fills it
  TDecoder decoder_;
};

void CopyTitle(const std::string& text, char* title) {
  const size_t length = std::min(text.size(), kTitleBytes - 1);
  std::memcpy(title, text.data(), length);
  title[length] = '\0';
}

std::string FileNamePart(const std::string& path) {
  const size_t separator = path.find_last_of(kFolderSeparators);
  return separator == std::string::npos ? path : path.substr(separator + 1);
}

// The name shows where a title would, so it comes in the player's character set as tag values do.
std::string HostFileNamePart(const std::string& fileName) {
  return Utf8ToHost(FileNamePart(fileName));
}

std::string ZeroPadded(int32_t value, int digits) {
  char text[16];
  std::snprintf(text, sizeof(text), "%0*d", digits, int(value));
  return text;
}

// A stream without encoder information still names the preset its stream information carries.
std::string EncoderLine(const lym_info& info) {
  const uint32_t version = info.encoder_version;
  const std::string preset = lym_preset_string(info.preset);
  if (version == 0) return "V Unknown, " + preset + " + Unknown";
  const std::string evaluation = version <= kLastVersionWithoutEvaluation
                                     ? "Unknown"
                                     : lym_evaluation_string(info.evaluation);
  return "V " + std::to_string((version >> 16) & 0xFF) + "." +
         std::to_string((version >> 8) & 0xFF) + "." + std::to_string(version & 0xFF) + ", " +
         preset + " + " + evaluation;
}

std::string AudioLine(const lym_info& info) {
  return "PCM, " + std::to_string(info.sample_rate) + " Hz, " +
         std::to_string(info.bits_per_sample) + " Bits, " + std::to_string(info.channels) +
         " Channels";
}

std::string TagStateText(const lym_tag* tag) {
  switch (tag != nullptr ? lym_tag_get_state(tag) : LYM_TAG_UNREADABLE) {
    case LYM_TAG_PRESENT: return "Yes";
    case LYM_TAG_NONE: return "No";
    case LYM_TAG_INCOMPATIBLE: return "Incompatible";
    case LYM_TAG_DAMAGED: return "Invalid";
    default: return "Error";
  }
}

// "Yes / 3 Items / 0.12 KB" for a usable tag, otherwise the state word alone.
std::string TagSummary(const lym_tag* tag) {
  const std::string state = TagStateText(tag);
  if (tag == nullptr || lym_tag_get_state(tag) != LYM_TAG_PRESENT) return state;
  char size[32];
  std::snprintf(size, sizeof(size), "%.2f", double(lym_tag_bytes(tag)) / 1024.0);
  return state + " / " + std::to_string(lym_tag_item_count(tag)) + " Items / " + size + " KB";
}

// "APEv2-Tag: ..." and, for a usable tag, a line per known item that it holds.
std::string TagLines(const lym_tag* tag) {
  std::string text = "APEv2-Tag: " + TagSummary(tag);
  for (const TTagLine& line : kTagLines) {
    if (const auto value = TagValue(tag, line.key)) {
      text += kLineBreak + std::string(line.label) + ": " + *value;
    }
  }
  return text;
}

}  // namespace

std::string GetTitle(const std::optional<std::string>& tagTitle, const std::string& fileName) {
  return tagTitle ? *tagTitle : HostFileNamePart(fileName);
}

std::string DurationText(int32_t ms) {
  const int32_t hours = ms / 3600000;
  const int32_t minutes = ms / 60000 % 60;
  const std::string head =
      hours > 0 ? std::to_string(hours) + ":" + ZeroPadded(minutes, 2) : std::to_string(minutes);
  return head + ":" + ZeroPadded(ms / 1000 % 60, 2) + "." + ZeroPadded(ms % 1000, 3);
}

std::string InfoBoxText(const lym_info& info, const lym_tag* tag) {
  return "File duration: " + DurationText(DurationMs(info.total_samples, info.sample_rate)) +
         kLineBreak + "Audio: " + AudioLine(info) + kLineBreak + "Encoder: " + EncoderLine(info) +
         kLineBreak + "Frame duration: " +
         std::to_string(DurationMs(info.frame_length, info.sample_rate)) + " ms" + kLineBreak +
         TagLines(tag);
}

void GetFileInfo(const TLymPlayback& playback, const char* file, char* title, int* lengthMs) {
  if (file == nullptr || *file == '\0') {
    // Without a playing file there is no tag, and the title falls back to the last name played.
    if (title != nullptr) CopyTitle(GetTitle(playback.TagTitle(), playback.FileName()), title);
    if (lengthMs != nullptr) *lengthMs = playback.GetLength();
    return;
  }
  if (title != nullptr) *title = '\0';
  if (lengthMs != nullptr) *lengthMs = kUnknownLengthMs;
  TInfoSource source(file);
  if (!source.IsOpen()) {
    if (title != nullptr) CopyTitle(HostFileNamePart(file), title);
    HostCalls().ShowMessage(nullptr, kReadErrorText, kDecoderCaption, TMessageIcon::None);
    return;
  }
  if (title != nullptr) CopyTitle(GetTitle(TagTitle(source.Tag()), file), title);
  const lym_info& info = source.Info();
  if (lengthMs != nullptr) *lengthMs = DurationMs(info.total_samples, info.sample_rate);
}

int InfoBox(const char* file, winamp::Window parent) {
  TInfoSource source(file);
  if (!source.IsOpen()) {
    HostCalls().ShowMessage(parent, kReadErrorText, kInfoBoxCaption, TMessageIcon::None);
    return 1;
  }
  HostCalls().ShowMessage(parent, InfoBoxText(source.Info(), source.Tag()).c_str(),
                          kInfoBoxCaption, TMessageIcon::None);
  return 0;
}

int ExtendedFileInfo(const char* file, const char* name, char* dest, size_t destLength) {
  if (file == nullptr || *file == '\0' || name == nullptr || *name == '\0' || dest == nullptr ||
      destLength == 0) {
    return 0;
  }
  try {
    TInfoSource source(file);
    return source.IsOpen() && ReadTagValue(source.Tag(), name, dest, destLength) ? 1 : 0;
  } catch (...) {
    return 0;
  }
}

}  // namespace lym::plugin
