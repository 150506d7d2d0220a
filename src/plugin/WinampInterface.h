// The player's input and output plug-in records (interface version 0x100), laid out exactly as the
// 32-bit player expects them: every member is a 32-bit value there. A 64-bit build (the plug-in's
// test build, and the tests on other systems) has the 64-bit player's layout: the same members in
// the same order, naturally aligned. The checks below hold us to both.
#pragma once

#include <cstddef>
#include <cstdint>

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX  // std::min and std::max, not the macros
#endif
#include <windows.h>
#define LYM_CDECL __cdecl
#define LYM_EXPORT __declspec(dllexport)
#else
#define LYM_CDECL
#define LYM_EXPORT
#endif

namespace lym::winamp {

#ifdef _WIN32
using Window = HWND;
using Instance = HINSTANCE;
#else
// Stand-ins of the same size, so that the records keep their shape in tests on other systems.
using Window = void*;
using Instance = void*;
#endif

inline constexpr int kInputVersion = 0x100;
inline constexpr int kOutputVersion = 0x10;
// WM_USER + 2: posted to the main window when the output has played the whole stream.
inline constexpr unsigned kEndOfFileMessage = 0x400 + 2;
// Out_Module.SetVolume: apply the output's current volume.
inline constexpr int kCurrentVolume = -666;

struct Out_Module {
  int version;
  char* description;
  int id;  // the player's; never read by an input plug-in
  Window hMainWindow;
  Instance hDllInstance;
  void(LYM_CDECL* Config)(Window parent);
  void(LYM_CDECL* About)(Window parent);
  void(LYM_CDECL* Init)();
  void(LYM_CDECL* Quit)();
  // >= 0: the latency in ms; < 0: failure.
  int(LYM_CDECL* Open)(int sampleRate, int channels, int bits, int bufferMs, int prebufferMs);
  void(LYM_CDECL* Close)();
  // 0 on success; at most 8192 bytes; never blocks.
  int(LYM_CDECL* Write)(char* buffer, int length);
  int(LYM_CDECL* CanWrite)();
  int(LYM_CDECL* IsPlaying)();
  int(LYM_CDECL* Pause)(int pause);
  void(LYM_CDECL* SetVolume)(int volume);
  void(LYM_CDECL* SetPan)(int pan);
  void(LYM_CDECL* Flush)(int ms);
  int(LYM_CDECL* GetOutputTime)();
  int(LYM_CDECL* GetWrittenTime)();
};

struct In_Module {
  int version;
  char* description;
  Window hMainWindow;
  Instance hDllInstance;
  // Pairs of zero-terminated "ext" and "Description", ended by an empty string.
  char* FileExtensions;
  int is_seekable;
  int UsesOutputPlug;
  void(LYM_CDECL* Config)(Window parent);
  void(LYM_CDECL* About)(Window parent);
  void(LYM_CDECL* Init)();
  void(LYM_CDECL* Quit)();
  void(LYM_CDECL* GetFileInfo)(const char* file, char* title, int* lengthMs);
  int(LYM_CDECL* InfoBox)(const char* file, Window parent);
  int(LYM_CDECL* IsOurFile)(const char* file);
  int(LYM_CDECL* Play)(const char* file);
  void(LYM_CDECL* Pause)();
  void(LYM_CDECL* UnPause)();
  int(LYM_CDECL* IsPaused)();
  void(LYM_CDECL* Stop)();
  int(LYM_CDECL* GetLength)();
  int(LYM_CDECL* GetOutputTime)();
  void(LYM_CDECL* SetOutputTime)(int ms);
  void(LYM_CDECL* SetVolume)(int volume);
  void(LYM_CDECL* SetPan)(int pan);
  // From here to SetInfo the player fills the pointers and the plug-in calls them.
  void(LYM_CDECL* SAVSAInit)(int maxLatencyMs, int sampleRate);
  void(LYM_CDECL* SAVSADeInit)();
  void(LYM_CDECL* SAAddPCMData)(void* pcm, int channels, int bits, int timestampMs);
  int(LYM_CDECL* SAGetMode)();
  int(LYM_CDECL* SAAdd)(void* data, int timestamp, int csa);
  void(LYM_CDECL* VSAAddPCMData)(void* pcm, int channels, int bits, int timestampMs);
  int(LYM_CDECL* VSAGetMode)(int* specChannels, int* waveChannels);
  int(LYM_CDECL* VSAAdd)(void* data, int timestamp);
  void(LYM_CDECL* VSASetInfo)(int sampleRate, int channels);
  // 0 when no DSP runs; any other value when one does.
  int(LYM_CDECL* dsp_isactive)();
  // Works in place and returns the frames it left, up to twice as many as it got.
  int(LYM_CDECL* dsp_dosamples)(short* samples, int frames, int bits, int channels,
                                int sampleRate);
  void(LYM_CDECL* EQSet)(int on, char data[10], int preamp);
  // -1 leaves a value unchanged.
  void(LYM_CDECL* SetInfo)(int kbps, int khz, int channels, int synched);
  // Set by the player before every Play; never kept between plays.
  Out_Module* outMod;
};

#if UINTPTR_MAX == UINT32_MAX
static_assert(sizeof(int) == 4);
static_assert(sizeof(In_Module) == 152 && sizeof(Out_Module) == 80);
static_assert(offsetof(In_Module, hMainWindow) == 8 && offsetof(In_Module, FileExtensions) == 16);
static_assert(offsetof(In_Module, Config) == 28 && offsetof(In_Module, GetFileInfo) == 44);
static_assert(offsetof(In_Module, Play) == 56 && offsetof(In_Module, Stop) == 72);
static_assert(offsetof(In_Module, SetOutputTime) == 84 && offsetof(In_Module, SAVSAInit) == 96);
static_assert(offsetof(In_Module, VSASetInfo) == 128 && offsetof(In_Module, dsp_isactive) == 132);
static_assert(offsetof(In_Module, EQSet) == 140 && offsetof(In_Module, SetInfo) == 144);
static_assert(offsetof(In_Module, outMod) == 148);
static_assert(offsetof(Out_Module, Open) == 36 && offsetof(Out_Module, Write) == 44);
static_assert(offsetof(Out_Module, CanWrite) == 48 && offsetof(Out_Module, Flush) == 68);
static_assert(offsetof(Out_Module, GetWrittenTime) == 76);
#else
// The ints before a pointer are padded to 8 bytes; the two ints side by side share theirs.
static_assert(sizeof(void*) == 8 && sizeof(int) == 4);
static_assert(sizeof(In_Module) == 296 && sizeof(Out_Module) == 160);
static_assert(offsetof(In_Module, hMainWindow) == 16 && offsetof(In_Module, FileExtensions) == 32);
static_assert(offsetof(In_Module, UsesOutputPlug) == 44 && offsetof(In_Module, Config) == 48);
static_assert(offsetof(In_Module, Play) == 104 && offsetof(In_Module, SAVSAInit) == 184);
static_assert(offsetof(In_Module, SetInfo) == 280 && offsetof(In_Module, outMod) == 288);
static_assert(offsetof(Out_Module, id) == 16 && offsetof(Out_Module, hMainWindow) == 24);
static_assert(offsetof(Out_Module, Open) == 72 && offsetof(Out_Module, GetWrittenTime) == 152);
#endif

}  // namespace lym::winamp
