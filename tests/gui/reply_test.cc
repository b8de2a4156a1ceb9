// Reading a submission reply and placing the window, without any window.
#include <gtest/gtest.h>

#include <string>

#include "app/submission.h"
#include "app/window_description.h"
#include "tests/support/text_printers.h"

namespace lorvane {
namespace {

TEST(ReplyFieldTest, ValueRunsToTheFirstCommaOrClosingBrace) {
  struct Case {
    const char* what;
    std::string reply;
    const char* key;
    const char* value;
  };
  const Case cases[] = {
      {"last field closed by a brace", R"({"remain":4999998,"success":2})", "success\":", "2"},
      {"field before a comma", R"({"remain":4999998,"success":2})", "remain\":", "4999998"},
      {"line break before the brace", "{\"remain\":4999998\r\n}", "remain\":", "4999998"},
      {"spaces and tabs before the brace", "{\"remain\":4999998 \t\n}", "remain\":", "4999998"},
      {"a space after the colon stays", R"({"success": 2,"remain":1})", "success\":", " 2"},
      {"quotes stay", R"({"success":"2"})", "success\":", "\"2\""},
      {"letter case counts", R"({"Success":2,"remain":1})", "success\":", ""},
      {"the first occurrence counts", R"({"success":1,"success":2})", "success\":", "1"},
      {"a longer name ending alike", R"({"not_success":7})", "success\":", "7"},
      {"the key is missing", R"({"remain":1})", "success\":", ""},
      {"nothing closes the value", R"("success":5)", "success\":", ""},
      {"the key at the very end", R"({"success":)", "success\":", ""},
      {"a comma right after the key", R"({"success":,"remain":1})", "success\":", ""},
      {"only white space before the brace", "{\"success\":  \r\n}", "success\":", ""},
      {"white space before a comma stays", "{\"success\":2 ,\"remain\":1}", "success\":", "2 "},
      {"the empty reply", "", "success\":", ""},
      // A two-byte character whose second byte is "}" does not close the value.
      {"brace as a second byte", "{\"success\":\x81}2}", "success\":", "\x81}2"},
      // The key hidden behind a first byte is no key.
      {"key after a lone first byte", "{\x81success\":3}", "success\":", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(reply_field(Text(c.reply), c.key), Text(c.value));
  }
}

TEST(ReadReplyTest, ResultLineTellsAcceptedRefusedAndUnreachableApart) {
  // "提交成功：", " 剩余额度：", "提交失败：", "无法连接接口"
  const std::string ok = "\xCC\xE1\xBD\xBB\xB3\xC9\xB9\xA6\xA3\xBA";
  const std::string left = " \xCA\xA3\xD3\xE0\xB6\xEE\xB6\xC8\xA3\xBA";
  const std::string failed = "\xCC\xE1\xBD\xBB\xCA\xA7\xB0\xDC\xA3\xBA";
  const std::string unreachable = "\xCE\xDE\xB7\xA8\xC1\xAC\xBD\xD3\xBD\xD3\xBF\xDA";
  struct Case {
    const char* what;
    std::string headers;
    std::string body;
    SubmitOutcome outcome;
    std::string result_line;
    const char* status_line;
    std::uint32_t oversized_headers = 0;  // the size reported for a block too large to read
  };
  const std::string spaces(5000, ' ');
  const Case cases[] = {
      {"no response", "", "", SubmitOutcome::no_response, failed + unreachable, ""},
      {"a header block that is no response", "garbage\r\n\r\n", "", SubmitOutcome::no_response,
       failed + unreachable, ""},
      {"both fields", "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\n\r\n",
       R"({"remain":4999998,"success":2})", SubmitOutcome::accepted, ok + "2" + left + "4999998",
       "HTTP/1.1 200 OK"},
      {"success key, no remain key", "HTTP/1.1 200 OK\r\n\r\n", R"({"success":3})",
       SubmitOutcome::accepted, ok + "3" + left, "HTTP/1.1 200 OK"},
      {"success key under an error status", "HTTP/1.1 400 Bad Request\r\n\r\n",
       R"({"success":0,"remain":0})", SubmitOutcome::accepted, ok + "0" + left + "0",
       "HTTP/1.1 400 Bad Request"},
      {"a reply without the key", "HTTP/1.1 400 Bad Request\r\n\r\n",
       R"({"error":400,"message":"over quota"})", SubmitOutcome::refused,
       failed + R"({"error":400,"message":"over quota"})", "HTTP/1.1 400 Bad Request"},
      {"an empty reply shows the status line", "HTTP/1.1 500 Internal Server Error\r\n\r\n", "",
       SubmitOutcome::refused, failed + "HTTP/1.1 500 Internal Server Error",
       "HTTP/1.1 500 Internal Server Error"},
      {"CR and LF each become a space", "HTTP/1.0 502 Bad Gateway\r\n\r\n", "one\r\ntwo\nthree\r",
       SubmitOutcome::refused, failed + "one  two three ", "HTTP/1.0 502 Bad Gateway"},
      {"a value that runs over a line break stays on one line", "HTTP/1.1 200 OK\r\n\r\n",
       "{\"success\":2\r\n,\"remain\":5\n,\"x\":1}", SubmitOutcome::accepted,
       ok + "2  " + left + "5 ", "HTTP/1.1 200 OK"},
      {"the key after a zero byte counts as missing", "HTTP/1.1 200 OK\r\n\r\n",
       std::string("ok\0\"success\":1,", 16), SubmitOutcome::refused, failed + "ok",
       "HTTP/1.1 200 OK"},
      // The platform reported a header block too large for the buffer, which
      // keeps its prepared spaces: a response came all the same.
      {"a block too large, and both fields", spaces, R"({"remain":6,"success":2})",
       SubmitOutcome::accepted, ok + "2" + left + "6", "", 6085},
      {"a block too large, and an empty reply", spaces, "", SubmitOutcome::refused, failed, "",
       5001},
      {"a block too large, and a reply without the key", spaces, "busy", SubmitOutcome::refused,
       failed + "busy", "", 70000},
      // Body bytes come only with a response, whatever the block says.
      {"no block, but a body", spaces, R"({"success":1,"remain":2})", SubmitOutcome::accepted,
       ok + "1" + left + "2", ""},
      {"nothing but the prepared spaces", spaces, "", SubmitOutcome::no_response,
       failed + unreachable, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const SubmitResult result = read_reply(Text(c.headers), c.oversized_headers, Bytes(c.body));
    EXPECT_EQ(result.outcome, c.outcome);
    EXPECT_EQ(result.result_line, Text(c.result_line));
    EXPECT_EQ(result.status_line, Text(c.status_line));
  }
}

TEST(CentredPositionTest, DivisionsTruncateTowardZero) {
  struct Case {
    int screen_width, screen_height, left, top;
  };
  const Case cases[] = {
      {1920, 1080, 776, 375},  // 751 / 2 drops the half
      {800, 600, 216, 135},
      {367, 328, 0, 0},      // -1 / 2 is 0, not -1
      {300, 200, -34, -64},  // -129 / 2 is -64, not -65
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.screen_width << "x" << c.screen_height);
    const WindowPosition position = centred_position(c.screen_width, c.screen_height);
    EXPECT_EQ(position.left, c.left);
    EXPECT_EQ(position.top, c.top);
  }
}

TEST(WindowDescriptionTest, ControlsFitTheirParentsAndDoNotOverlap) {
  const auto& controls = main_window.controls;
  for (std::size_t i = 0; i < controls.size(); ++i) {
    const ControlDescription& a = controls[i];
    SCOPED_TRACE(a.name);
    EXPECT_EQ(&describe(a.control), &a);
    if (a.parent) {
      const ControlDescription& parent = describe(*a.parent);
      EXPECT_GE(a.left, 0);
      EXPECT_GE(a.top, 0);
      EXPECT_LE(a.left + a.width, parent.width);
      EXPECT_LE(a.top + a.height, parent.height);
    }
    for (std::size_t j = i + 1; j < controls.size(); ++j) {
      const ControlDescription& b = controls[j];
      if (a.parent != b.parent) continue;
      const bool apart = a.left + a.width <= b.left || b.left + b.width <= a.left ||
                         a.top + a.height <= b.top || b.top + b.height <= a.top;
      EXPECT_TRUE(apart) << "overlaps " << b.name;
    }
  }
  for (Control control : main_window.focus_cycle) EXPECT_TRUE(describe(control).takes_focus);
}

}  // namespace
}  // namespace lorvane
