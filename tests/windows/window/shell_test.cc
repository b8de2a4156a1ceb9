// The shell backend with the real user32 message box and the real shell
// "open" action: the box's title, text, buttons and task modality as the user
// sees them, and the URL handed to the handler that the "open" verb starts.
#include "platform/shell.h"
// After platform/shell.h, whose constants windows.h would turn into macros.
#include <windows.h>
// After windows.h.
#include <gtest/gtest.h>

#include <functional>
#include <string>

namespace lorvane {
namespace {

std::string window_text(HWND window) {
  char text[512] = {};
  GetWindowTextA(window, text, sizeof(text));
  return text;
}

HWND find_message_box() {
  HWND found = nullptr;
  EnumThreadWindows(
      GetCurrentThreadId(),
      [](HWND window, LPARAM result) -> BOOL {
        char window_class[16] = {};
        GetClassNameA(window, window_class, sizeof(window_class));
        if (std::string(window_class) != "#32770" || !IsWindowVisible(window)) return TRUE;
        *reinterpret_cast<HWND*>(result) = window;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&found));
  return found;
}

// Runs `inspect` on the message box from inside its own modal loop, then
// dismisses it with a real Enter key.
std::function<void(HWND)> inspect_box;
bool inspected = false;
void CALLBACK look_at_box(HWND, UINT, UINT_PTR timer, DWORD) {
  const HWND box = find_message_box();
  if (box == nullptr || inspected) return;
  inspected = true;
  KillTimer(nullptr, timer);
  inspect_box(box);
  INPUT keys[2] = {};
  keys[0].type = keys[1].type = INPUT_KEYBOARD;
  keys[0].ki.wVk = keys[1].ki.wVk = VK_RETURN;
  keys[1].ki.dwFlags = KEYEVENTF_KEYUP;
  SendInput(2, keys, sizeof(INPUT));
}

TEST(Win32Shell, MessageBoxShowsTextTitleAndOneOkButton) {
  struct Case {
    const char* name;
    std::optional<Text> title;
    std::uint32_t type;
    const char* expected_title;
    bool other_windows_disabled;
  };
  // "Tomsel教程网：" ..., the notice's kind of text
  const Text text =
      "Tomsel\xBD\xCC\xB3\xCC\xCD\xF8\xA3\xBA"
      "127.0.0.1";
  const Case cases[] = {
      // MB_OK | MB_TASKMODAL; our names for them are macros once windows.h is in.
      {"the notice: task-modal, default title", std::nullopt, 0x2000, "\xD0\xC5\xCF\xA2\xA3\xBA",
       true},
      {"a given title, not task-modal", Text("Lorvane"), 0, "Lorvane", false},
  };
  // Another window of the program, which a task-modal box disables meanwhile.
  const HWND other = CreateWindowExA(0, "STATIC", "other", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100,
                                     nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
  ASSERT_NE(other, nullptr);
  for (const Case& row : cases) {
    SCOPED_TRACE(row.name);
    std::string title, message;
    HWND owner = reinterpret_cast<HWND>(1);
    bool ok_button = false, cancel_button = true, other_enabled = true;
    inspected = false;
    inspect_box = [&](HWND box) {
      title = window_text(box);
      message = window_text(GetDlgItem(box, 0xFFFF));  // the box's text control
      owner = GetWindow(box, GW_OWNER);
      ok_button = GetDlgItem(box, IDOK) != nullptr;
      cancel_button = GetDlgItem(box, IDCANCEL) != nullptr;
      other_enabled = IsWindowEnabled(other) != FALSE;
    };
    ASSERT_NE(SetTimer(nullptr, 0, 50, &look_at_box), 0u);
    const std::int32_t pressed = platform::show_message(text, row.type, row.title);
    ASSERT_TRUE(inspected) << "the box did not show";
    EXPECT_EQ(pressed, IDOK);
    EXPECT_EQ(title, row.expected_title);
    EXPECT_EQ(message, text.view());
    EXPECT_EQ(owner, nullptr);
    EXPECT_TRUE(ok_button);
    EXPECT_FALSE(cancel_button);
    EXPECT_EQ(other_enabled, !row.other_windows_disabled);
    EXPECT_TRUE(IsWindowEnabled(other)) << "the box left the program's windows disabled";
  }
  DestroyWindow(other);
}

// A URL scheme of the test's own, registered in the prefix's classes for the
// length of the test, whose "open" command writes the URL it was given into a
// file: the shell's real "open" action runs and no browser is involved.
TEST(Win32Shell, OpenHandsTheUrlToTheShellsOpenAction) {
  char folder[MAX_PATH] = {};
  ASSERT_NE(GetTempPathA(MAX_PATH, folder), 0u);
  const std::string record = std::string(folder) + "lorvane-opened-url.txt";
  DeleteFileA(record.c_str());

  HKEY scheme = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CLASSES_ROOT, "lorvane-test", 0, nullptr, 0, KEY_ALL_ACCESS,
                            nullptr, &scheme, nullptr),
            ERROR_SUCCESS);
  RegSetValueExA(scheme, "URL Protocol", 0, REG_SZ, reinterpret_cast<const BYTE*>(""), 1);
  const std::string command = "cmd.exe /c echo %1>\"" + record + "\"";
  ASSERT_EQ(RegSetKeyValueA(scheme, "shell\\open\\command", nullptr, REG_SZ, command.c_str(),
                            static_cast<DWORD>(command.size() + 1)),
            ERROR_SUCCESS);

  platform::open_in_browser("lorvane-test://127.0.0.1/home");

  std::string opened;
  for (int tries = 0; tries < 200 && opened.empty(); ++tries) {
    Sleep(50);
    const HANDLE file = CreateFileA(record.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) continue;
    char bytes[256] = {};
    DWORD count = 0;
    ReadFile(file, bytes, sizeof(bytes) - 1, &count, nullptr);
    CloseHandle(file);
    opened.assign(bytes, count);
  }
  RegDeleteTreeA(HKEY_CLASSES_ROOT, "lorvane-test");
  RegCloseKey(scheme);
  DeleteFileA(record.c_str());
  EXPECT_EQ(opened.substr(0, opened.find_first_of("\r\n")), "lorvane-test://127.0.0.1/home");
}

}  // namespace
}  // namespace lorvane
