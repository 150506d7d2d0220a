#include "jobs/DiagProtocol.h"

namespace lym {
namespace {

constexpr int32_t kSectionRuleColumn = 60;
constexpr int32_t kNumberWidth = 10;

}  // namespace

bool TDiagProtocol::LoadFromFile(const std::string& fileName) {
  const bool loaded = TTextData::LoadFromFile(fileName);
  writer_.Attach(this);
  return loaded;
}

void TDiagProtocol::Section(const std::string& title) {
  if (Count() > 0) writer_.BlankLines(2);
  if (!title.empty() && (title[0] == '-' || title[0] == '=')) {
    writer_.WriteLine(title);
    return;
  }
  writer_.Write("=== " + title + " ===");
  writer_.WriteChars('=', kSectionRuleColumn - writer_.Column());
  writer_.NewLine();
}

void TDiagProtocol::Heading(const std::string& text, bool blankBefore) {
  if (blankBefore && Count() > 0) writer_.BlankLines(1);
  writer_.WriteLine(text);
}

void TDiagProtocol::Label(const std::string& label) {
  writer_.TabTo(3);
  writer_.WritePaddedRight(label, labelWidth_);
}

void TDiagProtocol::Unit(const std::string& unit) {
  if (!unit.empty()) writer_.Write(" " + unit);
  writer_.NewLine();
}

void TDiagProtocol::LabelText(const std::string& label, const std::string& text) {
  Label(label);
  writer_.Write(text);
  writer_.NewLine();
}

void TDiagProtocol::LabelInt(const std::string& label, int64_t value, const std::string& unit) {
  Label(label);
  writer_.WritePaddedLeft(std::to_string(value), kNumberWidth);
  Unit(unit);
}

void TDiagProtocol::LabelBool(const std::string& label, bool value) {
  Label(label);
  writer_.WritePaddedLeft(value ? "Ja" : "Nein", kNumberWidth);
  writer_.NewLine();
}

void TDiagProtocol::LabelFloat(const std::string& label, double value, int32_t decimals,
                               const std::string& unit) {
  Label(label);
  writer_.WritePaddedLeft(FormatFixed(value, kNumberWidth, decimals), kNumberWidth);
  Unit(unit);
}

}  // namespace lym
