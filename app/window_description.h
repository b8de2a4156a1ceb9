// The main window and its six controls as data, read by every toolkit backend.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "text/values.h"

namespace lorvane {

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

extern const WindowDescription main_window;

// The description of one control.
const ControlDescription& describe(Control control);

// Where the window goes on a screen of the given size: centred, divisions
// truncating toward zero (negative when the screen is smaller than the window).
struct WindowPosition {
  int left;
  int top;
};
WindowPosition centred_position(int screen_width, int screen_height);

}  // namespace lorvane
