// The frame that a window manager will draw around a top-level window, known
// before the window is first shown.
#pragma once

#include <QMargins>
#include <optional>

class QWindow;

namespace lorvane::platform::qt {

// The frame's left, top, right and bottom widths in the display's pixels (not
// Qt's device-independent ones), asked of the X11 window manager through
// _NET_REQUEST_FRAME_EXTENTS and read from its answer in _NET_FRAME_EXTENTS.
// None on other platforms, without a window manager, or when the manager does
// not support the request or does not answer within a second. `window`
// must have its native window.
std::optional<QMargins> window_manager_frame(QWindow& window);

}  // namespace lorvane::platform::qt
