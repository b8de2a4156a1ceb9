// The curl backend's own manners, through the Internet functions directly:
// certificate checks, the raw header query, redirect rules and limit, reads,
// proxies and the environment. Native only.
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "platform/curl/transfer.h"
#include "platform/internet.h"
#include "tests/net/servers.h"

namespace lorvane::net_test {
namespace {

using namespace lorvane::platform;

constexpr DWORD kIgnoreAll = 0x1F380;  // what web_request sets

struct Call {
  bool https = false;
  std::string path;
  const char* verb = "GET";
  DWORD flags = INTERNET_FLAG_RELOAD;
  std::optional<DWORD> security = std::nullopt;  // option 31 when given
  DWORD access = INTERNET_OPEN_TYPE_DIRECT;
  const char* proxy = nullptr;
  int port = 0;  // 0: the server of the scheme
};

struct Result {
  BOOL sent = 0;
  std::string body;
  BOOL last_read = 0;
  BOOL queried = 0;
  std::string headers;
};

// One request through the eight functions, the way web_request makes it.
Result perform(const Call& call) {
  Result result;
  HINTERNET internet =
      InternetOpenA("Agent/1", call.access, call.proxy, call.proxy ? "" : nullptr, 0);
  const int port =
      call.port != 0 ? call.port : (call.https ? servers().https_port : servers().http_port);
  HINTERNET connection = InternetConnectA(internet, "127.0.0.1", static_cast<INTERNET_PORT>(port),
                                          nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0);
  HINTERNET request =
      HttpOpenRequestA(connection, call.verb, call.path.c_str(), "HTTP/1.1", nullptr, nullptr,
                       call.flags | (call.https ? INTERNET_FLAG_SECURE : 0), 0);
  EXPECT_NE(request, nullptr);
  if (call.security) {
    DWORD value = *call.security;
    InternetSetOptionA(request, INTERNET_OPTION_SECURITY_FLAGS, &value, sizeof value);
  }
  result.sent = HttpSendRequestA(request, "", 0, nullptr, 0);
  char buffer[1024];
  DWORD count = 0;
  do {
    result.last_read = InternetReadFile(request, buffer, sizeof buffer, &count);
    result.body.append(buffer, count);
  } while (count > 0);
  char headers[5000];
  DWORD length = sizeof headers;
  result.queried = HttpQueryInfoA(request, HTTP_QUERY_RAW_HEADERS_CRLF, headers, &length, nullptr);
  if (result.queried) result.headers.assign(headers, length);
  InternetCloseHandle(request);
  InternetCloseHandle(connection);
  InternetCloseHandle(internet);
  return result;
}

// The certificate names another host and nobody vouches for it: each of the
// two checks fails the request on its own unless its bit says to ignore it.
TEST(InternetCurlTest, CertificateChecksFollowTheSecurityFlags) {
  struct Case {
    std::optional<DWORD> security;
    bool succeeds;
  };
  const Case cases[] = {
      {std::nullopt, false},
      {0, false},
      {SECURITY_FLAG_IGNORE_UNKNOWN_CA, false},
      {SECURITY_FLAG_IGNORE_CERT_CN_INVALID, false},
      {SECURITY_FLAG_IGNORE_UNKNOWN_CA | SECURITY_FLAG_IGNORE_CERT_CN_INVALID, true},
      {kIgnoreAll, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.security ? std::to_string(*c.security) : "option not set");
    const std::string token = new_token();
    const Result result =
        perform({.https = true, .path = "/t/" + token + "/flag/1", .security = c.security});
    EXPECT_EQ(result.sent != 0, c.succeeds);
    EXPECT_EQ(result.body, c.succeeds ? "1" : "");
    EXPECT_EQ(result.queried != 0, c.succeeds);
    if (!c.succeeds) {
      EXPECT_FALSE(result.last_read);
    }
    EXPECT_EQ(recorded_requests(token).size(), c.succeeds ? 1u : 0u);
  }
}

// The block and its terminating zero are copied only when both fit; else the
// buffer stays as it was and the length says what is needed.
TEST(InternetCurlTest, RawHeaderQueryNeedsRoomForTheZero) {
  HINTERNET internet = InternetOpenA("Agent/1", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
  HINTERNET connection =
      InternetConnectA(internet, "127.0.0.1", static_cast<INTERNET_PORT>(servers().http_port),
                       nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0);
  HINTERNET request = HttpOpenRequestA(connection, "GET", ("/t/" + new_token() + "/echo").c_str(),
                                       "HTTP/1.1", nullptr, nullptr, 0, 0);
  char buffer[512];
  DWORD length = sizeof buffer;
  EXPECT_FALSE(HttpQueryInfoA(request, HTTP_QUERY_RAW_HEADERS_CRLF, buffer, &length, nullptr))
      << "nothing sent yet";
  ASSERT_TRUE(HttpSendRequestA(request, nullptr, 0, nullptr, 0));

  const std::string block =
      "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 4\r\nConnection: "
      "close\r\n\r\n";
  std::string(sizeof buffer, '#').copy(buffer, sizeof buffer);
  length = static_cast<DWORD>(block.size());  // one short: no room for the zero
  EXPECT_FALSE(HttpQueryInfoA(request, HTTP_QUERY_RAW_HEADERS_CRLF, buffer, &length, nullptr));
  EXPECT_EQ(length, block.size() + 1);
  EXPECT_EQ(std::string(buffer, sizeof buffer), std::string(sizeof buffer, '#'));

  EXPECT_TRUE(HttpQueryInfoA(request, HTTP_QUERY_RAW_HEADERS_CRLF, buffer, &length, nullptr));
  EXPECT_EQ(length, block.size());
  EXPECT_EQ(std::string(buffer), block);
  EXPECT_FALSE(HttpQueryInfoA(request, 19 /* the status code alone */, buffer, &length, nullptr));
  InternetCloseHandle(request);
  InternetCloseHandle(connection);
  InternetCloseHandle(internet);
}

// Ten redirects are followed; the eleventh fails the request.
TEST(InternetCurlTest, RedirectsEndAfterTheLimit) {
  struct Case {
    const char* route;
    bool succeeds;
    std::size_t requests;
  };
  const Case cases[] = {
      {"/hops/10", true, 11},
      {"/hops/11", false, 11},
      {"/loop", false, 11},
  };
  static_assert(curl_backend::kMaxRedirects == 10);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.route);
    const std::string token = new_token();
    const Result result = perform({.path = "/t/" + token + c.route});
    EXPECT_EQ(result.sent != 0, c.succeeds);
    EXPECT_EQ(result.body, c.succeeds ? "done" : "");
    EXPECT_EQ(result.queried != 0, c.succeeds);
    EXPECT_EQ(recorded_requests(token).size(), c.requests);
  }
}

// A redirect that is not followed hands back the 3xx response itself: one to
// another scheme than http and https, and one across http and https unless
// the flags allow that direction.
TEST(InternetCurlTest, RedirectsOnlyWhereAllowed) {
  struct Case {
    const char* name;
    bool https;
    const char* target;  // "HTTPS" / "HTTP": the other server's echo
    DWORD flags;
    std::optional<DWORD> security;
    bool followed;
  };
  constexpr DWORD kCertificateOff =
      SECURITY_FLAG_IGNORE_UNKNOWN_CA | SECURITY_FLAG_IGNORE_CERT_CN_INVALID;
  const Case cases[] = {
      {"to ftp", false, nullptr, 0, std::nullopt, false},
      {"to https, not allowed", false, "HTTPS", 0, kCertificateOff, false},
      {"to https, request flag", false, "HTTPS", INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTPS,
       kCertificateOff, true},
      {"to https, security flag", false, "HTTPS", 0,
       kCertificateOff | SECURITY_FLAG_IGNORE_REDIRECT_TO_HTTPS, true},
      {"to http, not allowed", true, "HTTP", 0, kCertificateOff, false},
      {"to http, security flag", true, "HTTP", 0,
       kCertificateOff | SECURITY_FLAG_IGNORE_REDIRECT_TO_HTTP, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string token = new_token();
    std::string route = "/redirect-ftp";
    if (c.target != nullptr) {
      const bool to_https = std::string(c.target) == "HTTPS";
      route = "/redirect/302?to=" +
              query_encoded(to_https ? https_url(token, "/echo") : http_url(token, "/echo"));
    }
    const Result result = perform({.https = c.https,
                                   .path = "/t/" + token + route,
                                   .flags = c.flags,
                                   .security = c.security});
    EXPECT_TRUE(result.sent);
    EXPECT_EQ(result.body, c.followed ? "echo" : (c.target ? "redirect" : "to ftp"));
    EXPECT_EQ(result.headers.starts_with("HTTP/1.1 302 Found\r\n"), !c.followed) << result.headers;
    EXPECT_EQ(recorded_requests(token).size(), c.followed ? 2u : 1u);
  }
}

// The header block is the final response's, its lines ended by CR LF even
// when the server ended them by LF alone; an interim 100 block is not in it.
TEST(InternetCurlTest, HeaderBlockIsTheFinalResponsesWithCrLf) {
  struct Case {
    const char* route;
    const char* body;
    const char* headers;
  };
  const Case cases[] = {
      {"/continue", "continued",
       "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 9\r\nConnection: "
       "close\r\n\r\n"},
      {"/lf", "lf", "HTTP/1.1 200 OK\r\nX-Lf: 1\r\nContent-Length: 2\r\nConnection: close\r\n\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.route);
    const Result result = perform({.path = "/t/" + new_token() + c.route});
    EXPECT_EQ(result.body, c.body);
    EXPECT_EQ(result.headers, c.headers);
  }
}

// Each read hands out as much as asked for until the body runs out, then 0
// with success; before a send, and after a failed one, 0 with failure.
TEST(InternetCurlTest, ReadsHandOutTheBodyInOrder) {
  HINTERNET internet = InternetOpenA("Agent/1", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
  HINTERNET connection =
      InternetConnectA(internet, "127.0.0.1", static_cast<INTERNET_PORT>(servers().http_port),
                       nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0);
  HINTERNET request =
      HttpOpenRequestA(connection, "GET", ("/t/" + new_token() + "/large?bytes=300000").c_str(),
                       "HTTP/1.1", nullptr, nullptr, 0, 0);
  char buffer[1024];
  DWORD count = 99;
  EXPECT_FALSE(InternetReadFile(request, buffer, sizeof buffer, &count));
  EXPECT_EQ(count, 0u);

  ASSERT_TRUE(HttpSendRequestA(request, nullptr, 0, nullptr, 0));
  std::vector<DWORD> counts;
  std::string body;
  do {
    EXPECT_TRUE(InternetReadFile(request, buffer, sizeof buffer, &count));
    counts.push_back(count);
    body.append(buffer, count);
  } while (count > 0);
  std::vector<DWORD> expected(292, 1024);
  expected.push_back(300000 - 292 * 1024);
  expected.push_back(0);
  EXPECT_EQ(counts, expected);
  ASSERT_EQ(body.size(), 300000u);
  for (std::size_t i = 0; i < body.size(); ++i) {
    if (body[i] != static_cast<char>('a' + i % 26)) {
      ADD_FAILURE() << "byte " << i << " is " << body[i];
      break;
    }
  }
  EXPECT_TRUE(InternetReadFile(request, buffer, sizeof buffer, &count)) << "still the end";
  EXPECT_EQ(count, 0u);
  InternetCloseHandle(request);
  InternetCloseHandle(connection);
  InternetCloseHandle(internet);
}

// Direct means direct, whatever proxy the environment names; and a named
// proxy takes loopback targets too, whatever no_proxy says.
TEST(InternetCurlTest, EnvironmentProxiesAreIgnored) {
  const std::string nowhere = "http://127.0.0.1:" + std::to_string(refused_port());
  const char* names[] = {"http_proxy",  "HTTP_PROXY", "https_proxy",
                         "HTTPS_PROXY", "all_proxy",  "ALL_PROXY"};
  for (const char* name : names) setenv(name, nowhere.c_str(), 1);
  setenv("no_proxy", "127.0.0.1", 1);
  setenv("NO_PROXY", "127.0.0.1", 1);

  for (const bool https : {false, true}) {
    SCOPED_TRACE(https ? "https" : "http");
    EXPECT_EQ(
        perform({.https = https, .path = "/t/" + new_token() + "/echo", .security = kIgnoreAll})
            .body,
        "echo");
  }
  const std::string proxy = "127.0.0.1:" + std::to_string(proxy_port());
  const std::string token = new_token();
  EXPECT_EQ(perform({.path = "/t/" + token + "/echo",
                     .access = INTERNET_OPEN_TYPE_PROXY,
                     .proxy = proxy.c_str()})
                .body,
            "echo");
  const auto requests = recorded_requests(token);
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_TRUE(requests[0].has_header("Via")) << "went through the proxy";

  for (const char* name : names) unsetenv(name);
  unsetenv("no_proxy");
  unsetenv("NO_PROXY");
}

// The proxy list's forms, with our recording HTTP server standing in as the
// proxy so that the exact proxy request shows: absolute form for http, CONNECT
// for https, and no Proxy-Connection line in either.
TEST(InternetCurlTest, ProxyListFormsAndTheProxyRequest) {
  const std::string stand_in = "127.0.0.1:" + std::to_string(servers().http_port);
  struct Case {
    std::string list;
    bool https;
    const char* arrives;  // "absolute", "direct" or "connect"
  };
  const Case cases[] = {
      {"http=" + stand_in, false, "absolute"},
      {"http=" + stand_in, true, "direct"},
      {"https=" + stand_in, false, "direct"},
      {stand_in, false, "absolute"},
      {"ftp=127.0.0.1:1 " + stand_in, false, "absolute"},
      {"https=" + stand_in + ";http=http://" + stand_in, true, "connect"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.list + (c.https ? " https" : " http"));
    const std::string token = new_token();
    const std::string path = "/t/" + token + "/echo";
    const Result result = perform({.https = c.https,
                                   .path = path,
                                   .security = kIgnoreAll,
                                   .access = INTERNET_OPEN_TYPE_PROXY,
                                   .proxy = c.list.c_str()});
    const std::string arrives = c.arrives;
    EXPECT_EQ(result.body, arrives == "connect" ? "" : "echo");

    const auto requests = recorded_requests(token);
    if (arrives == "connect") {
      EXPECT_TRUE(requests.empty());
      const std::string target = "127.0.0.1:" + std::to_string(servers().https_port);
      const auto unfiled = recorded_requests("");
      const auto connect = std::find_if(unfiled.rbegin(), unfiled.rend(), [&](const auto& r) {
        return r.request_line() == "CONNECT " + target + " HTTP/1.1";
      });
      ASSERT_NE(connect, unfiled.rend());
      EXPECT_EQ(connect->raw, "CONNECT " + target + " HTTP/1.1\r\nHost: " + target +
                                  "\r\nUser-Agent: Agent/1\r\n\r\n");
      continue;
    }
    ASSERT_EQ(requests.size(), 1u);
    const std::string host =
        "127.0.0.1:" + std::to_string(c.https ? servers().https_port : servers().http_port);
    const std::string target = arrives == "absolute" ? "http://" + host + path : path;
    EXPECT_EQ(requests[0].raw,
              "GET " + target + " HTTP/1.1\r\nHost: " + host + "\r\nUser-Agent: Agent/1\r\n\r\n");
  }
}

}  // namespace
}  // namespace lorvane::net_test

namespace lorvane::net_test {
namespace {

using namespace lorvane::platform;

// A handle is good from its open to its close and for its own kind only; a
// closed, foreign or mismatched one is refused like a failed call.
TEST(InternetCurlTest, RefusesHandlesThatAreClosedOrOfAnotherKind) {
  HINTERNET internet = InternetOpenA("Agent/1", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
  ASSERT_NE(internet, nullptr);
  HINTERNET connection =
      InternetConnectA(internet, "127.0.0.1", static_cast<INTERNET_PORT>(servers().http_port),
                       nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0);
  ASSERT_NE(connection, nullptr);
  // An internet handle where a connection belongs.
  EXPECT_EQ(HttpOpenRequestA(internet, "GET", "/echo", "HTTP/1.1", nullptr, nullptr, 0, 0),
            nullptr);
  HINTERNET request =
      HttpOpenRequestA(connection, "GET", "/echo", "HTTP/1.1", nullptr, nullptr, 0, 0);
  ASSERT_NE(request, nullptr);

  EXPECT_TRUE(InternetCloseHandle(request));
  EXPECT_FALSE(InternetCloseHandle(request));
  EXPECT_FALSE(HttpSendRequestA(request, "", 0, nullptr, 0));
  char buffer[16];
  DWORD count = 7;
  EXPECT_FALSE(InternetReadFile(request, buffer, sizeof buffer, &count));
  EXPECT_EQ(count, 0u);

  int not_a_handle = 0;
  EXPECT_FALSE(InternetCloseHandle(&not_a_handle));
  EXPECT_FALSE(InternetCloseHandle(nullptr));
  EXPECT_TRUE(InternetCloseHandle(connection));
  EXPECT_TRUE(InternetCloseHandle(internet));
}

}  // namespace
}  // namespace lorvane::net_test
