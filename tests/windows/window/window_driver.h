// Drives the real Win32 window from a test: finds its parts with the ordinary
// Win32 calls, sends real keyboard and mouse input, and runs test steps from
// inside the message loop that the code under test runs.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "app/window_description.h"

namespace lorvane::testing {

// The main window, or null when there is none.
HWND main_window_handle();

// A control of the main window, found inside its parent by its identifier.
HWND control_handle(Control control);

// The control of the description that has the keyboard focus, or none.
const ControlDescription* focused_control();

// Real input through SendInput, as a user's keyboard and mouse give it.
void press_key(WORD virtual_key, bool with_shift = false);
void type_text(const std::string& ascii_letters);
void click_control(Control control);

// Saves a PNG of `window` with a small margin as the X server shows it, taken
// by ImageMagick's import from the host (Wine starts Unix programs by their
// path). Waits until the file is complete; false when none came. What the
// window painted reaches the X server only once its message loop has been
// idle, so call this a step after the last change.
bool save_screenshot(HWND window, const std::string& unix_path);

// The window's text as the A functions give it.
std::string window_text(HWND window);

// Runs steps one per timer tick from inside whichever message loop runs on
// this thread. WM_TIMER comes only when no input is waiting, so each step
// sees the input of the previous one handled. After the last step the window
// must close within `close_timeout_ms`; otherwise the script records a
// failure and closes it, so that a broken window never hangs the test.
class Script {
 public:
  explicit Script(std::vector<std::function<void()>> steps, int close_timeout_ms = 15000);
  ~Script();
  Script(const Script&) = delete;
  Script& operator=(const Script&) = delete;

  // Number of steps that have run.
  std::size_t steps_run() const { return next_; }

 private:
  static void CALLBACK tick(HWND, UINT, UINT_PTR, DWORD);
  void run_next();

  std::vector<std::function<void()>> steps_;
  std::size_t next_ = 0;
  int close_timeout_ms_;
  DWORD finished_at_ = 0;
  UINT_PTR timer_ = 0;
};

// Removes the WM_QUIT that a destroyed main window leaves in the queue when
// no message loop ran to take it.
void drain_quit_message();

}  // namespace lorvane::testing
