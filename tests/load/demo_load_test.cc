// lorvane-demo run as a child process under load: many clients at once over
// both listeners, slow clients among them, and a stop among connections that
// are idle, slow, half-sent or junk. The preset tsan runs the same tests
// against a ThreadSanitizer build of the demo, whose report would end it
// with exit status 66.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "tests/cli/child_process.h"
#include "tests/cli/raw_connection.h"

namespace lorvane::testing {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

const std::string demo_program = LORVANE_DEMO_PROGRAM;
const std::string submit_target = "/urls?site=www.example.com&token=lorvane-demo";

struct Demo {
  std::optional<Background> process;
  int port = 0;
  int tls_port = 0;
};

int port_of(const std::string& line, const std::string& scheme) {
  std::string prefix = "lorvane-demo: listening on " + scheme + "://127.0.0.1:";
  return line.rfind(prefix, 0) == 0 ? std::stoi(line.substr(prefix.size())) : 0;
}

void start(Demo& demo, std::vector<std::string> arguments) {
  arguments.insert(arguments.end(), {"--port", "0", "--tls-port", "0"});
  demo.process.emplace(demo_program, arguments, true);
  demo.port = port_of(demo.process->first_line(), "http");
  demo.tls_port = port_of(demo.process->next_line(), "https");
  ASSERT_GT(demo.port, 0) << demo.process->error_output();
  ASSERT_GT(demo.tls_port, 0) << demo.process->error_output();
}

std::string post_request(const std::string& body) {
  return "POST " + submit_target +
         " HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: " + std::to_string(body.size()) +
         "\r\n\r\n" + body;
}

// `count` URLs of the site and one of another, in the form Lorvane sends.
std::string url_list(int client, int request, int count) {
  std::string body;
  for (int i = 0; i < count; ++i) {
    body += "http://www.example.com/" + std::to_string(client) + "/" + std::to_string(request) +
            "/" + std::to_string(i) + "\r\n";
  }
  return body + "http://other.example/" + std::to_string(client);
}

// The number after `"key":` in a reply; -1 when absent.
long long number_after(const std::string& reply, const std::string& key) {
  std::size_t at = reply.find("\"" + key + "\":");
  return at == std::string::npos ? -1 : std::stoll(reply.substr(at + key.size() + 3));
}

// The request log's lines: those that begin with a clock.
std::vector<std::string> log_lines(const std::string& log) {
  std::vector<std::string> lines;
  for (std::size_t start = 0; start < log.size();) {
    std::size_t end = std::min(log.find('\n', start), log.size());
    std::string line = log.substr(start, end - start);
    if (line.size() > 9 && line[2] == ':' && line[5] == ':' && line[8] == ' ')
      lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

struct Slow {
  bool trickles_body;         // otherwise the whole request, from its first byte
  std::optional<int> status;  // of the answer it got, if any
  bool cut = false;           // the server ended the connection
  Clock::time_point began;
  Clock::time_point cut_at;
};

// Sends one byte a second until the server answers or closes.
void trickle(int port, bool tls, Slow& slow) {
  RawConnection connection(port, tls);
  std::string request = post_request(url_list(0, 0, 30));
  std::size_t sent = 0;
  if (slow.trickles_body) {
    sent = request.find("\r\n\r\n") + 4;
    connection.send(request.substr(0, sent));
  }
  slow.began = Clock::now();
  while (sent < request.size() && Clock::now() - slow.began < 60s) {
    if (!connection.send(request.substr(sent++, 1))) break;
    std::optional<RawResponse> answer = connection.receive_response(1s);
    if (answer) {
      slow.status = answer->status;
      break;
    }
  }
  slow.cut = connection.closed_by_server(5s);
  slow.cut_at = Clock::now();
}

TEST(DemoUnderLoad, KeepsTheQuotaExactForSixtyFourClients) {
  constexpr int clients = 64;
  constexpr int requests_each = 5;  // on one kept-alive connection
  constexpr int urls_each = 5;
  constexpr int quota = 1000;  // 200 of the 320 requests fit
  Demo demo;
  ASSERT_NO_FATAL_FAILURE(start(demo, {"--quota", std::to_string(quota)}));

  std::vector<Slow> slow(8);
  std::vector<std::thread> slow_threads;
  for (std::size_t i = 0; i < slow.size(); ++i) {
    slow[i].trickles_body = i % 2 == 0;
    slow_threads.emplace_back(trickle, i < 4 ? demo.port : demo.tls_port, i >= 4,
                              std::ref(slow[i]));
  }
  std::this_thread::sleep_for(500ms);

  std::mutex answers_mutex;
  std::vector<RawResponse> answers;
  std::atomic<int> unanswered = 0;
  std::vector<std::thread> fast;
  for (int client = 0; client < clients; ++client) {
    fast.emplace_back([&, client] {
      try {
        RawConnection connection(client % 2 == 0 ? demo.port : demo.tls_port, client % 2 != 0);
        for (int request = 0; request < requests_each; ++request) {
          std::optional<RawResponse> answer;
          if (connection.send(post_request(url_list(client, request, urls_each)))) {
            answer = connection.receive_response(60s);
          }
          if (!answer) {
            unanswered += requests_each - request;
            return;
          }
          std::lock_guard lock(answers_mutex);
          answers.push_back(*answer);
        }
      } catch (const std::exception&) {
        unanswered += requests_each;
      }
    });
  }
  for (std::thread& thread : fast) thread.join();
  Clock::time_point fast_done = Clock::now();
  for (std::thread& thread : slow_threads) thread.join();

  // No request lost, and the quota spent exactly: each accepted request
  // left its own remainder.
  EXPECT_EQ(unanswered, 0);
  ASSERT_EQ(answers.size(), std::size_t{clients * requests_each} - unanswered);
  long long accepted = 0;
  std::set<long long> remainders;
  int over_quota = 0;
  for (const RawResponse& answer : answers) {
    if (answer.status == 200) {
      EXPECT_EQ(number_after(answer.body, "success"), urls_each) << answer.body;
      accepted += number_after(answer.body, "success");
      remainders.insert(number_after(answer.body, "remain"));
    } else {
      EXPECT_EQ(answer.body, R"({"error":400,"message":"over quota"})");
      ++over_quota;
    }
  }
  EXPECT_EQ(accepted, quota);
  EXPECT_EQ(over_quota, clients * requests_each - quota / urls_each);
  std::set<long long> expected;
  for (long long left = 0; left < quota; left += urls_each) expected.insert(left);
  EXPECT_EQ(remainders, expected);

  // The slow clients were cut off after the bound of a request, answered
  // (cut short in the body, cut off in the first line), and the others were
  // served meanwhile.
  for (const Slow& client : slow) {
    SCOPED_TRACE(client.trickles_body ? "trickling its body" : "trickling its first line");
    EXPECT_TRUE(client.cut);
    EXPECT_EQ(client.status, client.trickles_body ? 400 : 408);
    EXPECT_LT(client.cut_at - client.began, 30s);
    EXPECT_LT(fast_done, client.cut_at);
  }

  // The demo ends cleanly at SIGTERM, without a ThreadSanitizer report, and
  // has logged one line per request.
  std::optional<int> status = demo.process->stop(SIGTERM, 10s);
  std::string log = demo.process->error_output();
  EXPECT_EQ(status, 0) << log.substr(0, 20000);
  EXPECT_EQ(log.find("ThreadSanitizer"), std::string::npos) << log.substr(0, 20000);
  EXPECT_EQ(log_lines(log).size(), answers.size() + slow.size());
  EXPECT_TRUE(log.ends_with("lorvane-demo: stopped\n")) << log.substr(log.size() - 500);
}

// Whatever its connections are doing, a stop ends the demo within 2 s, with
// its usual last line.
TEST(DemoUnderLoad, StopsWithinTwoSecondsWhateverItsConnectionsDo) {
  struct Case {
    const char* name;
    int signal_number;
  };
  const Case cases[] = {{"SIGTERM", SIGTERM}, {"SIGINT", SIGINT}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Demo demo;
    ASSERT_NO_FATAL_FAILURE(start(demo, {}));
    std::vector<std::unique_ptr<RawConnection>> open;
    auto connect = [&](int port, bool tls, const std::string& bytes) {
      open.push_back(std::make_unique<RawConnection>(port, tls));
      open.back()->send(bytes);
    };
    // 300 posts at once: answered and kept alive, half-sent bodies over
    // both listeners, and two whose long answers are never read.
    std::string list = url_list(1, 1, 3);
    for (int i = 0; i < 100; ++i) {
      connect(demo.port, false, post_request(list));
      ASSERT_TRUE(open.back()->receive_response(30s));
    }
    for (int i = 0; i < 198; ++i) {
      std::string request = post_request(list);
      connect(i % 2 == 0 ? demo.port : demo.tls_port, i % 2 != 0,
              request.substr(0, request.size() - 10));
    }
    std::string long_lines;
    for (int line = 0; line < 2000; ++line) long_lines += std::string(4000, '~') + "\n";
    for (int i = 0; i < 2; ++i) connect(demo.port, false, post_request(long_lines));
    // Then 200 connections of junk bytes and some that never start TLS.
    for (int i = 0; i < 200; ++i) {
      std::string junk(64, '\0');
      for (std::size_t at = 0; at < junk.size(); ++at)
        junk[at] = static_cast<char>(i * 31 + at * 7);
      connect(i % 4 == 0 ? demo.tls_port : demo.port, false, junk);
    }
    for (int i = 0; i < 20; ++i) connect(demo.tls_port, false, "");
    std::this_thread::sleep_for(300ms);

    Clock::time_point signalled = Clock::now();
    std::optional<int> status = demo.process->stop(c.signal_number, 2s);
    auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - signalled);
    std::string log = demo.process->error_output();
    EXPECT_EQ(status, 0) << "after " << took.count() << " ms\n" << log.substr(0, 20000);
    EXPECT_TRUE(log.ends_with("lorvane-demo: stopped\n")) << log.substr(log.size() - 500);
  }
}

}  // namespace
}  // namespace lorvane::testing
