// The main window and its six controls as data, handed to the toolkit.
#pragma once

#include "platform/toolkit.h"

namespace lorvane {

// The toolkit's vocabulary, used here under the app's own names.
using platform::Colour;
using platform::Control;
using platform::ControlDescription;
using platform::ControlKind;
using platform::WindowDescription;
using platform::WindowPosition;

extern const WindowDescription main_window;

// The description of one control.
const ControlDescription& describe(Control control);

// Where the window goes on a screen of the given size: centred, divisions
// truncating toward zero (negative when the screen is smaller than the window).
WindowPosition centred_position(int screen_width, int screen_height);

}  // namespace lorvane
