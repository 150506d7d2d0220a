#include "Progress.h"

#include <cstdio>

namespace lym::cli {
namespace {

constexpr auto kRedrawInterval = std::chrono::milliseconds(200);

}  // namespace

void TProgressLine::Start(const std::string& displayName) {
  name_ = displayName;
  percent_ = 0;
  lastDraw_ = {};
  Draw();
}

void TProgressLine::Show(int32_t percent) {
  percent_ = percent;
  if (std::chrono::steady_clock::now() - lastDraw_ >= kRedrawInterval) Draw();
}

void TProgressLine::Draw() {
  if (!enabled_) return;
  std::fprintf(stderr, "\r%s%3d%%", name_.c_str(), int(percent_));
  std::fflush(stderr);
  shown_ = true;
  lastDraw_ = std::chrono::steady_clock::now();
}

void TProgressLine::Clear() {
  if (!shown_) return;
  std::fprintf(stderr, "\r%*s\r", int(name_.size() + 4), "");
  std::fflush(stderr);
  shown_ = false;
}

}  // namespace lym::cli
