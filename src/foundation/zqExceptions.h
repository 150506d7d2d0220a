// The exception tree of all our own code, and the assertion that internal checks use.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace lym {

class EzqException : public std::runtime_error {
 public:
  explicit EzqException(const std::string& message) : std::runtime_error(message) {}
};

// Failures of the operating system or of a resource: "System error in <where>: <detail>".
class EzqSysError : public EzqException {
 public:
  EzqSysError(const std::string& where, const std::string& detail);
  const std::string& Where() const { return where_; }
  const std::string& Detail() const { return detail_; }

 private:
  std::string where_, detail_;
};

class EzqSysResource : public EzqSysError {
 public:
  using EzqSysError::EzqSysError;
};

// Errors of the program itself: "Program error in <where>: <detail>".
class EzqProgError : public EzqException {
 public:
  EzqProgError(const std::string& where, const std::string& detail);
  const std::string& Where() const { return where_; }
  const std::string& Detail() const { return detail_; }

 private:
  std::string where_, detail_;
};

// An invalid argument. The detail names the parameter and, when given, what is wrong and the value.
class EzqArgument : public EzqProgError {
 public:
  EzqArgument(const std::string& where, const std::string& value, const std::string& detail,
              const std::string& name);
};

class EzqArgumentOutOfRange : public EzqArgument {
 public:
  EzqArgumentOutOfRange(const std::string& where, int64_t value, const std::string& name);
};

// A failed internal check: "Assertion failure: <text> (<source unit>, line <n>)".
class EzqAssertionFailure : public EzqException {
 public:
  EzqAssertionFailure(const char* text, const char* unit, int line);
};

[[noreturn]] void ZqAssertionFailed(const char* text, const char* unit, int line);

}  // namespace lym

// Internal checks stay on in every build: they guard the format and the buffers.
#define LYM_ASSERT(condition, text)                                  \
  do {                                                               \
    if (!(condition)) [[unlikely]]                                   \
      ::lym::ZqAssertionFailed((text), __FILE__, __LINE__);          \
  } while (false)
