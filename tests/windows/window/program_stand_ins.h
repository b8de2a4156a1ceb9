// Stand-ins that the start-up tests link in place of the program's own: the
// notice texts, pointed at loopback servers, and a shell that records the
// browser and message box calls with the state of the window at that moment.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace lorvane::testing {

// What notice_texts() gives from now on.
void set_notice_texts(std::string flag_file_url, std::string home_page_url,
                      std::string notice_text);

struct ShellCall {
  enum class Kind { browser, message };
  Kind kind = Kind::browser;
  std::string text;  // the URL or the message text
  std::uint32_t type = 0;
  std::optional<std::string> title;
  bool window_created = false;    // the main window existed
  bool window_visible = false;    // ... and was visible
  bool controls_visible = false;  // every control had been made visible
};

std::vector<ShellCall>& shell_calls();

}  // namespace lorvane::testing
