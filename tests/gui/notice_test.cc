// The start-up order: the flag file from a loopback https server, and, when
// the notice is due, the browser and the box, all before the window appears.
#include <QPointer>

#include "platform/shell.h"
#include "tests/gui/program_driver.h"

namespace lorvane::test {
namespace {

class NoticeTest : public ::testing::Test {
 protected:
  void SetUp() override { shell_events().clear(); }
};

using Kind = ShellEvent::Kind;

TEST_F(NoticeTest, OnlyAFlagOfExactlyZeroSkipsTheNotice) {
  struct Case {
    const char* what;
    bool serve;
    int status;
    std::string flag;
    bool notice_due;
  };
  const Case cases[] = {
      {"exactly \"0\"", true, 200, "0", false},
      {"\"0\" then a zero byte", true, 200, std::string("0\0x", 3), false},
      {"\"1\"", true, 200, "1", true},
      {"\"00\"", true, 200, "00", true},
      {"\"0\" and LF", true, 200, "0\n", true},
      {"\"0\" and CR LF", true, 200, "0\r\n", true},
      {"a space before \"0\"", true, 200, " 0", true},
      {"a byte-order mark before \"0\"", true, 200,
       "\xEF\xBB\xBF"
       "0",
       true},
      {"an empty file", true, 200, "", true},
      {"an error page", true, 404, "Not Found", true},
      {"no server", false, 0, "", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    shell_events().clear();
    std::optional<ScriptedServer> site;
    std::string host = "127.0.0.1:" + std::to_string(refused_port());
    if (c.serve) {
      site.emplace(ScriptedServer::Scheme::https, c.status, c.flag);
      host = "127.0.0.1:" + std::to_string(site->port());
    }
    point_notice_at(host);
    bool shown_when_loop_ran = false;
    EXPECT_EQ(run_program([&](QWidget& window) { shown_when_loop_ran = window.isVisible(); }), 0);
    EXPECT_TRUE(shown_when_loop_ran);

    if (site) {
      const std::vector<RecordedRequest> requests = site->requests();
      ASSERT_EQ(requests.size(), 1u);
      EXPECT_EQ(requests[0].method, "GET");
      EXPECT_EQ(requests[0].target, "/abc.txt");
    }

    const std::vector<ShellEvent>& events = shell_events();
    if (!c.notice_due) {
      ASSERT_EQ(events.size(), 1u);
      EXPECT_EQ(events[0].kind, Kind::window_shown);
      continue;
    }
    // The home page first, then the box, both while the window is hidden;
    // the window only once the box has been dismissed.
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[0].kind, Kind::browser_opened);
    EXPECT_EQ(events[0].text, home_page_url_for(host));
    EXPECT_FALSE(events[0].window_visible);
    EXPECT_EQ(events[1].kind, Kind::message_shown);
    EXPECT_EQ(events[1].text, notice_text_for(host));
    EXPECT_EQ(events[1].type, platform::MB_TASKMODAL);
    EXPECT_EQ(events[1].title, std::nullopt);
    EXPECT_FALSE(events[1].window_visible);
    EXPECT_EQ(events[2].kind, Kind::window_shown);
  }
}

}  // namespace
}  // namespace lorvane::test
