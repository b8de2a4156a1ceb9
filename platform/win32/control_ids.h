// How the Win32 window names its parts, so that tests find them with the
// ordinary Win32 calls (FindWindowA with the class name, GetDlgItem with the
// identifier inside the control's parent).
#pragma once

#include "platform/toolkit.h"

namespace lorvane::platform::win32 {

// The window class of the main window.
inline constexpr char main_window_class[] = "LorvaneMainWindow";

// The child-window identifier of a control. Starts above IDOK and IDCANCEL so
// that no control is ever mistaken for a dialog's OK or Cancel button.
constexpr int control_id(Control control) { return 100 + static_cast<int>(control); }

}  // namespace lorvane::platform::win32
