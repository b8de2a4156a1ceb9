#include "tests/windows/window/program_stand_ins.h"

#include "app/notice_texts.h"
#include "app/window_description.h"
// Before windows.h (through window_driver.h), whose macros share its names.
#include "platform/shell.h"
#include "tests/windows/window/window_driver.h"

namespace lorvane {
namespace {

struct NoticeStrings {
  std::string flag_file_url;
  std::string home_page_url;
  std::string notice_text;
};

NoticeStrings& notice_strings() {
  static NoticeStrings strings;
  return strings;
}

testing::ShellCall call_now(testing::ShellCall::Kind kind, const Text& text) {
  testing::ShellCall call;
  call.kind = kind;
  call.text = std::string(text.view());
  const HWND window = testing::main_window_handle();
  call.window_created = window != nullptr;
  call.window_visible = window != nullptr && IsWindowVisible(window);
  call.controls_visible = window != nullptr;
  for (const ControlDescription& control : main_window.controls) {
    const HWND handle = testing::control_handle(control.control);
    if (handle == nullptr || (GetWindowLongPtrA(handle, GWL_STYLE) & WS_VISIBLE) == 0) {
      call.controls_visible = false;
    }
  }
  return call;
}

}  // namespace

NoticeTexts notice_texts() {
  const NoticeStrings& strings = notice_strings();
  return {strings.flag_file_url.c_str(), strings.home_page_url.c_str(),
          strings.notice_text.c_str()};
}

namespace testing {

void set_notice_texts(std::string flag_file_url, std::string home_page_url,
                      std::string notice_text) {
  notice_strings() = {std::move(flag_file_url), std::move(home_page_url), std::move(notice_text)};
}

std::vector<ShellCall>& shell_calls() {
  static std::vector<ShellCall> calls;
  return calls;
}

}  // namespace testing

namespace platform {

std::int32_t show_message(const Text& text, std::uint32_t type, const std::optional<Text>& title) {
  testing::ShellCall call = call_now(testing::ShellCall::Kind::message, text);
  call.type = type;
  if (title.has_value()) call.title = std::string(title->view());
  testing::shell_calls().push_back(call);
  return 1;  // IDOK: dismissed at once
}

void open_in_browser(const Text& url) {
  testing::shell_calls().push_back(call_now(testing::ShellCall::Kind::browser, url));
}

}  // namespace platform
}  // namespace lorvane
