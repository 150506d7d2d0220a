// lym_desktop_driver LYM_EXE WORK_FOLDER [--screenshots FOLDER]: the desktop program's test. It
// starts Lym.exe, works its windows as a user would and checks what they show and what the
// batches write, in folders of its own under WORK_FOLDER (made afresh). With --screenshots it also
// saves pictures of the main window, a job window after its run and the compression options into
// FOLDER. Paths may be Unix paths (under Wine) or Windows paths.
#include <cstdio>
#include <exception>
#include <string>

#include "DesktopTest.h"
#include "DriverSupport.h"

int main(int argc, char** argv) {
  using namespace lym::gui_test;
  const bool withPictures = argc == 5 && std::string(argv[3]) == "--screenshots";
  if (argc != 3 && !withPictures) {
    std::fprintf(stderr, "usage: lym_desktop_driver LYM_EXE WORK_FOLDER [--screenshots FOLDER]\n");
    return 2;
  }
  TDesktopTestOptions options{WindowsPath(argv[1]), Utf8Path(WindowsPath(argv[2])), {}};
  try {
    if (withPictures) {
      options.PictureFolder = Utf8Path(WindowsPath(argv[4]));
      std::filesystem::create_directories(*options.PictureFolder);
    }
    RunDesktopTest(options);
  } catch (const std::exception& failure) {
    std::printf("FAIL: %s\n", failure.what());
    return 1;
  }
  std::printf("PASS\n");
  return 0;
}
