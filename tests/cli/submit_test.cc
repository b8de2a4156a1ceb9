// lorvane-submit run as a child process against loopback servers: what goes
// on the wire, what is printed, and the exit status.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/cli/child_process.h"
#include "tests/support/scripted_server.h"
#include "tests/support/test_servers.h"

namespace lorvane::testing {
namespace {

using namespace std::string_literals;
using test::HangingUpServer;
using test::RecordedRequest;
using test::refused_port;

// The submission interface as these tests meet it: it accepts two URLs and
// has 99 left, until told otherwise.
class InterfaceServer : public test::ScriptedServer {
 public:
  InterfaceServer() : ScriptedServer(Scheme::http, 200, R"({"remain":99,"success":2})") {}
  std::string address() const {
    return ScriptedServer::address("/urls?site=www.example.com&token=t");
  }
};

const std::string submit_program = LORVANE_SUBMIT_PROGRAM;
const std::string demo_program = LORVANE_DEMO_PROGRAM;

// The result-line labels in UTF-8, as printed.
const std::string accepted_label = "\xE6\x8F\x90\xE4\xBA\xA4\xE6\x88\x90\xE5\x8A\x9F\xEF\xBC\x9A";
const std::string remaining_label = " \xE5\x89\xA9\xE4\xBD\x99\xE9\xA2\x9D\xE5\xBA\xA6\xEF\xBC\x9A";
const std::string failed_label = "\xE6\x8F\x90\xE4\xBA\xA4\xE5\xA4\xB1\xE8\xB4\xA5\xEF\xBC\x9A";
const std::string cannot_connect =
    "\xE6\x97\xA0\xE6\xB3\x95\xE8\xBF\x9E\xE6\x8E\xA5\xE6\x8E\xA5\xE5\x8F\xA3";

// 中文 in UTF-8 and in code page 936
const std::string chinese_utf8 = "\xE4\xB8\xAD\xE6\x96\x87";
const std::string chinese_cp936 = "\xD6\xD0\xCE\xC4";

// A folder of this test process's own, so that parallel runs never share files.
std::filesystem::path temporary_folder() {
  std::filesystem::path folder =
      std::filesystem::path(::testing::TempDir()) / ("lorvane-cli-" + std::to_string(getpid()));
  std::filesystem::create_directories(folder);
  return folder;
}

std::string temporary_file(const std::string& name, const std::string& content) {
  std::filesystem::path path = temporary_folder() / name;
  std::ofstream(path, std::ios::binary) << content;
  return path.string();
}

TEST(SubmitCommand, SendsTheLinesJoinedWithCrLfInCodePage936) {
  struct Case {
    const char* name;
    std::string input;
    std::string body;  // as it must arrive
  };
  const Case cases[] = {
      {"LF", "http://www.example.com/1\nhttp://www.example.com/2",
       "http://www.example.com/1\r\nhttp://www.example.com/2"},
      {"LF, final break", "http://www.example.com/1\nhttp://www.example.com/2\n",
       "http://www.example.com/1\r\nhttp://www.example.com/2"},
      {"CR LF", "http://www.example.com/1\r\nhttp://www.example.com/2",
       "http://www.example.com/1\r\nhttp://www.example.com/2"},
      {"CR LF, final break", "http://www.example.com/1\r\nhttp://www.example.com/2\r\n",
       "http://www.example.com/1\r\nhttp://www.example.com/2"},
      {"empty lines kept", "a\n\n b \n\n", "a\r\n\r\n b \r\n"},
      {"Chinese", "http://www.example.com/" + chinese_utf8 + "\n" + chinese_utf8 + "\n",
       "http://www.example.com/" + chinese_cp936 + "\r\n" + chinese_cp936},
      {"empty list, still sent", "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    InterfaceServer server;
    Finished finished = run_program(submit_program, {server.address()}, c.input);
    EXPECT_EQ(finished.exit_status, 0) << finished.err;
    EXPECT_EQ(finished.out, accepted_label + "2" + remaining_label + "99\n");
    std::vector<RecordedRequest> requests = server.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].method, "POST");
    EXPECT_EQ(requests[0].target, "/urls?site=www.example.com&token=t");
    EXPECT_EQ(requests[0].content_type, "application/x-www-form-urlencoded");
    EXPECT_EQ(requests[0].body, c.body);
  }
}

TEST(SubmitCommand, ReadsTheListFromAFileOrFromDash) {
  InterfaceServer server;
  std::string file = temporary_file("list.txt", "http://a/1\r\nhttp://a/2\r\n");
  EXPECT_EQ(run_program(submit_program, {server.address(), file}, "ignored").exit_status, 0);
  EXPECT_EQ(run_program(submit_program, {server.address(), "-"}, "http://a/3\n").exit_status, 0);
  // "--" ends the options, so a list may be named "--verbose".
  temporary_file("--verbose", "http://a/4");
  std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::current_path(temporary_folder());
  EXPECT_EQ(run_program(submit_program, {"--", server.address(), "--verbose"}).exit_status, 0);
  std::filesystem::current_path(previous);
  std::vector<RecordedRequest> requests = server.requests();
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_EQ(requests[0].body, "http://a/1\r\nhttp://a/2");
  EXPECT_EQ(requests[1].body, "http://a/3");
  EXPECT_EQ(requests[2].body, "http://a/4");
  std::filesystem::remove_all(temporary_folder());
}

TEST(SubmitCommand, PrintsTheResultLineAndExitsByTheReply) {
  struct Case {
    const char* name;
    int status;
    std::string reply;
    int exit_status;
    std::string printed;
  };
  const std::string replacement = "\xEF\xBF\xBD";
  const Case cases[] = {
      {"accepted", 200, R"({"remain":4999998,"success":2})", 0,
       accepted_label + "2" + remaining_label + "4999998"},
      {"keys in the other order, closing brace on its own line", 200,
       "{\"success\":7,\r\n\"remain\":0\r\n}", 0, accepted_label + "7" + remaining_label + "0"},
      {"accepted whatever the status", 500, R"({"success":1,"remain":5})", 0,
       accepted_label + "1" + remaining_label + "5"},
      {"token refused", 401, R"({"error":401,"message":"token is not valid"})", 1,
       failed_label + R"({"error":401,"message":"token is not valid"})"},
      {"over quota", 400, R"({"error":400,"message":"over quota"})", 1,
       failed_label + R"({"error":400,"message":"over quota"})"},
      {"empty reply: the status line", 404, "", 1, failed_label + "HTTP/1.1 404 Not Found"},
      {"line breaks shown as spaces", 503, "busy\r\nretry", 1, failed_label + "busy  retry"},
      {"Chinese reply", 400, chinese_cp936, 1, failed_label + chinese_utf8},
      {"terminal controls defused", 400, "\x1B]0;owned\x07x", 1,
       failed_label + replacement + "]0;owned" + replacement + "x"},
      {"bytes of no character", 400, "\xFF\xFE", 1, failed_label + replacement + replacement},
  };
  InterfaceServer server;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    server.reply_with(c.status, c.reply);
    Finished finished = run_program(submit_program, {server.address()}, "http://a/1\n");
    EXPECT_EQ(finished.exit_status, c.exit_status) << finished.err;
    EXPECT_EQ(finished.out, c.printed + "\n");
    EXPECT_EQ(finished.err, "");
  }
}

// A response whose header block is over 5000 bytes is read like any other:
// the interface has answered (and may have spent quota), so it is never
// "cannot connect".
TEST(SubmitCommand, AReplyWithAHeaderBlockOver5000BytesIsRead) {
  struct Case {
    const char* name;
    int status;
    std::string reply;
    int exit_status;
    std::string printed;
    std::string verbose_status;
  };
  const std::string unread = "(no status line: the header block was not read)";
  const Case cases[] = {
      {"accepted", 200, R"({"remain":6,"success":2})", 0,
       accepted_label + "2" + remaining_label + "6", unread},
      {"an empty reply", 500, "", 1, failed_label, unread},
      {"a small block as before", 200, R"({"remain":6,"success":2})", 0,
       accepted_label + "2" + remaining_label + "6", "HTTP/1.1 200 OK"},
  };
  InterfaceServer server;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    server.reply_with(c.status, c.reply,
                      c.verbose_status == unread ? test::long_header_lines(6000)
                                                 : test::ScriptedServer::HeaderLines{});
    Finished finished =
        run_program(submit_program, {"--verbose", server.address()}, "http://a/1\n");
    EXPECT_EQ(finished.exit_status, c.exit_status) << finished.err;
    EXPECT_EQ(finished.out, c.printed + "\n");
    EXPECT_EQ(finished.err, c.verbose_status + "\n" + c.reply + "\n");
  }
}

TEST(SubmitCommand, ExitsWithTwoWhenNoResponseComes) {
  HangingUpServer hanging_up;
  const std::string addresses[] = {
      "http://127.0.0.1:" + std::to_string(refused_port()) + "/urls",
      "http://127.0.0.1:" + std::to_string(hanging_up.port()) + "/urls",
  };
  for (const std::string& address : addresses) {
    SCOPED_TRACE(address);
    Finished finished = run_program(submit_program, {address}, "http://a/1\n");
    EXPECT_EQ(finished.exit_status, 2);
    EXPECT_EQ(finished.out, failed_label + cannot_connect + "\n");
  }
  EXPECT_GE(hanging_up.connections(), 1);
}

TEST(SubmitCommand, VerboseWritesTheStatusLineAndReplyToStandardError) {
  InterfaceServer server;
  server.reply_with(200, "{\"remain\":3,\r\n\"success\":1}");
  Finished finished = run_program(submit_program, {"--verbose", server.address()}, "http://a/1");
  EXPECT_EQ(finished.exit_status, 0);
  EXPECT_EQ(finished.out, accepted_label + "1" + remaining_label + "3\n");
  EXPECT_EQ(finished.err, "HTTP/1.1 200 OK\n{\"remain\":3,\xEF\xBF\xBD\n\"success\":1}\n");

  Finished unanswered =
      run_program(submit_program,
                  {"http://127.0.0.1:" + std::to_string(refused_port()) + "/", "--verbose"}, "x");
  EXPECT_EQ(unanswered.exit_status, 2);
  EXPECT_EQ(unanswered.err, "(no response)\n");
}

TEST(SubmitCommand, RefusesBadInputAndUsageErrorsWithoutSending) {
  struct Case {
    const char* name;
    std::vector<std::string> arguments;  // "ADDRESS" stands for the server's address
    std::string input;
    std::string message;  // part of what standard error must say
  };
  const Case cases[] = {
      {"invalid UTF-8",
       {"ADDRESS"},
       "http://a/1\nhttp://a/\xC3\x28\n",
       "standard input, line 2: not valid UTF-8 (byte 0xC3); nothing was sent"},
      {"an emoji",
       {"ADDRESS"},
       "http://a/1\r\nhttp://a/2\r\nhttp://a/\xF0\x9F\x98\x80\r\n",
       "standard input, line 3: character U+1F600 cannot be written in code page 936"},
      {"a zero byte", {"ADDRESS", "-"}, "http://a/1\x00"s, "line 1: a zero byte"},
      {"no address", {}, "http://a/1", "no interface address given"},
      {"unreadable file",
       {"ADDRESS", "/nonexistent/list.txt"},
       "",
       "cannot open /nonexistent/list.txt: No such file or directory"},
      {"a folder for a file", {"ADDRESS", "/"}, "", "cannot read /: Is a directory"},
      {"too many arguments", {"ADDRESS", "a", "b"}, "", "too many arguments"},
      {"unknown option", {"--fast", "ADDRESS"}, "", "unknown option --fast"},
      {"an address code page 936 cannot hold",
       {"http://127.0.0.1:1/\xF0\x9F\x98\x80"},
       "x",
       "the address is refused: character U+1F600 cannot be written in code page 936"},
  };
  InterfaceServer server;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> arguments = c.arguments;
    for (std::string& argument : arguments) {
      if (argument == "ADDRESS") argument = server.address();
    }
    Finished finished = run_program(submit_program, arguments, c.input);
    EXPECT_EQ(finished.exit_status, 64);
    EXPECT_EQ(finished.out, "");
    EXPECT_NE(finished.err.find(c.message), std::string::npos) << finished.err;
  }
  EXPECT_TRUE(server.requests().empty());
}

TEST(SubmitCommand, HelpPrintsTheUsage) {
  Finished finished = run_program(submit_program, {"--help"});
  EXPECT_EQ(finished.exit_status, 0);
  EXPECT_EQ(finished.out.rfind("Usage: lorvane-submit [--verbose] ADDRESS [FILE]\n", 0), 0u);
}

TEST(SubmitCommand, PostsALongListInOneRequest) {
  std::string input;
  std::string body;
  for (int line = 1; line <= 100000; ++line) {
    std::string url = "http://www.example.com/article/" + std::to_string(line) + ".html";
    input += url + "\n";
    body += (line > 1 ? "\r\n" : "") + url;
  }
  InterfaceServer server;
  Finished finished = run_program(submit_program, {server.address()}, input);
  EXPECT_EQ(finished.exit_status, 0);
  std::vector<RecordedRequest> requests = server.requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].body.size(), body.size());
  EXPECT_TRUE(requests[0].body == body);
}

// The demo interface started on a free port, stopped with the test.
class SubmitToDemo : public ::testing::Test {
 protected:
  SubmitToDemo() : demo_(demo_program, {"--port", "0", "--quota", "3"}) {
    std::string prefix = "lorvane-demo: listening on ";
    EXPECT_EQ(demo_.first_line().rfind(prefix, 0), 0u) << demo_.first_line();
    base_ = demo_.first_line().substr(prefix.size());
  }
  ~SubmitToDemo() override { EXPECT_EQ(demo_.stop(), 0); }

  Background demo_;
  std::string base_;
};

TEST_F(SubmitToDemo, ShowsWhatTheInterfaceAnswers) {
  struct Case {
    const char* name;
    std::string path;
    std::string input;
    int exit_status;
    std::string printed;
  };
  const std::string submit = "/urls?site=www.example.com&token=lorvane-demo";
  const Case cases[] = {
      {"two accepted, one of another site", submit,
       "http://www.example.com/1\nhttps://www.example.com/" + chinese_utf8 +
           "\nhttp://other.example/3\n",
       0, accepted_label + "2" + remaining_label + "1"},
      {"over quota", submit, "http://www.example.com/4\nhttp://www.example.com/5\n", 1,
       failed_label + R"({"error":400,"message":"over quota"})"},
      {"the last one", submit, "http://www.example.com/6\r\n", 0,
       accepted_label + "1" + remaining_label + "0"},
      {"wrong token", "/urls?site=www.example.com&token=x", "http://www.example.com/7", 1,
       failed_label + R"({"error":401,"message":"token is not valid"})"},
      {"no site", "/urls?token=lorvane-demo", "http://www.example.com/7", 1,
       failed_label + R"({"error":400,"message":"site error"})"},
      {"empty list", submit, "", 1, failed_label + R"({"error":400,"message":"empty content"})"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Finished finished = run_program(submit_program, {base_ + c.path}, c.input);
    EXPECT_EQ(finished.exit_status, c.exit_status) << finished.err;
    EXPECT_EQ(finished.out, c.printed + "\n");
  }
}

}  // namespace
}  // namespace lorvane::testing
