#include "plugin/InLym.h"

#include <string>

#include "plugin/FileInfo.h"
#include "plugin/HostCalls.h"
#include "plugin/LymPlayback.h"

namespace lym::plugin {
namespace {

using winamp::In_Module;
using winamp::Window;

constexpr const char* kPluginDescription = "LYM Player V1.0.4";

// The one playback behind the record's entry points.
TLymPlayback& Playback() {
  static TLymPlayback playback;
  return playback;
}

// No exception may cross into the player: each entry point ends in its failure answer instead.
template <class F, class R>
R Guarded(F&& call, R failure) noexcept {
  try {
    return call();
  } catch (...) {
    return failure;
  }
}

template <class F>
void Guarded(F&& call) noexcept {
  try {
    call();
  } catch (...) {
    // Nothing to answer; the player goes on.
  }
}

In_Module& Module();

// The player passes file names in the ANSI code page; the library opens UTF-8 names. A missing
// name stays empty, which every entry point treats as it treats none.
std::string LibraryName(const char* file) {
  return file != nullptr ? HostToUtf8(file) : std::string();
}

void LYM_CDECL Config(Window parent) {
  HostCalls().ShowMessage(parent, "No configuration available!", "LYM Player configuration",
                          TMessageIcon::Warning);
}

void LYM_CDECL About(Window parent) {
  const std::string text = std::string(kPluginDescription) +
                           "\r\nPlays lossless LYM audio files, with seeking and APEv2 tags";
  Guarded([&] {
    HostCalls().ShowMessage(parent, text.c_str(), "About LYM Player", TMessageIcon::None);
  });
}

void LYM_CDECL Init() {}

void LYM_CDECL GetFileInfoEntry(const char* file, char* title, int* lengthMs) {
  Guarded([&] { GetFileInfo(Playback(), LibraryName(file).c_str(), title, lengthMs); });
}

int LYM_CDECL InfoBoxEntry(const char* file, Window parent) {
  return Guarded([&] { return InfoBox(LibraryName(file).c_str(), parent); }, 1);
}

// The player recognises our files by their extension.
int LYM_CDECL IsOurFile(const char*) { return 0; }

int LYM_CDECL Play(const char* file) {
  return Guarded([&] { return Playback().Play(Module(), LibraryName(file).c_str()); }, 1);
}

void LYM_CDECL Pause() { Playback().Pause(); }
void LYM_CDECL UnPause() { Playback().UnPause(); }
int LYM_CDECL IsPaused() { return Playback().IsPaused(); }
void LYM_CDECL Stop() { Guarded([] { Playback().Stop(); }); }

// The player unloads the DLL after Quit. A decoding thread still running then would be joined by
// the playback's destructor while Windows holds the loader lock, which the ending thread needs:
// the player would hang. So a file that still plays stops here.
void LYM_CDECL Quit() { Stop(); }

int LYM_CDECL GetLength() { return Playback().GetLength(); }
int LYM_CDECL GetOutputTime() { return Playback().GetOutputTime(); }
void LYM_CDECL SetOutputTime(int ms) { Playback().SetOutputTime(ms); }

void LYM_CDECL SetVolume(int volume) {
  if (Module().outMod != nullptr) Module().outMod->SetVolume(volume);
}

void LYM_CDECL SetPan(int pan) {
  if (Module().outMod != nullptr) Module().outMod->SetPan(pan);
}

void LYM_CDECL EQSet(int, char[10], int) {}

int ExtendedFileInfoEntry(const char* file, const char* name, char* dest, size_t destLength) {
  return Guarded(
      [&] { return ExtendedFileInfo(LibraryName(file).c_str(), name, dest, destLength); }, 0);
}

// Pairs of extension and description, each zero-terminated, and an empty string to end them.
char kFileExtensions[] = "lym\0LYM file (*.lym)\0";

// The player only reads the two texts; the record's types are not const because its are not.
In_Module& Module() {
  static In_Module module = {
      winamp::kInputVersion, const_cast<char*>(kPluginDescription), nullptr, nullptr, kFileExtensions, 1, 1, Config, About,
      Init, Quit, GetFileInfoEntry, InfoBoxEntry, IsOurFile, Play, Pause, UnPause, IsPaused, Stop,
      GetLength, GetOutputTime, SetOutputTime, SetVolume, SetPan,
      // The player's hooks, filled by the player.
      nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
      nullptr, EQSet, nullptr, nullptr};
  return module;
}

}  // namespace
}  // namespace lym::plugin

extern "C" {

LYM_EXPORT lym::winamp::In_Module* LYM_CDECL winampGetInModule2() {
  return &lym::plugin::Module();
}

LYM_EXPORT int LYM_CDECL winampGetExtendedFileInfo(const char* file, const char* name, char* dest,
                                                   size_t destLength) {
  return lym::plugin::ExtendedFileInfoEntry(file, name, dest, destLength);
}
}
