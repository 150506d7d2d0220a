// The multiple-selection file dialog of the job windows' "&Add Files...".
#pragma once

#include <string>
#include <vector>

#include "DialogSupport.h"
#include "JobView.h"

namespace lym::win32 {

// Full paths of the chosen files (all from one folder), in the dialog's order; none when the
// user canceled.
std::vector<std::string> ChooseFilesToOpen(HWND owner, const TFileDialogRequest& request);

}  // namespace lym::win32
