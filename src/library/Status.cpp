// The interface's fixed texts: version, statuses, preset and evaluation names.
#include <cstddef>

#include "library/Calls.h"
#include "codec/EncoderPresets.h"
#include "lym/Version.h"

static_assert(lym::kLymVersion ==
                  (LYM_VERSION_MAJOR << 16 | LYM_VERSION_MINOR << 8 | LYM_VERSION_PATCH),
              "lym.h announces the version the streams store");

namespace {

constexpr const char* kStatusTexts[] = {
    "OK",
    "Damaged stream: damage was skipped and decoding went on",
    "Input or output error",
    "Not a stream that can be decoded",
    "Unsupported format",
    "Invalid argument",
    "Out of memory",
    "Call not allowed in the handle's state",
    "Seeking is not possible here",
    "Buffer too small",
    "Not found",
    "The file already exists",
    "Not the announced number of samples",
    "Verification failed: the decoded samples differ from the input",
    "Internal error",
};

}  // namespace

namespace lym::library {

lym_status TLastError::Set(lym_status status, std::string_view detail) {
  text_ = lym_status_string(status);
  if (!detail.empty()) {
    text_ += ": ";
    text_ += detail;
  }
  return status;
}

}  // namespace lym::library

extern "C" {

const char* lym_version_string(void) { return lym::kLymVersionText; }

const char* lym_status_string(lym_status status) {
  const auto index = int32_t(status);
  return index >= 0 && size_t(index) < std::size(kStatusTexts) ? kStatusTexts[index]
                                                                 : "Unknown status";
}

const char* lym_preset_string(int32_t preset) { return lym::PresetNameOf(preset); }

const char* lym_evaluation_string(int32_t evaluation) { return lym::LevelNameOf(evaluation); }

}  // extern "C"
