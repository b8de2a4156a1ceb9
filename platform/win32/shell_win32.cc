// The message box and the browser through user32 and the shell.
//
// platform/shell.h comes before <windows.h>: windows.h defines MB_OK and
// MB_TASKMODAL as macros, so below it only the platform's own names are used.
#include "platform/shell.h"
// windows.h and the headers that need its types follow.
#include <windows.h>
// After windows.h.
#include <objbase.h>
#include <shellapi.h>

#include <string>

namespace lorvane::platform {

std::int32_t show_message(const Text& text, std::uint32_t type, const std::optional<Text>& title) {
  const char* caption = title.has_value() ? title->c_str() : default_message_title;
  return MessageBoxA(nullptr, text.c_str(), caption, type);
}

namespace {

bool usable(HANDLE handle) { return handle != nullptr && handle != INVALID_HANDLE_VALUE; }

bool write_line(HANDLE handle, const Text& line) {
  const std::string bytes = std::string(line.view()) + "\r\n";
  DWORD written = 0;
  return WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
         written == bytes.size();
}

}  // namespace

void tell_starter(const Text& line) {
  // Redirected output (a script's pipe or file) is there from the start.
  if (write_line(GetStdHandle(STD_OUTPUT_HANDLE), line)) return;
  // Started from a console: write into it. The console's shell does not wait
  // for a GUI program, so the line may come after its next prompt.
  if (AttachConsole(ATTACH_PARENT_PROCESS)) {
    const HANDLE console = CreateFileA("CONOUT$", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                       nullptr, OPEN_EXISTING, 0, nullptr);
    const bool written = usable(console) && write_line(console, line);
    if (usable(console)) CloseHandle(console);
    FreeConsole();
    if (written) return;
  }
  // Started from the desktop (Explorer, a shortcut): nobody reads output.
  MessageBoxA(nullptr, line.c_str(), "Lorvane", MB_OK | MB_ICONINFORMATION);
}

void open_in_browser(const Text& url) {
  // The "open" verb may be served by a shell extension that needs COM on this
  // thread; the call balances its own initialisation.
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  ShellExecuteA(nullptr, "open", url.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
  if (SUCCEEDED(com)) CoUninitialize();
}

}  // namespace lorvane::platform
