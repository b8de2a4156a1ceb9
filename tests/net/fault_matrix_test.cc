// The network's faults, one row each, through web_request and the curl
// backend against loopback servers: how each ends (the body, the raw header
// block, the size reported for a block too large to read), what a submission
// reads from it, and that it ends within its bound. The time-outs are
// shortened through the process's options, so that the silent and trickling
// servers take seconds.
#include <sys/resource.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <future>
#include <optional>
#include <string>

#include "app/submission.h"
#include "gtest/gtest.h"
#include "platform/internet.h"
#include "tests/net/servers.h"
#include "tests/support/scripted_server.h"
#include "tests/support/test_certificates.h"
#include "tests/support/test_servers.h"
#include "tests/support/text_printers.h"
#include "text/values.h"
#include "web/web_request.h"

namespace lorvane::net_test {
namespace {

using namespace std::chrono_literals;

// The time-outs of these tests: long enough that a byte a second is progress.
constexpr platform::DWORD kConnectTimeoutMs = 1500;
constexpr platform::DWORD kReceiveTimeoutMs = 2500;

bool set_process_option(platform::DWORD option, platform::DWORD value) {
  return platform::InternetSetOptionA(nullptr, option, &value, sizeof value) != 0;
}

class FaultMatrix : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    ASSERT_TRUE(set_process_option(platform::INTERNET_OPTION_CONNECT_TIMEOUT, kConnectTimeoutMs));
    ASSERT_TRUE(set_process_option(platform::INTERNET_OPTION_RECEIVE_TIMEOUT, kReceiveTimeoutMs));
  }
  static void TearDownTestSuite() {
    set_process_option(platform::INTERNET_OPTION_CONNECT_TIMEOUT, 60'000);
    set_process_option(platform::INTERNET_OPTION_RECEIVE_TIMEOUT, 30'000);
  }
};

// What one submission-shaped request (a POST of a URL list) hands back.
struct Outputs {
  std::string body;
  std::string received_headers;
  std::uint32_t oversized_headers = 0;
  SubmitOutcome outcome = SubmitOutcome::no_response;
};

// A row that has not ended within its bound ends the whole run: a request
// stuck on its thread cannot be taken back.
Outputs post_within(const std::string& row, const std::string& url, std::chrono::seconds bound) {
  auto request = std::async(std::launch::async, [url] {
    Outputs outputs;
    Text headers;
    const Bytes body = web_request(Text(url), 1, Text("http://a.example/1"), nullptr, nullptr,
                                   nullptr, &headers, std::nullopt, nullptr, {}, std::nullopt,
                                   std::nullopt, std::nullopt, &outputs.oversized_headers);
    outputs.body = std::string(body.view());
    outputs.received_headers = std::string(headers.view());
    outputs.outcome = read_reply(headers, outputs.oversized_headers, body).outcome;
    return outputs;
  });
  if (request.wait_for(bound) != std::future_status::ready) {
    std::fprintf(stderr, "FAILED: \"%s\" did not end within %lld s\n", row.c_str(),
                 static_cast<long long>(bound.count()));
    std::fflush(stderr);
    std::_Exit(1);
  }
  return request.get();
}

struct Row {
  std::string name;
  std::string url;
  std::string body;
  // The raw header block begins with this; null: the 5000 prepared spaces.
  const char* headers_begin;
  SubmitOutcome outcome;
  std::chrono::seconds bound = 20s;
  std::uint32_t oversized_headers = 0;
  std::size_t headers_length = 0;  // when not 0, the block's exact length
};

void check_rows(const std::vector<Row>& rows) {
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const Outputs outputs = post_within(row.name, row.url, row.bound);
    EXPECT_EQ(outputs.body, row.body);
    if (row.headers_begin == nullptr) {
      EXPECT_EQ(outputs.received_headers, std::string(5000, ' '));
    } else {
      EXPECT_TRUE(outputs.received_headers.starts_with(row.headers_begin))
          << outputs.received_headers.substr(0, 200);
    }
    if (row.headers_length != 0) {
      EXPECT_EQ(outputs.received_headers.size(), row.headers_length);
    }
    EXPECT_EQ(outputs.oversized_headers, row.oversized_headers);
    EXPECT_EQ(outputs.outcome, row.outcome);
  }
}

std::string on_port(int port, const char* path = "/urls") {
  return "http://127.0.0.1:" + std::to_string(port) + path;
}

constexpr const char* kOk = "HTTP/1.1 200 OK\r\n";
constexpr auto kNone = SubmitOutcome::no_response;
constexpr auto kRefused = SubmitOutcome::refused;

// No connection, or one that ends before a response is whole: nothing came.
TEST_F(FaultMatrix, ConnectionsThatFail) {
  test::UnansweredPort unanswered;
  const std::string token = new_token();
  check_rows({
      {"refused", on_port(refused_port()), "", nullptr, kNone},
      {"a name that does not resolve", "http://lorvane-fault.invalid/urls", "", nullptr, kNone},
      // Ends after the connect time-out.
      {"a connection never accepted", on_port(unanswered.port()), "", nullptr, kNone},
      {"reset before the status line", http_url(token, "/reset/status-line"), "", nullptr, kNone},
      {"reset in the headers", http_url(token, "/reset/headers"), "", nullptr, kNone},
      // What came before the reset is the body.
      {"reset in the body", http_url(token, "/reset/body"), std::string(1000, 'x'), kOk, kRefused},
      {"a garbage status line", http_url(token, "/garbage-status"), "", nullptr, kNone},
  });
}

// A server that goes quiet ends the request after the receive time-out; one
// that keeps moving bytes, however slowly, does not.
TEST_F(FaultMatrix, SilenceAndTrickles) {
  const std::string token = new_token();
  check_rows({
      {"a silent server", http_url(token, "/silent"), "", nullptr, kNone},
      {"silent in the middle of the body", http_url(token, "/stall"), "abc", kOk, kRefused},
      {"a byte a second, in a header line and the body", http_url(token, "/trickle"), "cd", kOk,
       kRefused},
  });
}

// The raw header block fits 5000 bytes with its zero, or is reported too
// large; a block above the HTTP stack's own limits fails the request.
TEST_F(FaultMatrix, HeaderBlockSizes) {
  const std::string token = new_token();
  const auto block = [&](int bytes) {
    return http_url(token, "/header-block?bytes=" + std::to_string(bytes));
  };
  check_rows({
      {"4999 bytes", block(4999), "body", kOk, kRefused, 20s, 0, 4999},
      {"5000 bytes", block(5000), "body", nullptr, kRefused, 20s, 5001},
      {"5001 bytes", block(5001), "body", nullptr, kRefused, 20s, 5002},
      {"64 KiB", block(65536), "body", nullptr, kRefused, 20s, 65537},
      // libcurl's limits: a header line of 100 KiB, a block of 300 KiB.
      {"a line over 100 KiB", http_url(token, "/header-line?bytes=102400"), "", nullptr, kNone},
      {"256 KiB", block(256 * 1024), "body", nullptr, kRefused, 20s, 256 * 1024 + 1},
      {"a block over 300 KiB", block(400 * 1024), "", nullptr, kNone},
  });
}

// Bodies come back as their bytes: none at all, or ones never decoded.
TEST_F(FaultMatrix, Bodies) {
  const std::string token = new_token();
  check_rows({
      {"an empty body", http_url(token, "/empty"), "", kOk, kRefused},
      {"a gzip body is not decoded", http_url(token, "/gzip"),
       std::string("\x1f\x8b\x08\x00not gzip\x00\xff", 14), kOk, kRefused},
  });
}

// Certificates are not checked by web_request: self-signed, expired or for
// another host name, each is accepted; a server that breaks off the
// handshake, or never takes part in it, gives nothing.
TEST_F(FaultMatrix, Tls) {
  test::HangingUpServer hanging_up;
  const test::TestAuthority authority;
  test::ScriptedServer self_signed(test::ScriptedServer::Scheme::https, 200, "tls");
  test::ScriptedServer expired(authority.issue("127.0.0.1", -48, -24));
  test::ScriptedServer other_host(authority.issue("wrong-name.example", -1, 24));
  for (test::ScriptedServer* server : {&expired, &other_host}) server->reply_with(200, "tls");
  const std::string token = new_token();
  check_rows({
      {"self-signed", self_signed.address("/urls"), "tls", kOk, kRefused},
      {"expired", expired.address("/urls"), "tls", kOk, kRefused},
      {"for another host name", other_host.address("/urls"), "tls", kOk, kRefused},
      {"self-signed, for another host name", https_url(token, "/echo"), "echo", kOk, kRefused},
      {"a handshake broken off", "https://127.0.0.1:" + std::to_string(hanging_up.port()) + "/", "",
       nullptr, kNone},
      // Ends after the connect time-out, which takes in the handshake.
      {"a handshake never answered",
       "https://127.0.0.1:" + std::to_string(servers().http_port) + "/", "", nullptr, kNone},
  });
}

TEST_F(FaultMatrix, Redirects) {
  const std::string token = new_token();
  check_rows({
      {"a loop: the 11th hop fails", http_url(token, "/loop"), "", nullptr, kNone},
      {"to ftp: handed back", http_url(token, "/redirect-ftp"), "to ftp", "HTTP/1.1 302 Found\r\n",
       kRefused},
  });
}

// A body of 1 GiB is collected in one place: the peak memory of the process
// that fetched it stays within a fixed margin over the body's size, which a
// second copy of the body would exceed by far.
TEST_F(FaultMatrix, OneGibibyteBodyIsHeldOnce) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "memory is measured without AddressSanitizer, whose shadow and quarantine "
                  "would count";
#else
  constexpr long long kBody = 1LL << 30;
  constexpr long long kMarginKib = 64 * 1024;
  const std::string url = http_url(new_token(), "/large?bytes=" + std::to_string(kBody));
  const std::string command = std::string(LORVANE_BODY_PROBE) + " '" + url + "'";
  auto probe = std::async(std::launch::async, [&] {
    std::string output;
    if (std::FILE* pipe = ::popen(command.c_str(), "r")) {
      char buffer[256];
      while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) output += buffer;
      ::pclose(pipe);
    }
    return output;
  });
  if (probe.wait_for(90s) != std::future_status::ready) {
    std::fputs("FAILED: the 1 GiB body did not come within 90 s\n", stderr);
    std::_Exit(1);
  }
  long long length = -1, wrong = -1, peak_kib = -1;
  const std::string output = probe.get();
  ASSERT_EQ(std::sscanf(output.c_str(), "%lld %lld %lld", &length, &wrong, &peak_kib), 3) << output;
  EXPECT_EQ(length, kBody);
  EXPECT_EQ(wrong, 0);
  EXPECT_LT(peak_kib, kBody / 1024 + kMarginKib) << "peak " << peak_kib / 1024 << " MiB";
#endif
}

// The time-outs are options of the process, each a 4-byte count of
// milliseconds on a null handle; anything else is refused.
TEST(ProcessOptions, TimeoutsTakeFourByteMilliseconds) {
  platform::DWORD value = 5000;
  const std::uint64_t wide = 5000;
  EXPECT_TRUE(set_process_option(platform::INTERNET_OPTION_CONNECT_TIMEOUT, 60'000));
  EXPECT_TRUE(set_process_option(platform::INTERNET_OPTION_RECEIVE_TIMEOUT, 30'000));
  EXPECT_FALSE(set_process_option(platform::INTERNET_OPTION_RECEIVE_TIMEOUT, 0));
  EXPECT_FALSE(platform::InternetSetOptionA(nullptr, platform::INTERNET_OPTION_CONNECT_TIMEOUT,
                                            const_cast<std::uint64_t*>(&wide), sizeof wide));
  EXPECT_FALSE(platform::InternetSetOptionA(nullptr, platform::INTERNET_OPTION_CONNECT_TIMEOUT,
                                            nullptr, sizeof value));
  EXPECT_FALSE(platform::InternetSetOptionA(nullptr, 12345, &value, sizeof value));
}

}  // namespace
}  // namespace lorvane::net_test
