// The progress line on stderr: the file's name and its percentage, redrawn at most a few times a
// second, erased before the file's result line is printed.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace lym::cli {

class TProgressLine {
 public:
  explicit TProgressLine(bool enabled) : enabled_(enabled) {}

  void Start(const std::string& displayName);
  void Show(int32_t percent);
  // Erases the line, if one is shown.
  void Clear();

 private:
  void Draw();

  bool enabled_;
  bool shown_ = false;
  std::string name_;
  int32_t percent_ = 0;
  std::chrono::steady_clock::time_point lastDraw_{};
};

}  // namespace lym::cli
