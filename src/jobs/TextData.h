// Plain text that the batch jobs build line by line and save as protocol files: a list of lines,
// a writer that composes lines column by column, and the fixed-width text functions of the report
// lines. Protocol files are 8-bit text with CR LF line ends on every system.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace lym {

class TTextData {
 public:
  int32_t Count() const { return int32_t(lines_.size()); }
  const std::string& operator[](int32_t index) const { return lines_[size_t(index)]; }
  const std::vector<std::string>& Lines() const { return lines_; }
  void Add(std::string line) { lines_.push_back(std::move(line)); }
  void Insert(int32_t index, std::string line);
  // Empties the lines and Text.
  void Clear();
  // Writes every line followed by CR LF, replacing the file.
  bool SaveToFile(const std::string& fileName) const;
  // Replaces the lines by the file's; lines may end in CR LF, LF or CR.
  bool LoadFromFile(const std::string& fileName);

  std::string Text;  // one more string that travels with the lines

 private:
  std::vector<std::string> lines_;
};

// Composes lines in a buffer and hands each finished line to its list: appended, or inserted
// at the current line while that lies within the list.
class TTextDataWriter {
 public:
  // Positions after the list's last line.
  void Attach(TTextData* target);
  void Reset();
  // n below 1 means 1, beyond the count means count + 1.
  void SetLine(int32_t n);
  void Write(const std::string& text);
  void WriteChars(char ch, int32_t n);
  // Spaces up to column c - 1, so that the next character lands in column c (1-based).
  void TabTo(int32_t c) { WriteChars(' ', c - column_ - 1); }
  void WritePaddedRight(const std::string& text, int32_t width);
  void WritePaddedLeft(const std::string& text, int32_t width);
  void NewLine();
  void WriteLine(const std::string& text);
  void BlankLines(int32_t n);

  int32_t LineNumber() const { return line_; }
  int32_t Column() const { return column_; }

 private:
  TTextData* target_ = nullptr;
  int32_t count_ = 0;
  int32_t line_ = 1;
  int32_t column_ = 0;
  std::string buffer_;
  bool insert_ = false;
};

// Texts are UTF-8 (file names in any script): widths count characters, not bytes, so that columns
// line up behind names beyond ASCII and no name is cut inside a character.
size_t CharCount(const std::string& text);
std::string FirstChars(const std::string& text, size_t count);
std::string LastChars(const std::string& text, size_t count);

// Fixed-width texts of the report lines.
std::string PadRight(const std::string& text, int32_t width);  // spaces after, or cut to width
std::string PadLeft(const std::string& text, int32_t width);   // spaces before, or cut to width
// Decimal, right-aligned; a number wider than width is never cut.
std::string IntRight(int64_t value, int32_t width);
// value in fixed-point with the given decimals, right-aligned in at least width characters.
std::string FormatFixed(double value, int32_t width, int32_t decimals);

}  // namespace lym
