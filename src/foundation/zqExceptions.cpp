#include "foundation/zqExceptions.h"

namespace lym {
namespace {

// The message texts of the tree; every error message is composed from these.
constexpr const char* kSysErrorText = "System error in %s: %s";
constexpr const char* kProgErrorText = "Program error in %s: %s";
constexpr const char* kArgumentText = "Invalid parameter %s.";
constexpr const char* kArgumentDetailText = "Invalid parameter %s: %s.";
constexpr const char* kArgumentValueText = "Invalid parameter %s: %s. Value: %s";
constexpr const char* kOutOfRangeText = "Out of range";

// Replaces each "%s" of the pattern, in order, by the next argument.
std::string Format(const char* pattern, std::initializer_list<std::string> args) {
  std::string result;
  auto arg = args.begin();
  for (const char* p = pattern; *p != '\0'; ++p) {
    if (p[0] == '%' && p[1] == 's' && arg != args.end()) {
      result += *arg++;
      ++p;
    } else {
      result += *p;
    }
  }
  return result;
}

std::string ArgumentDetail(const std::string& value, const std::string& detail,
                           const std::string& name) {
  if (detail.empty()) return Format(kArgumentText, {name});
  if (value.empty()) return Format(kArgumentDetailText, {name, detail});
  return Format(kArgumentValueText, {name, detail, value});
}

}  // namespace

EzqSysError::EzqSysError(const std::string& where, const std::string& detail)
    : EzqException(Format(kSysErrorText, {where, detail})), where_(where), detail_(detail) {}

EzqProgError::EzqProgError(const std::string& where, const std::string& detail)
    : EzqException(Format(kProgErrorText, {where, detail})), where_(where), detail_(detail) {}

EzqArgument::EzqArgument(const std::string& where, const std::string& value,
                         const std::string& detail, const std::string& name)
    : EzqProgError(where, ArgumentDetail(value, detail, name)) {}

EzqArgumentOutOfRange::EzqArgumentOutOfRange(const std::string& where, int64_t value,
                                             const std::string& name)
    : EzqArgument(where, std::to_string(value), kOutOfRangeText, name) {}

EzqAssertionFailure::EzqAssertionFailure(const char* text, const char* unit, int line)
    : EzqException(std::string("Assertion failure: ") + text + " (" + unit + ", line " +
                   std::to_string(line) + ")") {}

void ZqAssertionFailed(const char* text, const char* unit, int line) {
  throw EzqAssertionFailure(text, unit, line);
}

}  // namespace lym
