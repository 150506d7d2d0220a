// What the option windows share: the frame of an option window ("Ok" stores, "Cancel" drops),
// drop-down lists, and the "&Output" and "&Protocol" groups that the decompression options and the
// compression options' output page both show under the same control ids.
#pragma once

#include <initializer_list>
#include <span>

#include "DialogSupport.h"
#include "OptionWindows.h"

namespace lym::win32 {

// An option window: sets its caption and texts, loads its state into the controls when it opens,
// and on "Ok" stores the state into its settings record and closes with IDOK.
class TOptionDialog : public TModalDialog {
 public:
  // True when the window was closed with "Ok".
  bool Run(HWND owner, int templateId) { return ShowModal(owner, templateId) == IDOK; }

 protected:
  TOptionDialog(const char* caption, std::span<const TControlText> texts)
      : caption_(caption), texts_(texts) {}

  virtual void Load() = 0;
  virtual void Store() = 0;
  // A command from one of the window's own controls.
  virtual bool OnControl(int id, int notification) = 0;

 private:
  void OnInit() final;
  bool OnCommand(int id, int notification) final;

  const char* caption_;
  std::span<const TControlText> texts_;
};

// A drop-down list offering items, showing the entry at index.
void FillList(HWND window, int id, std::span<const char* const> items, int index);
// The entry shown, or fallback when none is.
int ListIndex(HWND window, int id, int fallback);

// A group box goes with the controls inside it.
void EnableItems(HWND window, std::initializer_list<int> ids, bool enabled);

// The "&Output" and "&Protocol" groups bound to the state that the window keeps of them; levelCount
// protocol levels are offered. Window is the dialog or page that holds the controls.
class TOutputGroups {
 public:
  TOutputGroups(TOutputControls& state, int levelCount) : state_(state), levelCount_(levelCount) {}

  void Load(HWND window) const;
  // A click on one of the groups' controls; false for any other control.
  bool Clicked(HWND window, int id);

 private:
  void ShowRules(HWND window) const;
  void Browse(HWND window);

  TOutputControls& state_;
  int levelCount_;
};

}  // namespace lym::win32
