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

namespace lorvane::platform {

std::int32_t show_message(const Text& text, std::uint32_t type, const std::optional<Text>& title) {
  const char* caption = title.has_value() ? title->c_str() : default_message_title;
  return MessageBoxA(nullptr, text.c_str(), caption, type);
}

void open_in_browser(const Text& url) {
  // The "open" verb may be served by a shell extension that needs COM on this
  // thread; the call balances its own initialisation.
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  ShellExecuteA(nullptr, "open", url.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
  if (SUCCEEDED(com)) CoUninitialize();
}

}  // namespace lorvane::platform
