// The structured protocol of compression and file information: sections, headings and labelled
// values in fixed columns. With the label width of 35 a line has two spaces, the label in
// columns 3..37 and the value from column 38; numbers take 10 columns, a unit follows after one
// space.
#pragma once

#include <cstdint>
#include <string>

#include "jobs/TextData.h"

namespace lym {

inline constexpr int32_t kDefaultLabelWidth = 35;

class TDiagProtocol : public TTextData {
 public:
  TDiagProtocol() { writer_.Attach(this); }
  TDiagProtocol(const TDiagProtocol&) = delete;
  TDiagProtocol& operator=(const TDiagProtocol&) = delete;

  TTextDataWriter& Writer() { return writer_; }
  int32_t LabelWidth() const { return labelWidth_; }
  void SetLabelWidth(int32_t width) { labelWidth_ = width; }

  // Loads lines and positions the writer after them.
  bool LoadFromFile(const std::string& fileName);

  void Section(const std::string& title);
  void Heading(const std::string& text, bool blankBefore);
  void LabelText(const std::string& label, const std::string& text);
  void LabelInt(const std::string& label, int64_t value, const std::string& unit = "");
  void LabelBool(const std::string& label, bool value);
  void LabelFloat(const std::string& label, double value, int32_t decimals,
                  const std::string& unit = "");
  // A whole line of its own.
  void Line(const std::string& text) { writer_.WriteLine(text); }

 private:
  void Label(const std::string& label);
  void Unit(const std::string& unit);

  TTextDataWriter writer_;
  int32_t labelWidth_ = kDefaultLabelWidth;
};

}  // namespace lym
