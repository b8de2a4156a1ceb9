// lorvane-demo run as a child process on a free port: its answer to each rule.
#include <gtest/gtest.h>
#include <httplib.h>

#include <string>

#include "tests/cli/child_process.h"

namespace lorvane::testing {
namespace {

const std::string demo_program = LORVANE_DEMO_PROGRAM;
constexpr char form[] = "application/x-www-form-urlencoded";  // what Lorvane sends

std::string numbered_urls(int count) {
  std::string urls;
  for (int line = 1; line <= count; ++line) {
    urls += "http://www.example.com/" + std::to_string(line) + "\r\n";
  }
  return urls;
}

class DemoInterface : public ::testing::Test {
 protected:
  void start(std::vector<std::string> arguments) {
    demo_.emplace(demo_program, arguments);
    std::string prefix = "lorvane-demo: listening on http://127.0.0.1:";
    ASSERT_EQ(demo_->first_line().rfind(prefix, 0), 0u) << demo_->first_line();
    port_ = std::stoi(demo_->first_line().substr(prefix.size()));
    ASSERT_GT(port_, 0);
  }
  // Stopped by SIGTERM, the demo ends cleanly.
  void TearDown() override {
    if (demo_) {
      EXPECT_EQ(demo_->stop(), 0);
    }
  }

  std::optional<Background> demo_;
  int port_ = 0;
};

TEST_F(DemoInterface, AnswersEachRule) {
  struct Case {
    const char* name;
    std::string path;
    std::string body;
    int status;
    std::string reply;
  };
  const std::string submit = "/urls?site=www.example.com&token=lorvane-demo";
  const Case cases[] = {
      {"accepted, with the turned-away lines", submit,
       "http://www.example.com/a\r\n"
       "HTTPS://WWW.EXAMPLE.COM:8443/b?c=d\r\n"
       "\r\n"  // empty lines are skipped
       "http://www.example.com.evil.example/c\r\n"
       "ftp://www.example.com/d\r\n"
       "www.example.com/e\r\n"
       "http://www.example.com/\xD6\xD0\xCE\xC4 \"q\"\\\n"  // 中文, a space, a quote, a backslash
       "http://www.example.com:99999/f\n"
       "http://user@www.example.com/g",
       200,
       R"({"remain":8,"success":2,"not_same_site":["http://www.example.com.evil.example/c"],)"
       R"("not_valid":["ftp://www.example.com/d","www.example.com/e",)"
       R"("http://www.example.com/\u4E2D\u6587 \"q\"\\","http://www.example.com:99999/f",)"
       R"("http://user@www.example.com/g"]})"},
      {"LF only, one line", submit, "http://www.example.com/h\n", 200,
       R"({"remain":7,"success":1})"},
      {"nothing accepted", submit, "http://other.example/i", 200,
       R"({"remain":7,"success":0,"not_same_site":["http://other.example/i"]})"},
      {"no token", "/urls?site=www.example.com", "http://www.example.com/j", 401,
       R"({"error":401,"message":"token is not valid"})"},
      {"wrong token", "/urls?site=www.example.com&token=lorvane", "http://www.example.com/j", 401,
       R"({"error":401,"message":"token is not valid"})"},
      {"no site", "/urls?token=lorvane-demo", "http://www.example.com/j", 400,
       R"({"error":400,"message":"site error"})"},
      {"empty site", "/urls?site=&token=lorvane-demo", "http://www.example.com/j", 400,
       R"({"error":400,"message":"site error"})"},
      {"a form body cannot supply the site", "/urls?token=lorvane-demo", "site=www.example.com",
       400, R"({"error":400,"message":"site error"})"},
      {"empty content", submit, "", 400, R"({"error":400,"message":"empty content"})"},
      {"only line breaks", submit, "\r\n\n\r\n", 400, R"({"error":400,"message":"empty content"})"},
      {"more than 2000 lines", submit, numbered_urls(2001), 400,
       R"({"error":400,"message":"only 2000 urls are allowed once"})"},
      {"more than the quota left", submit, numbered_urls(8), 400,
       R"({"error":400,"message":"over quota"})"},
      {"exactly the quota left", submit, numbered_urls(7), 200, R"({"remain":0,"success":7})"},
      {"the quota used up", submit, "http://other.example/k", 400,
       R"({"error":400,"message":"over quota"})"},
      {"another path", "/submit?site=www.example.com&token=lorvane-demo", "x", 404,
       R"({"error":404,"message":"not found"})"},
  };
  start({"--port", "0", "--quota", "10"});
  httplib::Client client("127.0.0.1", port_);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    httplib::Result result = client.Post(c.path.c_str(), c.body, form);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->status, c.status);
    EXPECT_EQ(result->body, c.reply);
  }
}

TEST_F(DemoInterface, TakesTwoThousandLinesInOneForm) {
  start({"--port", "0"});
  httplib::Client client("127.0.0.1", port_);
  httplib::Result result =
      client.Post("/urls?site=www.example.com&token=lorvane-demo", numbered_urls(2000), form);
  ASSERT_TRUE(result);
  EXPECT_EQ(result->status, 200);
  EXPECT_EQ(result->body, R"({"remain":98000,"success":2000})");
}

TEST_F(DemoInterface, AnswersTheNoticeFlagWithZero) {
  start({"--port", "0"});
  httplib::Client client("127.0.0.1", port_);
  httplib::Result flag = client.Get("/abc.txt");
  ASSERT_TRUE(flag);
  EXPECT_EQ(flag->status, 200);
  EXPECT_EQ(flag->body, "0");
  httplib::Result other = client.Get("/urls");
  ASSERT_TRUE(other);
  EXPECT_EQ(other->status, 404);
}

TEST(DemoCommandLine, RefusesBadArgumentsAndABusyPort) {
  struct Case {
    std::vector<std::string> arguments;
    int exit_status;
  };
  const Case cases[] = {
      {{"--port"}, 64},          {{"--port", "65536"}, 64},     {{"--port", "-1"}, 64},
      {{"--quota", "many"}, 64}, {{"--listen", "0.0.0.0"}, 64},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments[0] + (c.arguments.size() > 1 ? " " + c.arguments[1] : ""));
    Finished finished = run_program(demo_program, c.arguments);
    EXPECT_EQ(finished.exit_status, c.exit_status);
    EXPECT_NE(finished.err.find("Usage: lorvane-demo"), std::string::npos);
  }

  Background first(demo_program, {"--port", "0"});
  std::string port = first.first_line().substr(first.first_line().rfind(':') + 1);
  // Started in the background, so that a demo that wrongly shares the port
  // fails the test instead of running on.
  Background second(demo_program, {"--port", port});
  EXPECT_EQ(second.first_line(), "");
  EXPECT_EQ(second.stop(), 1);
  EXPECT_EQ(first.stop(), 0);
}

}  // namespace
}  // namespace lorvane::testing
