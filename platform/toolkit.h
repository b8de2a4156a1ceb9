// The window toolkit as the program uses it: one main window with the controls
// of its description, the keyboard rules, and the clicks of the submit button.
//
// One backend defines these, chosen by the build: platform/qt/ (Qt Widgets) or
// platform/win32/ (Win32 controls). Everything runs on the window thread.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "text/values.h"

namespace lorvane::platform {

// The words in which a window is described to the toolkit. The description of
// the program's own window, with its values, is the app layer's
// (app/window_description.h).

// The controls, in the order in which the window lists them.
enum class Control { 标签2, 标签1, 编辑框2, 分组框1, 编辑框1, 按钮1 };

enum class ControlKind { label, single_line_edit, multi_line_edit, group_box, push_button };

// A colour as red, green and blue, 0 to 255 each.
struct Colour {
  std::uint8_t red = 0;
  std::uint8_t green = 0;
  std::uint8_t blue = 0;
  friend bool operator==(const Colour&, const Colour&) = default;
};

// Positions and sizes are pixels of a 96-dpi display; a backend scales them
// to the display it draws on.
struct ControlDescription {
  Control control;
  const char* name;  // the control's name in UTF-8, for diagnostics and tests
  ControlKind kind;
  std::optional<Control> parent;  // none: the main window
  int left;                       // relative to the parent's client area
  int top;
  int width;  // outer size
  int height;
  const char* initial_text;  // code page 936
  Colour text_colour;
  bool takes_focus;
};

struct WindowDescription {
  const char* title;  // code page 936
  int width;          // outer size, title bar and borders included
  int height;
  std::array<ControlDescription, 6> controls;
  // Tab moves forward through this cycle, Shift+Tab backward.
  std::array<Control, 3> focus_cycle;
};

// The screen position of the window's outer top-left corner.
struct WindowPosition {
  int left;
  int top;
};

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
