// The window toolkit as the program uses it: one main window with the controls
// of its description, the keyboard rules, and the clicks of the submit button.
//
// One backend defines these, chosen by the build: platform/qt/ (Qt Widgets) or
// platform/win32/ (Win32 controls). Everything runs on the window thread.
#pragma once

#include "app/window_description.h"
#include "text/values.h"

namespace lorvane::platform {

// Prepares the toolkit; the first call of every run.
void toolkit_initialize();

struct ScreenSize {
  int width;
  int height;
};
// The whole screen (GetSystemMetrics of SM_CXSCREEN and SM_CYSCREEN), not the work area.
ScreenSize screen_size();

// Creates the main window at `position` and its controls inside their parents,
// all hidden. When the window cannot be created the program ends with the
// toolkit's fatal error report.
void create_main_window(const WindowDescription& description, WindowPosition position);

// Makes the controls visible; the main window itself stays hidden.
void show_controls();

// Shows and activates the main window.
void show_main_window();

// Takes events one at a time until the main window has been destroyed; a click
// of the submit button runs `on_click` to completion before the next event.
void run_message_loop(void (*on_click)());

// A copy of the control's current text in code page 936 (possibly empty).
// Lines of the multi-line box are separated by CR LF.
Text control_text(Control control);

// Replaces the label's caption (code page 936) and redraws it at once.
void set_caption(Control control, const Text& caption);

}  // namespace lorvane::platform
