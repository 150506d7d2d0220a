// Drives the windows of another process as a user would: finds them by caption, clicks their
// buttons and reads their texts. The program's one thread may be busy in a batch at any moment,
// so every message into it is either posted or sent with a time limit, and every wait polls with
// a limit and fails with a message that names what did not happen.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <functional>
#include <string>

namespace lym::gui_test {

// Moves the calling thread onto a desktop of its own, for the program under test: nothing else
// can cover its windows, and under Wine it is a virtual desktop of the given size, on which Wine
// draws window frames and captions itself. The window searches below then see its windows.
// Returns the desktop's name, to start the program on.
std::string EnterTestDesktop(const std::string& name, int width, int height);

// The program under test, started on the desktop in folder; still running at destruction (after a
// failed check), it is ended.
class TProgram {
 public:
  TProgram(const std::string& path, const std::string& folder, const std::string& desktop);
  ~TProgram();
  TProgram(const TProgram&) = delete;
  TProgram& operator=(const TProgram&) = delete;

  DWORD Id() const { return info_.dwProcessId; }
  // Waits for the program to end by itself and returns its exit code.
  DWORD WaitForExit();

 private:
  PROCESS_INFORMATION info_ = {};
};

void WaitUntil(const std::function<bool()>& condition, const std::string& what);

// The visible top-level window of the process with exactly this caption.
HWND FindTopWindow(DWORD processId, const std::string& caption);
HWND WaitForTopWindow(DWORD processId, const std::string& caption);
// A visible message box of the process that shows text.
HWND WaitForMessageBox(DWORD processId, const std::string& text);
bool IsShown(HWND window);
// The captions of the process's visible windows, for a failure's message.
std::string DescribeWindows(DWORD processId);
void WaitUntilClosed(HWND window, const std::string& what);

std::string WindowText(HWND window);
std::string ItemText(HWND dialog, int id);
bool ItemEnabled(HWND dialog, int id);
bool ItemChecked(HWND dialog, int id);
void WaitForItemText(HWND dialog, int id, const std::string& text);

// A click on an enabled button, check box or radio button, handled when the program next looks
// at its messages.
void Click(HWND dialog, int id);
// A key pressed while the control has the focus (VK_RIGHT on a tab control: the next page).
void PressKey(HWND dialog, int id, WPARAM key);
// What the system sends when the user closes the window by its frame or by Escape.
void PostClose(HWND window);
void PostCancel(HWND dialog);
// Brings the window to the front, so that its caption is drawn active.
void Activate(HWND window);

}  // namespace lym::gui_test
