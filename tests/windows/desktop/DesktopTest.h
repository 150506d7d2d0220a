// The desktop program's test: starts Lym.exe, works its windows as a user would, and checks what
// they show and what the batches write.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace lym::gui_test {

struct TDesktopTestOptions {
  std::string Program;                                 // Lym.exe, a Windows path
  std::filesystem::path WorkFolder;                    // the test makes its folders in it
  std::optional<std::filesystem::path> PictureFolder;  // BMP pictures of the windows, if given
};

// Throws TCheckFailure at the first check that fails.
void RunDesktopTest(const TDesktopTestOptions& options);

}  // namespace lym::gui_test
