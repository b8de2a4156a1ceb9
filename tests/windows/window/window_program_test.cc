// The whole program through start_program: the real Win32 window and
// wininet.dll against loopback servers, with recording stand-ins only for the
// browser and the message box. The start-up order around the notice, Esc
// ending the program with 0, and the submit button posting the URL list.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "app/notice_texts.h"
#include "app/start_program.h"
#include "app/window_description.h"
#include "tests/net/servers.h"
#include "tests/windows/window/program_stand_ins.h"
#include "tests/windows/window/reply_server.h"
#include "tests/windows/window/window_driver.h"

namespace lorvane {
namespace {

using testing::click_control;
using testing::control_handle;
using testing::main_window_handle;
using testing::press_key;
using testing::ReplyServer;
using testing::Script;
using testing::shell_calls;
using testing::ShellCall;
using testing::type_text;
using testing::window_text;

// "提交成功：" and " 剩余额度：", the two parts of a successful result line.
constexpr char accepted_label[] = "\xCC\xE1\xBD\xBB\xB3\xC9\xB9\xA6\xA3\xBA";
constexpr char remaining_label[] = " \xCA\xA3\xD3\xE0\xB6\xEE\xB6\xC8\xA3\xBA";
// "提交失败：", and "提交失败：无法连接接口"
constexpr char failed_label[] = "\xCC\xE1\xBD\xBB\xCA\xA7\xB0\xDC\xA3\xBA";
constexpr char no_response_line[] =
    "\xCC\xE1\xBD\xBB\xCA\xA7\xB0\xDC\xA3\xBA\xCE\xDE\xB7\xA8\xC1\xAC\xBD\xD3\xBD\xD3\xBF\xDA";

std::string https_host() { return "127.0.0.1:" + std::to_string(net_test::servers().https_port); }

// The notice texts the program would build for a maker's host on loopback,
// with the flag file at `flag_file_url`.
void point_notice_at(const std::string& flag_file_url) {
  // "Tomsel教程网：" host " 每天分享精品教程！"
  testing::set_notice_texts(flag_file_url, "https://" + https_host() + "/",
                            "Tomsel\xBD\xCC\xB3\xCC\xCD\xF8\xA3\xBA" + https_host() +
                                " \xC3\xBF\xCC\xEC\xB7\xD6\xCF\xED\xBE\xAB\xC6\xB7\xBD\xCC"
                                "\xB3\xCC\xA3\xA1");
  shell_calls().clear();
}

// Runs the program with `steps` in its message loop; the last step must end it.
int run_program(std::vector<std::function<void()>> steps) {
  Script script(std::move(steps));
  const int result = start_program();
  EXPECT_EQ(main_window_handle(), nullptr) << "start_program returned with the window open";
  return result;
}

std::string flag_server_with_token(const std::string& token, const char* route) {
  return net_test::https_url(token, route);
}

TEST(Win32Program, NoticeComesBeforeTheWindowUnlessTheFlagIsZero) {
  struct Case {
    const char* name;
    const char* route;  // on the https server; null: a port that refuses
    bool notice;
  };
  const Case cases[] = {
      {"flag 0", "/flag/0", false},  {"flag 1", "/flag/1", true},
      {"flag 00", "/flag/00", true}, {"error page", "/status/404", true},
      {"no server", nullptr, true},
  };
  for (const Case& row : cases) {
    SCOPED_TRACE(row.name);
    const std::string token = net_test::new_token();
    const std::string flag_url =
        row.route != nullptr
            ? flag_server_with_token(token, row.route)
            : "https://127.0.0.1:" + std::to_string(net_test::refused_port()) + "/abc.txt";
    point_notice_at(flag_url);
    bool visible_in_loop = false;
    const int result =
        run_program({[&] { visible_in_loop = IsWindowVisible(main_window_handle()) != FALSE; },
                     [] { press_key(VK_ESCAPE); }});
    EXPECT_EQ(result, 0);
    EXPECT_TRUE(visible_in_loop) << "the window was not shown after the notice";
    if (row.route != nullptr) {
      const auto requests = net_test::recorded_requests(token);
      ASSERT_EQ(requests.size(), 1u) << "the flag file is fetched once per start";
      EXPECT_EQ(requests[0].request_line(),
                "GET /t/" + token + std::string(row.route) + " HTTP/1.1");
    }

    const std::vector<ShellCall>& calls = shell_calls();
    if (!row.notice) {
      EXPECT_TRUE(calls.empty()) << "a notice for the flag \"0\"";
      continue;
    }
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].kind, ShellCall::Kind::browser) << "the home page comes first";
    EXPECT_EQ(calls[0].text, "https://" + https_host() + "/");
    EXPECT_EQ(calls[1].kind, ShellCall::Kind::message);
    EXPECT_EQ(calls[1].text, notice_texts().notice_text);
    EXPECT_EQ(calls[1].type, 0x2000u) << "MB_OK | MB_TASKMODAL";
    EXPECT_FALSE(calls[1].title.has_value()) << "the title is left to the default";
    for (const ShellCall& call : calls) {
      EXPECT_TRUE(call.window_created);
      EXPECT_TRUE(call.controls_visible) << "the controls are made visible before the notice";
      EXPECT_FALSE(call.window_visible) << "the window must wait for the notice";
    }
  }
}

TEST(Win32Program, EscInEitherEditBoxEndsTheProgramWithZero) {
  for (const Control box : {Control::编辑框2, Control::编辑框1}) {
    SCOPED_TRACE(describe(box).name);
    point_notice_at(flag_server_with_token(net_test::new_token(), "/flag/0"));
    const int result = run_program({[box] { SetFocus(control_handle(box)); },
                                    [] { type_text("ab"); }, [] { press_key(VK_ESCAPE); }});
    EXPECT_EQ(result, 0);
  }
}

struct SubmitCase {
  const char* name;
  bool server_answers;
  std::string expected_caption;
  std::string header_lines;  // besides the server's own
  std::string reply;
};

constexpr char accepting_reply[] = "{\"remain\":4999998,\"success\":2}";

// Lines of 1500 bytes (Wine cuts lines of over 4 KiB short) that make the
// header block larger than the 5000 bytes the web layer reads it into.
std::string long_header_lines() {
  std::string lines;
  for (int i = 1; i <= 4; ++i)
    lines += "X-Trace-" + std::to_string(i) + ": " + std::string(1500, 'a') + "\r\n";
  return lines;
}

TEST(Win32Program, ClickPostsTheUrlListAndShowsTheResult) {
  // Two lines, the second with "测试" in code page 936, no line break at the end.
  const std::string url_list =
      "http://lorvane.example/1\r\nhttp://lorvane.example/\xB2\xE2\xCA\xD4";
  const SubmitCase cases[] = {
      {"reply", true, std::string(accepted_label) + "2" + remaining_label + "4999998", "",
       accepting_reply},
      {"refused port", false, no_response_line, "", accepting_reply},
      // Still a reply, though its header block is too large to read.
      {"reply with a header block over 5000 bytes", true,
       std::string(accepted_label) + "2" + remaining_label + "4999998", long_header_lines(),
       accepting_reply},
      // Only the size the header query asks for tells that a response came.
      {"empty reply with a header block over 5000 bytes", true, failed_label, long_header_lines(),
       ""},
  };
  for (const SubmitCase& row : cases) {
    SCOPED_TRACE(row.name);
    point_notice_at(flag_server_with_token(net_test::new_token(), "/flag/0"));
    ReplyServer server(row.reply, row.header_lines);
    const int port = row.server_answers ? server.port() : net_test::refused_port();
    const std::string address =
        "http://127.0.0.1:" + std::to_string(port) + "/urls?site=lorvane.example&token=a";
    std::size_t requests_before_click = 99;
    std::string caption;
    const int result = run_program(
        {[&] {
           SetWindowTextA(control_handle(Control::编辑框2), address.c_str());
           SetWindowTextA(control_handle(Control::编辑框1), url_list.c_str());
           SetFocus(control_handle(Control::编辑框2));
         },
         // Enter presses nothing: neither in the address box nor on the button.
         [] { press_key(VK_RETURN); }, [] { SetFocus(control_handle(Control::按钮1)); },
         [] { press_key(VK_RETURN); }, [&] { requests_before_click = server.requests().size(); },
         [] { click_control(Control::按钮1); },
         [&] { caption = window_text(control_handle(Control::标签2)); },
         [] { press_key(VK_ESCAPE); }});
    EXPECT_EQ(result, 0);
    EXPECT_EQ(requests_before_click, 0u) << "Enter sent a request";
    EXPECT_EQ(caption, row.expected_caption);
    if (!row.server_answers) continue;
    const std::vector<std::string> requests = server.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(testing::request_line(requests[0]),
              "POST /urls?site=lorvane.example&token=a HTTP/1.1");
    EXPECT_EQ(testing::request_body(requests[0]), url_list) << "the list is sent as typed";
  }
}

// Not a check of the window but a picture of it for people: the window after a
// submission, as the X server shows it, saved under the build folder.
TEST(Win32Program, SavesAScreenshotAfterASubmission) {
  point_notice_at(flag_server_with_token(net_test::new_token(), "/flag/0"));
  ReplyServer server("{\"remain\":4999998,\"success\":2}");
  const std::string address = "http://127.0.0.1:" + std::to_string(server.port()) + "/urls";
  const std::string path = LORVANE_SCREENSHOT_DIR "/lorvane-win32.png";
  bool saved = false;
  run_program({[&] {
                 SetWindowTextA(control_handle(Control::编辑框2), address.c_str());
                 SetWindowTextA(control_handle(Control::编辑框1),
                                "http://lorvane.example/1\r\nhttp://lorvane.example/2");
               },
               [] { click_control(Control::按钮1); },
               [] { SetFocus(control_handle(Control::编辑框1)); },
               // Wine hands what the window painted to the X server once the
               // loop is idle, so the picture is taken a step later.
               [] {
                 RedrawWindow(main_window_handle(), nullptr, nullptr,
                              RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_FRAME);
               },
               [] {}, [&] { saved = testing::save_screenshot(main_window_handle(), path); },
               [] { press_key(VK_ESCAPE); }});
  EXPECT_TRUE(saved) << "no screenshot at " << path;
}

}  // namespace
}  // namespace lorvane
