// lorvane-demo run as a child process on a free port: its answer to each rule.
#include <gtest/gtest.h>
#include <httplib.h>

#include <algorithm>
#include <string>

#include "tests/cli/child_process.h"
#include "tests/cli/raw_connection.h"

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
  void start(std::vector<std::string> arguments, bool keep_log = false) {
    demo_.emplace(demo_program, arguments, keep_log);
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

  // The request log's lines, once the demo has stopped.
  std::vector<std::string> log_lines() {
    std::vector<std::string> lines;
    std::string log = demo_->error_output();
    for (std::size_t start = 0; start < log.size();) {
      std::size_t end = log.find('\n', start);
      if (end == std::string::npos) end = log.size();
      std::string line = log.substr(start, end - start);
      if (line.rfind("lorvane-demo:", 0) != 0) lines.push_back(line);
      start = end + 1;
    }
    return lines;
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

// A request whose body does not come whole is refused and spends no quota,
// however its framing breaks off.
TEST_F(DemoInterface, CountsNothingForARequestCutShort) {
  struct Case {
    const char* name;
    std::string request;  // sent, then the client closes its side
  };
  const std::string head =
      "POST /urls?site=www.example.com&token=lorvane-demo HTTP/1.1\r\nHost: 127.0.0.1\r\n";
  const std::string two = "http://www.example.com/1\r\nhttp://www.example.com/2\r\n";
  const Case cases[] = {
      {"inside a chunk that announced 4 GiB",
       head + "Transfer-Encoding: chunked\r\n\r\n100000000\r\n" + two},
      {"after a whole chunk, before the last one",
       head + "Transfer-Encoding: chunked\r\n\r\n34\r\n" + two + "\r\n"},
      {"inside the size line of a chunk",
       head + "Transfer-Encoding: chunked\r\n\r\n34\r\n" + two + "\r\n1"},
      {"short of its Content-Length", head + "Content-Length: 1000\r\n\r\n" + two},
      {"one byte short of its Content-Length",
       head + "Content-Length: " + std::to_string(two.size() + 1) + "\r\n\r\n" + two},
  };
  start({"--port", "0", "--quota", "2"});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RawConnection connection(port_);
    ASSERT_TRUE(connection.send(c.request));
    connection.finish_sending();
    auto answer = connection.receive_response(std::chrono::seconds(10));
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->status, 400);
    EXPECT_EQ(answer->body, R"({"error":400,"message":"request cut short"})");
  }

  // Larger than the server takes once its chunked framing is off: refused
  // without being held whole.
  RawConnection large(port_);
  std::string framed = "100000\r\n" + std::string(1 << 20, 'x') + "\r\n";
  ASSERT_TRUE(large.send(head + "Transfer-Encoding: chunked\r\n\r\n"));
  for (int sent = 0; sent <= 16 && large.send(framed); ++sent) {
  }
  auto refused = large.receive_response(std::chrono::seconds(10));
  ASSERT_TRUE(refused);
  EXPECT_EQ(refused->status, 413);

  httplib::Client client("127.0.0.1", port_);
  httplib::Result whole = client.Post("/urls?site=www.example.com&token=lorvane-demo", two, form);
  ASSERT_TRUE(whole);
  EXPECT_EQ(whole->body, R"({"remain":0,"success":2})");
}

// What a request brings goes into the log escaped, so that it cannot drive
// the terminal or break the one line per request.
TEST_F(DemoInterface, LogsOneEscapedLinePerRequest) {
  struct Case {
    const char* name;
    std::string request;  // raw
    std::string logged;   // within the request's log line
  };
  auto post = [](const std::string& target) {
    return "POST " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
  };
  const Case cases[] = {
      {"an escape sequence in the path", post("/urls%1B%5B2J%1B]0;title%07"),
       "POST /urls\\x1B[2J\\x1B]0;title\\x07 -> 404 "},
      {"a line break in the site", post("/urls?site=a%0D%0A12:00:00%20http%20GET%20/&token=x"),
       "POST /urls site=a\\x0D\\x0A12:00:00 http GET / -> 401 "},
      {"a zero byte and DEL", post("/urls?site=a%00b%7Fc&token=x"), "site=a\\x00b\\x7Fc -> 401 "},
      {"UTF-8 text as it is", post("/urls?site=%E4%B8%AD%E6%96%87.example&token=x"),
       "site=\xE4\xB8\xAD\xE6\x96\x87.example -> 401 "},
      {"a C1 control in UTF-8", post("/urls?site=a%C2%9Bb&token=x"), "site=a\\xC2\\x9Bb -> 401 "},
      {"code page 936 text in UTF-8", post("/urls?site=%D6%D0%CE%C4.cn&token=x"),
       "site=\xE4\xB8\xAD\xE6\x96\x87.cn -> 401 "},
      {"a backslash doubled", post("/urls?site=a%5Cx1B&token=x"), "site=a\\\\x1B -> 401 "},
      {"a header value", "POST /urls HTTP/1.1\r\nContent-Length: 1\x1B[8m\r\n\r\n",
       "POST /urls (1\\x1B[8m bytes) -> 400 "},
      {"junk instead of a request", std::string("\x1B[31m\0junk\r\n\r\n", 13), "http   -> 400 "},
  };
  start({"--port", "0"}, true);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RawConnection connection(port_);
    ASSERT_TRUE(connection.send(c.request));
    ASSERT_TRUE(connection.receive_response(std::chrono::seconds(10)));
  }
  ASSERT_EQ(demo_->stop(), 0);
  std::vector<std::string> lines = log_lines();
  demo_.reset();
  // A line is written once its answer has gone out, so the lines of
  // requests in turn may come in another order.
  ASSERT_EQ(lines.size(), std::size(cases));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [&](const std::string& line) {
                              return line.find(c.logged) != std::string::npos;
                            }),
              1);
  }
  for (const std::string& line : lines) {
    EXPECT_TRUE(std::none_of(line.begin(), line.end(), [](char byte) {
      return static_cast<unsigned char>(byte) < 0x20 || byte == 0x7F;
    })) << line;
  }
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
