// A stand-in for platform/shell.h that records each call, in order, together
// with the moments the main window is shown, so tests can see the start-up
// order without a browser or a box waiting for a click.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace lorvane::test {

struct ShellEvent {
  enum class Kind { browser_opened, message_shown, window_shown };
  Kind kind;
  std::string text;  // the URL or the message text; empty for window_shown
  std::uint32_t type = 0;
  std::optional<std::string> title;
  bool window_visible = false;  // whether the main window was visible at that moment
};

std::vector<ShellEvent>& shell_events();

// Starts recording a window_shown event each time the main window is shown.
// Needs the application object (call after toolkit_initialize).
void watch_main_window_shows();

}  // namespace lorvane::test
