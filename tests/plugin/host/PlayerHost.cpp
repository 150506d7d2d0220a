#include "PlayerHost.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <stdexcept>
#include <utility>

#include "ImportPatch.h"

namespace lym::test {

struct PlayerHost::Shared {
  std::mutex mutex;
  HookLog hooks;
  std::vector<CapturedMessageBox> messageBoxes;
  std::atomic<bool> dspActive{false};
  std::atomic<int> endOfFileMessages{0};
};

namespace {

using Shared = PlayerHost::Shared;

constexpr const char* kWindowClass = "LymHostMainWindow";
constexpr const char* kPluginFile = "in_lym.dll";

Shared* shared = nullptr;

template <class F>
void Logged(F&& change) {
  std::lock_guard lock(shared->mutex);
  change(shared->hooks);
}

void SAVSAInit(int, int) {
  Logged([](HookLog& log) { ++log.savsaInits; });
}
void SAVSADeInit() {
  Logged([](HookLog& log) { ++log.savsaDeInits; });
}
void SAAddPCMData(void*, int, int, int timestampMs) {
  Logged([&](HookLog& log) { log.visualTimestamps.push_back(timestampMs); });
}
int SAGetMode() { return 0; }
int SAAdd(void*, int, int) { return 0; }
void VSAAddPCMData(void*, int, int, int) {
  Logged([](HookLog& log) { ++log.vsaBlocks; });
}
int VSAGetMode(int* specChannels, int* waveChannels) {
  *specChannels = *waveChannels = 0;
  return 0;
}
int VSAAdd(void*, int) { return 0; }
void VSASetInfo(int, int) {}
void SetInfo(int kbps, int, int, int) {
  Logged([&](HookLog& log) { log.kbps.push_back(kbps); });
}

int DspIsActive() { return shared->dspActive.load() ? 1 : 0; }

// Repeats every sample frame in place, as a DSP that halves the tempo would; the plug-in's buffer
// has room for twice the frames it hands over.
int DspDoSamples(short* samples, int frames, int bits, int channels, int) {
  const int frameBytes = channels * (bits / 8);
  auto* bytes = reinterpret_cast<BYTE*>(samples);
  for (int frame = frames - 1; frame >= 0; --frame) {
    std::copy_n(bytes + frame * frameBytes, frameBytes, bytes + 2 * frame * frameBytes);
    std::copy_n(bytes + frame * frameBytes, frameBytes, bytes + (2 * frame + 1) * frameBytes);
  }
  return 2 * frames;
}

int WINAPI CaptureMessageBox(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
  std::lock_guard lock(shared->mutex);
  shared->messageBoxes.push_back({owner, text ? text : "", caption ? caption : "", type});
  return IDOK;
}

LRESULT CALLBACK MainWindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  // The player takes the message only in its documented form, with both parameters 0.
  if (message == winamp::kEndOfFileMessage && wParam == 0 && lParam == 0) {
    ++shared->endOfFileMessages;
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

// A message-only window: it needs no display, and posted messages reach its procedure as they
// reach the player's main window.
HWND CreateMainWindow() {
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = MainWindowProcedure;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.lpszClassName = kWindowClass;
  if (RegisterClassA(&windowClass) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
    return nullptr;
  }
  // Wine makes windows only once its desktop process runs, which programs starting side by side
  // start together, and a thread keeps the desktop windows it found first, even when that desktop
  // was just closing. So wait a moment, and have the thread look for the desktop afresh (setting
  // its own desktop again, which changes nothing on Windows).
  for (int attempt = 0; attempt < 300; ++attempt) {
    if (HWND window = CreateWindowExA(0, kWindowClass, "lymhost", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                      nullptr, windowClass.hInstance, nullptr)) {
      return window;
    }
    Sleep(10);
    SetThreadDesktop(GetThreadDesktop(GetCurrentThreadId()));
  }
  return nullptr;
}

// The player loads its plug-ins by full path from its plug-in folder; ours is this program's.
std::string PluginPath() {
  char path[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string folder(path, length);
  folder.erase(folder.find_last_of("\\/") + 1);
  return folder + kPluginFile;
}

std::runtime_error SystemError(const std::string& what) {
  return std::runtime_error(what + " (error " + std::to_string(GetLastError()) + ")");
}

}  // namespace

PlayerHost::PlayerHost() : shared_(std::make_unique<Shared>()) {
  shared = shared_.get();
  try {
    Load();
  } catch (...) {
    if (dll_ != nullptr) FreeLibrary(dll_);
    if (window_ != nullptr) DestroyWindow(window_);
    shared = nullptr;
    throw;
  }
}

PlayerHost::~PlayerHost() {
  module_->Stop();
  module_->Quit();
  FreeLibrary(dll_);
  DestroyWindow(window_);
  shared = nullptr;
}

void PlayerHost::Load() {
  window_ = CreateMainWindow();
  if (window_ == nullptr) throw SystemError("cannot make the main window");
  dll_ = LoadLibraryA(PluginPath().c_str());
  if (dll_ == nullptr) throw SystemError("cannot load " + PluginPath());
  const auto getModule = reinterpret_cast<winamp::In_Module*(__cdecl*)()>(
      reinterpret_cast<void*>(GetProcAddress(dll_, "winampGetInModule2")));
  extendedFileInfo_ = reinterpret_cast<decltype(extendedFileInfo_)>(
      reinterpret_cast<void*>(GetProcAddress(dll_, "winampGetExtendedFileInfo")));
  if (getModule == nullptr || extendedFileInfo_ == nullptr) {
    throw std::runtime_error("the plug-in lacks an export");
  }
  module_ = getModule();
  if (module_ == nullptr || module_->version != winamp::kInputVersion) {
    throw std::runtime_error("the plug-in's record has the wrong version");
  }
  if (PatchImport(dll_, "user32.dll", "MessageBoxA", reinterpret_cast<void*>(CaptureMessageBox)) ==
      nullptr) {
    throw std::runtime_error("the plug-in does not import MessageBoxA");
  }
  FillPlayerFields();
  module_->Init();
  module_->SetInfo = SetInfo;  // the player's own, installed after Init
  char type[16] = {};
  typeQueryAnswer_ = extendedFileInfo_("", "type", type, sizeof(type));
}

void PlayerHost::FillPlayerFields() {
  module_->hMainWindow = window_;
  module_->hDllInstance = dll_;
  module_->SAVSAInit = SAVSAInit, module_->SAVSADeInit = SAVSADeInit;
  module_->SAAddPCMData = SAAddPCMData, module_->SAGetMode = SAGetMode, module_->SAAdd = SAAdd;
  module_->VSAAddPCMData = VSAAddPCMData, module_->VSAGetMode = VSAGetMode;
  module_->VSAAdd = VSAAdd, module_->VSASetInfo = VSASetInfo;
  module_->dsp_isactive = DspIsActive, module_->dsp_dosamples = DspDoSamples;
}

int PlayerHost::Play(const std::string& file) {
  module_->outMod = &output_.Record();
  endOfFilesBeforePlay_ = EndOfFileMessages();
  return module_->Play(file.c_str());
}

int PlayerHost::ExtendedFileInfo(const std::string& file, const char* name, char* dest,
                                 size_t destLength) {
  return extendedFileInfo_(file.c_str(), name, dest, destLength);
}

void PlayerHost::SetDspActive(bool active) { shared_->dspActive = active; }

HookLog PlayerHost::Hooks() const {
  std::lock_guard lock(shared_->mutex);
  return shared_->hooks;
}

std::vector<CapturedMessageBox> PlayerHost::TakeMessageBoxes() {
  std::lock_guard lock(shared_->mutex);
  return std::exchange(shared_->messageBoxes, {});
}

int PlayerHost::EndOfFileMessages() const { return shared_->endOfFileMessages.load(); }

bool PlayerHost::PumpUntil(const std::function<bool()>& condition,
                           std::chrono::milliseconds limit) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline = Clock::now() + limit;
  for (;;) {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
    if (condition()) return true;
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, DWORD(std::min<long long>(left, 5)),
                              QS_ALLINPUT);
  }
}

bool PlayerHost::WaitForEndOfFile() {
  return PumpUntil([this] { return EndOfFileMessages() > endOfFilesBeforePlay_; });
}

void PlayerHost::PumpFor(std::chrono::milliseconds time) {
  PumpUntil([] { return false; }, time);
}

}  // namespace lym::test
