// What the network tests know of their servers: ports, and the requests that
// arrived, read back through the servers' control route. Nothing here is tied
// to one operating system, so the same cases run natively against libcurl
// and as a Windows program against wininet.dll.
//
// The servers are those of tests/support/test_servers.h (see there for the
// routes). Natively they run inside the test process (servers_native.cc)
// unless LORVANE_TEST_SERVERS is set; elsewhere that variable names them
// (servers_env.cc): "http=P https=P proxy=P", as lorvane-test-server prints
// them with a proxy port added.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "gtest/gtest.h"

namespace lorvane::net_test {

struct Servers {
  int http_port = 0;
  int https_port = 0;
};

// Started (or read from the environment) at the first call.
const Servers& servers();

// The forward proxy's port, started at the first call where that is ours to do.
int proxy_port();

// Reads "http=P https=P proxy=P" (in any order); a missing port is 0.
struct PortSpec {
  int http = 0;
  int https = 0;
  int proxy = 0;
};
PortSpec parse_port_spec(std::string_view spec);

// A token that no other test run uses: it files a test's requests and scopes
// its cookies on the servers.
std::string new_token();

// "http://127.0.0.1:P/t/TOKEN" + route, and the same for https.
std::string http_url(const std::string& token, std::string_view route);
std::string https_url(const std::string& token, std::string_view route);

// Percent-encoded for a query parameter (the redirect routes' "to").
std::string query_encoded(std::string_view text);

struct RecordedRequest {
  std::string scheme;  // "http" or "https": which server took it
  std::string raw;     // the bytes that arrived: head, empty line, body

  std::string request_line() const;
  std::string head() const;  // the header lines after the request line, each ended by CR LF
  std::string body() const;
  bool has_header(std::string_view name) const;  // a line "name:", letter case ignored
};

// Every request filed under `token`, in order of arrival (control routes excluded).
std::vector<RecordedRequest> recorded_requests(const std::string& token);

// A port on 127.0.0.1 where connections are refused.
int refused_port();

// The forward proxy's count of requests it has taken (CONNECT included), from
// its statistics page; asking counts as one more.
long proxy_request_count();

// What a request should carry: the request line, the caller's header lines in
// order, the body, and the lines the platform writes itself.
struct Expected {
  std::string verb;
  std::string target;              // the path in the request line
  std::string host;                // "127.0.0.1:P"
  std::string agent;               // the User-Agent value
  std::vector<std::string> lines;  // the caller's header lines
  std::string body;                // sent with a Content-Length line when `has_body`
  bool has_body = false;
};

// Checks a recorded request against the expectation as strictly as the
// platform's own lines are known: the curl backend byte for byte (its order:
// request line, Host, User-Agent, the caller's lines, Content-Length); other
// platforms up to the further lines they add themselves.
testing::AssertionResult wire_matches(const RecordedRequest& request, const Expected& expected);

}  // namespace lorvane::net_test
