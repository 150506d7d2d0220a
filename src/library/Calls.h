// What every function of the C interface shares: the per-handle text of the last failure, and the
// guard that keeps exceptions from crossing into the caller's C code.
#pragma once

#include <new>
#include <stdexcept>
#include <string>
#include <string_view>

#include "lym/lym.h"

namespace lym::library {

class TLastError {
 public:
  // Records the failure's text (the status's, with the detail after it) and returns the status.
  lym_status Set(lym_status status, std::string_view detail = {});
  const char* Text() const { return text_.c_str(); }

 private:
  std::string text_;
};

// Runs a call's body; an exception becomes a status, recorded in error when there is one.
template <class Body>
lym_status Guarded(TLastError* error, Body&& body) noexcept {
  const auto fail = [error](lym_status status, const char* detail) noexcept {
    if (error == nullptr) return status;
    try {
      return error->Set(status, detail);
    } catch (...) {
      return status;
    }
  };
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return fail(LYM_ERROR_OUT_OF_MEMORY, "");
  } catch (const std::exception& e) {
    return fail(LYM_ERROR_INTERNAL, e.what());
  } catch (...) {
    return fail(LYM_ERROR_INTERNAL, "");
  }
}

}  // namespace lym::library
