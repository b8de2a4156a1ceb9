// The program's start-up notice pointed at lorvane-demo's https listener, as
// the run build points it: the flag comes back "0" through the program's own
// network code, so neither the browser nor the box is asked for.
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/notice_texts.h"
#include "app/startup_notice.h"
#include "platform/shell.h"
#include "tests/cli/child_process.h"

namespace lorvane {
namespace {

// The calls the notice makes of the shell, in order. Recorded, because a
// browser that is asked to open a page and a box waiting for a click leave
// nothing a test could see otherwise.
std::vector<std::string>& shell_calls() {
  static std::vector<std::string> calls;
  return calls;
}

struct Texts {
  std::string flag_file_url;
  std::string home_page_url;
};
Texts& notice_urls() {
  static Texts texts;
  return texts;
}

}  // namespace

// Stand in for lorvane_notice_host and the desktop shell at link time.
NoticeTexts notice_texts() {
  return {notice_urls().flag_file_url.c_str(), notice_urls().home_page_url.c_str(), "notice"};
}

namespace platform {
std::int32_t show_message(const Text& text, std::uint32_t, const std::optional<Text>&) {
  shell_calls().push_back("message " + std::string(text.view()));
  return 1;
}
void open_in_browser(const Text& url) {
  shell_calls().push_back("browser " + std::string(url.view()));
}
}  // namespace platform

namespace {

TEST(DemoNotice, TheDemosHttpsListenerTurnsTheNoticeOff) {
  testing::Background demo(LORVANE_DEMO_PROGRAM, {"--port", "0", "--tls-port", "0"});
  const std::string http_line = demo.first_line();
  const std::string https_line = demo.next_line();
  ASSERT_EQ(http_line.rfind("lorvane-demo: listening on http://127.0.0.1:", 0), 0u) << http_line;
  ASSERT_EQ(https_line.rfind("lorvane-demo: listening on https://127.0.0.1:", 0), 0u) << https_line;
  const std::string http_host = http_line.substr(http_line.rfind('/') + 1);
  const std::string https_host = https_line.substr(https_line.rfind('/') + 1);

  struct Case {
    const char* name;
    std::string host;
    std::vector<std::string> calls;
  };
  const Case cases[] = {
      {"the https listener answers \"0\"", https_host, {}},
      // The plain listener cannot complete a TLS handshake: the request fails
      // and the notice is due, which shows the recording sees it when it comes.
      {"the http port, which speaks no TLS",
       http_host,
       {"browser https://" + http_host + "/", "message notice"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    notice_urls() = {"https://" + c.host + "/abc.txt", "https://" + c.host + "/"};
    shell_calls().clear();
    startup_notice();
    EXPECT_EQ(shell_calls(), c.calls);
  }
  EXPECT_EQ(demo.stop(), 0);
}

}  // namespace
}  // namespace lorvane
