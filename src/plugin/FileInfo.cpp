#include "plugin/FileInfo.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <optional>

#include "container/lymStreamReader.h"
#include "container/APEv2Tag.h"
#include "io/lymFileIo.h"
#include "jobs/BatchCommon.h"
#include "jobs/StreamTexts.h"
#include "platform/TextConversion.h"
#include "plugin/HostCalls.h"

namespace lym::plugin {
namespace {

constexpr int32_t kReadBufferBytes = 2048;
// A tag value shows at most 128 characters.
constexpr int32_t kTagValueBytes = 129;
constexpr char kValueSeparator = ';';
constexpr const char* kLineBreak = "\r\n";
constexpr const char* kReadErrorText = "Error reading file";
constexpr const char* kDecoderCaption = "LYM Decoder";
constexpr const char* kInfoBoxCaption = "LYM File Info";

struct TTagLine {
  const char* key;
  const char* label;
};
constexpr TTagLine kTagLines[] = {{"title", "Title"},     {"artist", "Artist"},
                                  {"album", "Album"},     {"comment", "Comment"},
                                  {"year", "Year"},       {"track", "Track"}};

// A file opened for one query: its stream and the stream reader on it, closed again at the end.
class TInfoSource {
 public:
  explicit TInfoSource(const char* fileName) {
    if (fileName != nullptr &&
        file_.OpenFile(fileName, kAccessRead, kReadBufferBytes, kShareRead) == 0) {
      open_ = reader_.Open(file_);
    }
  }
  ~TInfoSource() {
    reader_.Close();
    file_.Close(false);
  }
  TInfoSource(const TInfoSource&) = delete;
  TInfoSource& operator=(const TInfoSource&) = delete;

  bool IsOpen() const { return open_; }
  TAdcReader& Reader() { return reader_; }

 private:
  TadcFileStream file_;
  TAdcReader reader_;
  bool open_ = false;
};

// The tag value reader's answers that leave a usable text: complete, or cut to the buffer.
bool ValueRead(int32_t result) { return result == kAPEv2QueryDone || result == kAPEv2Truncated; }

// An item's values joined with ";" into a buffer of bufferBytes; nothing when the tag is unusable,
// the item is missing or its value cannot be read.
bool ReadItem(TlymAPEv2Tag* tag, const char* key, char* buffer, int32_t bufferBytes) {
  int32_t index = -1;
  int32_t length = 0;
  return tag != nullptr && tag->IsUsable() && tag->FindItem(key, &index) == kAPEv2QueryDone &&
         ValueRead(tag->GetItemValue(index, -1, &length, bufferBytes, buffer, kValueSeparator));
}

std::optional<std::string> TagValue(TlymAPEv2Tag* tag, const char* key) {
  char value[kTagValueBytes] = {};
  if (!ReadItem(tag, key, value, kTagValueBytes)) return std::nullopt;
  return std::string(value);
}

void CopyTitle(const std::string& text, char* title) {
  const size_t length = std::min(text.size(), kTitleBytes - 1);
  std::memcpy(title, text.data(), length);
  title[length] = '\0';
}

// The name shows where a title would, so it comes in the player's character set as tag values do.
std::string HostFileNamePart(const std::string& fileName) {
  return platform::Utf8ToHost(FileNamePart(fileName));
}

std::string ZeroPadded(int32_t value, int digits) {
  char text[16];
  std::snprintf(text, sizeof(text), "%0*d", digits, int(value));
  return text;
}

std::string EncoderLine(TAdcReader& reader) {
  TadcEncoderInfo info;
  if (reader.GetEncoderInfo(info)) return EncoderText(info);
  return "V Unknown, " + PresetName(reader.StreamInfo().Profile) + " + Unknown";
}

std::string AudioLine(const TadcAudioFormat& format) {
  return "PCM, " + std::to_string(format.SampleRate) + " Hz, " +
         std::to_string(format.BitsPerSample) + " Bits, " + std::to_string(format.Channels) +
         " Channels";
}

// "APEv2-Tag: ..." and, for a usable tag, a line per known item that it holds.
std::string TagLines(TlymAPEv2Tag* tag) {
  std::string text = "APEv2-Tag: " + (tag != nullptr ? ApeTagText(*tag) : std::string("Error"));
  for (const TTagLine& line : kTagLines) {
    if (const auto value = TagValue(tag, line.key)) {
      text += kLineBreak + std::string(line.label) + ": " + *value;
    }
  }
  return text;
}

}  // namespace

std::string GetTitle(TlymAPEv2Tag* tag, const std::string& fileName) {
  const auto title = TagValue(tag, "title");
  if (!title) return HostFileNamePart(fileName);
  const auto artist = TagValue(tag, "artist");
  return artist ? *artist + " - " + *title : *title;
}

std::string DurationText(int32_t ms) {
  const int32_t hours = ms / 3600000;
  const int32_t minutes = ms / 60000 % 60;
  const std::string head =
      hours > 0 ? std::to_string(hours) + ":" + ZeroPadded(minutes, 2) : std::to_string(minutes);
  return head + ":" + ZeroPadded(ms / 1000 % 60, 2) + "." + ZeroPadded(ms % 1000, 3);
}

std::string InfoBoxText(TAdcReader& reader) {
  const TadcStreamInfo& info = reader.StreamInfo();
  const int32_t rate = info.Format.SampleRate;
  return "File duration: " + DurationText(DurationMs(info.SampleCount, rate)) + kLineBreak +
         "Audio: " + AudioLine(info.Format) + kLineBreak + "Encoder: " + EncoderLine(reader) +
         kLineBreak + "Frame duration: " + std::to_string(DurationMs(info.FrameSamples, rate)) +
         " ms" + kLineBreak + TagLines(reader.GetApeTag());
}

void GetFileInfo(const TLymPlayback& playback, const char* file, char* title, int* lengthMs) {
  if (file == nullptr || *file == '\0') {
    // Without a playing file there is no tag, and the title falls back to the last name played.
    if (title != nullptr) CopyTitle(GetTitle(playback.Tag(), playback.FileName()), title);
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
  if (title != nullptr) CopyTitle(GetTitle(source.Reader().GetApeTag(), file), title);
  const TadcStreamInfo& info = source.Reader().StreamInfo();
  if (lengthMs != nullptr) *lengthMs = DurationMs(info.SampleCount, info.Format.SampleRate);
}

int InfoBox(const char* file, winamp::Window parent) {
  TInfoSource source(file);
  if (!source.IsOpen()) {
    HostCalls().ShowMessage(parent, kReadErrorText, kInfoBoxCaption, TMessageIcon::None);
    return 1;
  }
  HostCalls().ShowMessage(parent, InfoBoxText(source.Reader()).c_str(), kInfoBoxCaption,
                          TMessageIcon::None);
  return 0;
}

int ExtendedFileInfo(const char* file, const char* name, char* dest, size_t destLength) {
  if (file == nullptr || *file == '\0' || name == nullptr || *name == '\0' || dest == nullptr ||
      destLength == 0) {
    return 0;
  }
  try {
    TInfoSource source(file);
    const auto bufferBytes = int32_t(std::min<size_t>(destLength, INT32_MAX));
    return source.IsOpen() && ReadItem(source.Reader().GetApeTag(), name, dest, bufferBytes) ? 1
                                                                                             : 0;
  } catch (...) {
    return 0;
  }
}

}  // namespace lym::plugin
