// lorvane.exe as unpacked from the Windows zip, run under Wine from there:
// --version on a redirected standard output, then the window itself, through
// the start-up notice (the maker's host cannot be reached here) to Esc.
// LORVANE_UNPACKED_PROGRAM names the unpacked lorvane.exe.
#include <windows.h>
// After windows.h.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "lorvane_version.h"

namespace {

std::string unpacked_program() {
  const char* path = std::getenv("LORVANE_UNPACKED_PROGRAM");
  return path != nullptr ? path : "";
}

struct Found {
  DWORD process;
  const char* window_class;
  HWND window;
};

// A visible top-level window of the class in the process, or null.
HWND find_window(DWORD process, const char* window_class) {
  Found found{process, window_class, nullptr};
  EnumWindows(
      [](HWND window, LPARAM data) -> BOOL {
        auto* wanted = reinterpret_cast<Found*>(data);
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        char name[64] = {};
        GetClassNameA(window, name, sizeof(name));
        if (owner == wanted->process && IsWindowVisible(window) &&
            std::string(name) == wanted->window_class) {
          wanted->window = window;
          return FALSE;
        }
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&found));
  return found.window;
}

// Waits up to `seconds` for the window; null when it never came.
HWND wait_for_window(const PROCESS_INFORMATION& process, const char* window_class, int seconds) {
  for (int tries = 0; tries < seconds * 10; ++tries) {
    if (HWND window = find_window(process.dwProcessId, window_class)) return window;
    if (WaitForSingleObject(process.hProcess, 100) == WAIT_OBJECT_0) return nullptr;
  }
  return nullptr;
}

TEST(UnpackedZip, VersionGoesToRedirectedOutput) {
  ASSERT_FALSE(unpacked_program().empty()) << "LORVANE_UNPACKED_PROGRAM is not set";
  // Standard output redirected to a file, as "lorvane.exe --version > file" does.
  char folder[MAX_PATH] = {};
  char path[MAX_PATH] = {};
  ASSERT_NE(GetTempPathA(MAX_PATH, folder), 0u);
  ASSERT_NE(GetTempFileNameA(folder, "lv", 0, path), 0u);
  SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
  const HANDLE output = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                    &inherit, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(output, INVALID_HANDLE_VALUE);
  STARTUPINFOA startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = output;
  startup.hStdError = output;
  startup.hStdInput = nullptr;
  std::string command = "\"" + unpacked_program() + "\" --version";
  PROCESS_INFORMATION process{};
  const bool started = CreateProcessA(nullptr, command.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                      nullptr, &startup, &process);
  CloseHandle(output);
  ASSERT_TRUE(started) << "error " << GetLastError();
  const bool ended = WaitForSingleObject(process.hProcess, 30000) == WAIT_OBJECT_0;
  if (!ended) TerminateProcess(process.hProcess, 99);
  EXPECT_TRUE(ended) << "lorvane.exe --version did not end (a message box?)";
  DWORD status = 99;
  GetExitCodeProcess(process.hProcess, &status);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  EXPECT_EQ(status, 0u);

  std::string written;
  const HANDLE input = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(input, INVALID_HANDLE_VALUE);
  char buffer[256];
  DWORD got = 0;
  while (ReadFile(input, buffer, sizeof(buffer), &got, nullptr) && got > 0) {
    written.append(buffer, got);
  }
  CloseHandle(input);
  DeleteFileA(path);
  EXPECT_EQ(written, std::string("lorvane ") + lorvane_version + "\r\n");
}

TEST(UnpackedZip, VersionResourceCarriesTheProjectsVersion) {
  const std::string program = unpacked_program();
  ASSERT_FALSE(program.empty()) << "LORVANE_UNPACKED_PROGRAM is not set";
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeA(program.c_str(), &ignored);
  ASSERT_GT(size, 0u) << "no version resource";
  std::string block(size, '\0');
  ASSERT_TRUE(GetFileVersionInfoA(program.c_str(), 0, size, block.data()));
  // "080403A8": Chinese (PRC), code page 936.
  for (const char* name : {"FileVersion", "ProductVersion"}) {
    SCOPED_TRACE(name);
    char* value = nullptr;
    UINT length = 0;
    const std::string key = std::string("\\StringFileInfo\\080403A8\\") + name;
    ASSERT_TRUE(
        VerQueryValueA(block.data(), key.c_str(), reinterpret_cast<void**>(&value), &length));
    EXPECT_STREQ(value, lorvane_version);
  }
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
  const std::string numbers = std::to_string(HIWORD(fixed->dwFileVersionMS)) + "." +
                              std::to_string(LOWORD(fixed->dwFileVersionMS)) + "." +
                              std::to_string(HIWORD(fixed->dwFileVersionLS));
  EXPECT_EQ(numbers, lorvane_version);
}

TEST(UnpackedZip, WindowOpensAfterTheNoticeAndEscEndsIt) {
  ASSERT_FALSE(unpacked_program().empty()) << "LORVANE_UNPACKED_PROGRAM is not set";
  STARTUPINFOA startup{};
  startup.cb = sizeof(startup);
  std::string command = "\"" + unpacked_program() + "\"";
  PROCESS_INFORMATION process{};
  ASSERT_TRUE(CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                             &startup, &process))
      << "error " << GetLastError();
  const HWND notice = wait_for_window(process, "#32770", 90);
  EXPECT_NE(notice, nullptr) << "no start-up notice";
  if (notice != nullptr) {
    EXPECT_EQ(find_window(process.dwProcessId, "LorvaneMainWindow"), nullptr)
        << "the window came before the notice was dismissed";
    PostMessageA(notice, WM_COMMAND, IDOK, 0);
  }
  const HWND window = wait_for_window(process, "LorvaneMainWindow", 30);
  ASSERT_NE(window, nullptr) << "the main window never appeared";
  RECT rect{};
  GetWindowRect(window, &rect);
  EXPECT_EQ(rect.right - rect.left, 368);
  EXPECT_EQ(rect.bottom - rect.top, 329);
  PostMessageA(window, WM_KEYDOWN, VK_ESCAPE, 0);
  const bool ended = WaitForSingleObject(process.hProcess, 15000) == WAIT_OBJECT_0;
  if (!ended) TerminateProcess(process.hProcess, 99);
  EXPECT_TRUE(ended) << "Esc did not end the program";
  DWORD status = 99;
  GetExitCodeProcess(process.hProcess, &status);
  EXPECT_EQ(status, 0u);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
}

}  // namespace
