// lorvane-demo run as a child process on a free port: its answer to each rule.
#include <gtest/gtest.h>
#include <httplib.h>

#include <algorithm>
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
    if (std::find(arguments.begin(), arguments.end(), "--tls-port") != arguments.end()) {
      std::string line = demo_->next_line();
      std::string tls_prefix = "lorvane-demo: listening on https://127.0.0.1:";
      ASSERT_EQ(line.rfind(tls_prefix, 0), 0u) << line;
      tls_port_ = std::stoi(line.substr(tls_prefix.size()));
      ASSERT_GT(tls_port_, 0);
      ASSERT_NE(tls_port_, port_);
    }
  }
  // A client of either listener; the demo's certificate is its own, unverified
  // like every client of it (the start-up notice, lorvane-submit).
  httplib::Client client(bool tls) {
    httplib::Client made((tls ? "https://127.0.0.1:" : "http://127.0.0.1:") +
                         std::to_string(tls ? tls_port_ : port_));
    made.enable_server_certificate_verification(false);
    return made;
  }
  // Stopped by SIGTERM, the demo ends cleanly.
  void TearDown() override {
    if (demo_) {
      EXPECT_EQ(demo_->stop(), 0);
    }
  }

  std::optional<Background> demo_;
  int port_ = 0;
  int tls_port_ = 0;
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

// Both listeners answer every route alike and draw on one quota.
TEST_F(DemoInterface, HttpsListenerSharesTheRoutesAndTheQuota) {
  struct Case {
    const char* name;
    bool tls;
    bool post;
    std::string path;
    std::string body;
    int status;
    std::string reply;
  };
  const std::string submit = "/urls?site=www.example.com&token=lorvane-demo";
  const std::string two = "http://www.example.com/1\r\nhttps://www.example.com/2";
  const Case cases[] = {
      {"https: the notice flag", true, false, "/abc.txt", "", 200, "0"},
      {"http: the notice flag", false, false, "/abc.txt", "", 200, "0"},
      {"https: two accepted", true, true, submit, two, 200, R"({"remain":3,"success":2})"},
      {"http: two more", false, true, submit, two, 200, R"({"remain":1,"success":2})"},
      {"https: over the quota left", true, true, submit, two, 400,
       R"({"error":400,"message":"over quota"})"},
      {"http: over the quota left", false, true, submit, two, 400,
       R"({"error":400,"message":"over quota"})"},
      {"https: wrong token", true, true, "/urls?site=www.example.com&token=x", two, 401,
       R"({"error":401,"message":"token is not valid"})"},
      {"https: another path", true, false, "/urls", "", 404,
       R"({"error":404,"message":"not found"})"},
      {"https: the last one", true, true, submit, "http://www.example.com/3", 200,
       R"({"remain":0,"success":1})"},
      {"http: the quota used up", false, true, submit, "http://www.example.com/4", 400,
       R"({"error":400,"message":"over quota"})"},
  };
  start({"--port", "0", "--tls-port", "0", "--quota", "5"});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    httplib::Client to = client(c.tls);
    httplib::Result result = c.post ? to.Post(c.path.c_str(), c.body, form) : to.Get(c.path);
    ASSERT_TRUE(result) << httplib::to_string(result.error());
    EXPECT_EQ(result->status, c.status);
    EXPECT_EQ(result->body, c.reply);
  }
}

// Through the program's own network code, which sees no certificate errors.
TEST_F(DemoInterface, TakesASubmissionFromLorvaneSubmitOverHttps) {
  start({"--port", "0", "--tls-port", "0", "--quota", "3"});
  const std::string query = "/urls?site=www.example.com&token=lorvane-demo";
  const std::string https_address = "https://127.0.0.1:" + std::to_string(tls_port_) + query;
  const std::string http_address = "http://127.0.0.1:" + std::to_string(port_) + query;
  // 提交成功：2 剩余额度：1, then 提交成功：1 剩余额度：0, in UTF-8
  const std::string accepted = "\xE6\x8F\x90\xE4\xBA\xA4\xE6\x88\x90\xE5\x8A\x9F\xEF\xBC\x9A";
  const std::string remaining = " \xE5\x89\xA9\xE4\xBD\x99\xE9\xA2\x9D\xE5\xBA\xA6\xEF\xBC\x9A";
  Finished over_https = run_program(LORVANE_SUBMIT_PROGRAM, {https_address},
                                    "http://www.example.com/1\nhttp://www.example.com/2\n");
  EXPECT_EQ(over_https.exit_status, 0) << over_https.err;
  EXPECT_EQ(over_https.out, accepted + "2" + remaining + "1\n");
  Finished over_http =
      run_program(LORVANE_SUBMIT_PROGRAM, {http_address}, "http://www.example.com/3\n");
  EXPECT_EQ(over_http.exit_status, 0) << over_http.err;
  EXPECT_EQ(over_http.out, accepted + "1" + remaining + "0\n");
}

TEST(DemoCommandLine, RefusesBadArgumentsAndABusyPort) {
  struct Case {
    std::vector<std::string> arguments;
    int exit_status;
  };
  const Case cases[] = {
      {{"--port"}, 64},
      {{"--port", "65536"}, 64},
      {{"--port", "-1"}, 64},
      {{"--quota", "many"}, 64},
      {{"--listen", "0.0.0.0"}, 64},
      {{"--tls-port"}, 64},
      {{"--tls-port", "65536"}, 64},
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

  // A busy https port fails the start as well, although the http port was free.
  Background with_tls(demo_program, {"--port", "0", "--tls-port", "0"});
  std::string line = with_tls.next_line();
  std::string tls_port = line.substr(line.rfind(':') + 1);
  ASSERT_EQ(line, "lorvane-demo: listening on https://127.0.0.1:" + tls_port);
  Background tls_taken(demo_program, {"--port", "0", "--tls-port", tls_port});
  EXPECT_EQ(tls_taken.first_line(), "");
  EXPECT_EQ(tls_taken.stop(), 1);
  EXPECT_EQ(with_tls.stop(), 0);
}

}  // namespace
}  // namespace lorvane::testing
