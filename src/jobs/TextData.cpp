#include "jobs/TextData.h"

#include <algorithm>
#include <cstdio>

#include "platform/PlatformFile.h"
#include "platform/TemporaryFile.h"

namespace lym {

void TTextData::Insert(int32_t index, std::string line) {
  index = std::clamp(index, 0, Count());
  lines_.insert(lines_.begin() + index, std::move(line));
}

void TTextData::Clear() {
  lines_.clear();
  Text.clear();
}

// Written beside the file and renamed over it, so that a link planted under the name is replaced
// rather than written through, and an old file survives a failed save.
bool TTextData::SaveToFile(const std::string& fileName) const {
  std::string bytes;
  for (const std::string& line : lines_) bytes += line + "\r\n";
  platform::TTemporaryFile output;
  platform::FileHandle file;
  if (!output.Create(fileName, platform::CopyPermissions(fileName), file)) return false;
  bool ok = true;
  for (size_t at = 0; ok && at < bytes.size();) {
    const int32_t piece = int32_t(std::min<size_t>(bytes.size() - at, 1 << 20));
    int32_t written = 0;
    ok = platform::FileWrite(file, bytes.data() + at, piece, written) && written == piece;
    at += size_t(piece);
  }
  ok = platform::FileClose(file) && ok;
  return ok && output.Commit(true) == platform::TCommitResult::Committed;
}

bool TTextData::LoadFromFile(const std::string& fileName) {
  platform::FileHandle file;
  if (!platform::FileOpenExisting(fileName, platform::FileAccess::Read, platform::kFileShareRead,
                                  file)) {
    return false;
  }
  std::string bytes;
  char block[65536];
  int32_t got = 0;
  bool ok;
  while ((ok = platform::FileRead(file, block, int32_t(sizeof block), got)) && got > 0) {
    bytes.append(block, size_t(got));
  }
  platform::FileClose(file);
  if (!ok) return false;
  lines_.clear();
  size_t start = 0;
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] != '\r' && bytes[i] != '\n') continue;
    lines_.push_back(bytes.substr(start, i - start));
    if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') ++i;
    start = i + 1;
  }
  if (start < bytes.size()) lines_.push_back(bytes.substr(start));
  return true;
}

void TTextDataWriter::Attach(TTextData* target) {
  Reset();
  target_ = target;
  count_ = target != nullptr ? target->Count() : 0;
  SetLine(count_ + 1);
}

void TTextDataWriter::Reset() {
  target_ = nullptr;
  count_ = 0;
  line_ = 1;
  column_ = 0;
  buffer_.clear();
  insert_ = false;
}

void TTextDataWriter::SetLine(int32_t n) {
  // The list may have changed behind the writer's back (loaded, added to).
  if (target_ != nullptr) count_ = target_->Count();
  line_ = std::clamp(n, 1, count_ + 1);
  column_ = 0;
  insert_ = line_ <= count_;
}

void TTextDataWriter::Write(const std::string& text) {
  if (buffer_.size() < size_t(column_) + text.size()) buffer_.resize(size_t(column_) + text.size());
  buffer_.replace(size_t(column_), text.size(), text);
  column_ += int32_t(text.size());
}

void TTextDataWriter::WriteChars(char ch, int32_t n) {
  if (n > 0) Write(std::string(size_t(n), ch));
}

void TTextDataWriter::WritePaddedRight(const std::string& text, int32_t width) {
  if (width > 0) Write(PadRight(text, width));
}

void TTextDataWriter::WritePaddedLeft(const std::string& text, int32_t width) {
  if (width > 0) Write(PadLeft(text, width));
}

void TTextDataWriter::NewLine() {
  std::string line = buffer_.substr(0, size_t(column_));
  if (target_ != nullptr) {
    if (insert_) {
      target_->Insert(line_ - 1, std::move(line));
    } else {
      target_->Add(std::move(line));
    }
    count_ = target_->Count();
  }
  ++line_;
  column_ = 0;
}

void TTextDataWriter::WriteLine(const std::string& text) {
  Write(text);
  NewLine();
}

void TTextDataWriter::BlankLines(int32_t n) {
  for (int32_t i = 0; i < n; ++i) NewLine();
}

namespace {

// The bytes after the first of a character's UTF-8 sequence.
bool IsContinuationByte(char c) { return (uint8_t(c) & 0xC0) == 0x80; }

// Where the character with the given index starts (the text's size beyond its end).
size_t CharOffset(const std::string& text, size_t index) {
  for (size_t offset = 0; offset < text.size(); ++offset) {
    if (IsContinuationByte(text[offset])) continue;
    if (index-- == 0) return offset;
  }
  return text.size();
}

}  // namespace

size_t CharCount(const std::string& text) {
  return size_t(std::count_if(text.begin(), text.end(),
                              [](char c) { return !IsContinuationByte(c); }));
}

std::string FirstChars(const std::string& text, size_t count) {
  return text.substr(0, CharOffset(text, count));
}

std::string LastChars(const std::string& text, size_t count) {
  const size_t chars = CharCount(text);
  return chars <= count ? text : text.substr(CharOffset(text, chars - count));
}

std::string PadRight(const std::string& text, int32_t width) {
  if (width <= 0) return {};
  const size_t chars = CharCount(text);
  if (chars >= size_t(width)) return FirstChars(text, size_t(width));
  return text + std::string(size_t(width) - chars, ' ');
}

std::string PadLeft(const std::string& text, int32_t width) {
  if (width <= 0) return {};
  const size_t chars = CharCount(text);
  if (chars >= size_t(width)) return FirstChars(text, size_t(width));
  return std::string(size_t(width) - chars, ' ') + text;
}

std::string IntRight(int64_t value, int32_t width) {
  const std::string digits = std::to_string(value);
  return digits.size() >= size_t(std::max(width, 0)) ? digits : PadLeft(digits, width);
}

std::string FormatFixed(double value, int32_t width, int32_t decimals) {
  char text[400];
  std::snprintf(text, sizeof text, "%*.*f", int(std::clamp(width, 0, 64)),
                int(std::clamp(decimals, 0, 18)), value);
  return text;
}

}  // namespace lym
