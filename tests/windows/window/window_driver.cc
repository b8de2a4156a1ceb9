#include "tests/windows/window/window_driver.h"

#include <gtest/gtest.h>

#include "platform/win32/control_ids.h"

namespace lorvane::testing {

HWND main_window_handle() { return FindWindowA(platform::win32::main_window_class, nullptr); }

HWND control_handle(Control control) {
  const ControlDescription& description = describe(control);
  const HWND parent =
      description.parent.has_value() ? control_handle(*description.parent) : main_window_handle();
  if (parent == nullptr) return nullptr;
  return GetDlgItem(parent, platform::win32::control_id(control));
}

const ControlDescription* focused_control() {
  const HWND focus = GetFocus();
  for (const ControlDescription& description : main_window.controls) {
    if (focus != nullptr && control_handle(description.control) == focus) return &description;
  }
  return nullptr;
}

namespace {

INPUT key_input(WORD virtual_key, bool up) {
  INPUT input{};
  input.type = INPUT_KEYBOARD;
  input.ki.wVk = virtual_key;
  input.ki.wScan = static_cast<WORD>(MapVirtualKeyA(virtual_key, MAPVK_VK_TO_VSC));
  input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
  return input;
}

}  // namespace

void press_key(WORD virtual_key, bool with_shift) {
  std::vector<INPUT> inputs;
  if (with_shift) inputs.push_back(key_input(VK_SHIFT, false));
  inputs.push_back(key_input(virtual_key, false));
  inputs.push_back(key_input(virtual_key, true));
  if (with_shift) inputs.push_back(key_input(VK_SHIFT, true));
  const UINT sent = SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
  ASSERT_EQ(sent, inputs.size()) << "SendInput failed, error " << GetLastError();
}

void type_text(const std::string& ascii_letters) {
  for (char letter : ascii_letters) {
    // Lower-case letters and digits: the virtual key is the upper-case letter.
    const char upper =
        (letter >= 'a' && letter <= 'z') ? static_cast<char>(letter - 'a' + 'A') : letter;
    press_key(static_cast<WORD>(upper));
  }
}

void click_control(Control control) {
  RECT rect{};
  ASSERT_TRUE(GetWindowRect(control_handle(control), &rect));
  const int x = (rect.left + rect.right) / 2;
  const int y = (rect.top + rect.bottom) / 2;
  // Absolute mouse coordinates run from 0 to 65535 across the primary screen.
  const int width = GetSystemMetrics(SM_CXSCREEN);
  const int height = GetSystemMetrics(SM_CYSCREEN);
  INPUT inputs[3] = {};
  for (INPUT& input : inputs) {
    input.type = INPUT_MOUSE;
    input.mi.dx = static_cast<LONG>((x * 65536LL + width / 2) / width);
    input.mi.dy = static_cast<LONG>((y * 65536LL + height / 2) / height);
    input.mi.dwFlags = MOUSEEVENTF_ABSOLUTE;
  }
  inputs[0].mi.dwFlags |= MOUSEEVENTF_MOVE;
  inputs[1].mi.dwFlags |= MOUSEEVENTF_LEFTDOWN;
  inputs[2].mi.dwFlags |= MOUSEEVENTF_LEFTUP;
  ASSERT_EQ(SendInput(3, inputs, sizeof(INPUT)), 3u)
      << "SendInput failed, error " << GetLastError();
}

std::string window_text(HWND window) {
  std::string text(static_cast<std::size_t>(GetWindowTextLengthA(window)) + 1, '\0');
  text.resize(
      static_cast<std::size_t>(GetWindowTextA(window, text.data(), static_cast<int>(text.size()))));
  return text;
}

bool save_screenshot(HWND window, const std::string& unix_path) {
  RECT rect{};
  if (!GetWindowRect(window, &rect)) return false;
  constexpr int margin = 12;
  const long left = rect.left > margin ? rect.left - margin : 0;
  const long top = rect.top > margin ? rect.top - margin : 0;
  const std::string geometry = std::to_string(rect.right + margin - left) + "x" +
                               std::to_string(rect.bottom + margin - top) + "+" +
                               std::to_string(left) + "+" + std::to_string(top);
  const std::string windows_path = "Z:" + unix_path;
  DeleteFileA(windows_path.c_str());
  // Written under another name first, so that the file is whole once it appears.
  const std::string partial = unix_path + ".partial.png";
  const std::string folder = unix_path.substr(0, unix_path.rfind('/'));
  std::string command = "/bin/sh -c \"mkdir -p '" + folder + "' && import -window root -crop " +
                        geometry + " +repage '" + partial + "' && mv '" + partial + "' '" +
                        unix_path + "'\"";
  STARTUPINFOA startup{};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process{};
  if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &process)) {
    return false;
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  // A Unix child gives Wine no exit status to wait for; its file is the answer.
  for (int tries = 0; tries < 200; ++tries) {
    if (GetFileAttributesA(windows_path.c_str()) != INVALID_FILE_ATTRIBUTES) return true;
    Sleep(100);
  }
  return false;
}

namespace {
Script* running_script = nullptr;
constexpr UINT step_interval_ms = 40;
}  // namespace

Script::Script(std::vector<std::function<void()>> steps, int close_timeout_ms)
    : steps_(std::move(steps)), close_timeout_ms_(close_timeout_ms) {
  running_script = this;
  timer_ = SetTimer(nullptr, 0, step_interval_ms, &Script::tick);
  EXPECT_NE(timer_, 0u) << "SetTimer failed";
}

Script::~Script() {
  if (timer_ != 0) KillTimer(nullptr, timer_);
  running_script = nullptr;
}

void CALLBACK Script::tick(HWND, UINT, UINT_PTR, DWORD) {
  if (running_script != nullptr) running_script->run_next();
}

void Script::run_next() {
  if (next_ < steps_.size()) {
    // The step may start a nested loop (a message box); it must not run twice.
    const std::size_t step = next_++;
    steps_[step]();
    if (next_ == steps_.size()) finished_at_ = GetTickCount();
    return;
  }
  if (static_cast<int>(GetTickCount() - finished_at_) < close_timeout_ms_) return;
  const HWND window = main_window_handle();
  if (window == nullptr) return;
  ADD_FAILURE() << "the main window was still open " << close_timeout_ms_
                << " ms after the last step; closing it";
  KillTimer(nullptr, timer_);
  timer_ = 0;
  DestroyWindow(window);
}

void drain_quit_message() {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) return;
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

}  // namespace lorvane::testing
