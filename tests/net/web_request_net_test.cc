// web_request end to end: the platform's Internet functions against the
// loopback servers, which record what arrived. The same cases run natively
// (libcurl) and as a Windows program (wininet.dll under Wine).
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "gtest/gtest.h"
#include "tests/net/servers.h"
#include "tests/support/text_printers.h"
#include "tests/windows/wine_differences.h"
#include "text/values.h"
#include "web/web_request.h"

namespace lorvane::net_test {
namespace {

using test::WineDifferences;

constexpr char kAgent[] = "Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)";
constexpr char kForm[] = "Content-Type: application/x-www-form-urlencoded";

std::string text_of(const Bytes& bytes) { return std::string(bytes.view()); }
std::string text_of(const Text& text) { return std::string(text.view()); }

std::string host_of(bool https) {
  return "127.0.0.1:" + std::to_string(https ? servers().https_port : servers().http_port);
}

// The default lines that the web layer completes a block with.
std::vector<std::string> default_lines(const std::string& url, bool post) {
  std::vector<std::string> lines = {"Accept: */*", "Referer: " + url, "Accept-Language: zh-cn"};
  if (post) lines.push_back(kForm);
  return lines;
}

// Everything a call hands back besides its body.
struct Outputs {
  std::string body;
  Text received_headers;
  Text received_cookies;
};

Outputs fetch(const std::string& url, std::optional<std::int32_t> method = std::nullopt,
              const std::string& post_text = {}, Text* send_cookies = nullptr,
              std::optional<bool> no_redirect = std::nullopt, const std::string& proxy = {}) {
  Outputs outputs;
  outputs.body = text_of(web_request(Text(url), method, Text(post_text), send_cookies,
                                     &outputs.received_cookies, nullptr, &outputs.received_headers,
                                     no_redirect, nullptr, Text(proxy)));
  return outputs;
}

// The program's own two callers, on either scheme: the start-up notice's GET
// of its flag file (https, to a certificate for another host name) and the
// submit command's POST of the URL list.

// A redirect route's target mark replaced by the echo route of the test's
// token: HTTPS_ECHO and HTTP_ECHO by the absolute URL on that scheme's
// server, ECHO by the path alone (a relative Location).
std::string with_redirect_target(std::string route, const std::string& token) {
  for (const auto& [mark, target] :
       {std::pair<std::string, std::string>{"HTTPS_ECHO", https_url(token, "/echo")},
        {"HTTP_ECHO", http_url(token, "/echo")},
        {"ECHO", "/t/" + token + "/echo"}}) {
    if (const auto at = route.find(mark); at != std::string::npos) {
      route.replace(at, mark.size(), query_encoded(target));
    }
  }
  return route;
}

TEST(WebRequestNetTest, CallersShapesGoOutExactly) {
  struct Case {
    const char* name;
    bool https;
    const char* route;
    std::optional<std::int32_t> method;
    const char* post_text;
    const char* answer;
  };
  const Case cases[] = {
      {"notice", true, "/flag/0", std::nullopt, "", "0"},
      {"notice over http", false, "/flag/0", std::nullopt, "", "0"},
      {"submit", false, "/echo", 1, "http://a.example/1\r\nhttp://a.example/2", "echo"},
      {"submit over https", true, "/echo", 1, "http://a.example/\xB0\x61", "echo"},
      // The object name goes out whole, its "#" part as well.
      {"submit to an address with a fragment", false, "/echo?site=a#top", 1, "list", "echo"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string token = new_token();
    const std::string url = c.https ? https_url(token, c.route) : http_url(token, c.route);
    EXPECT_EQ(fetch(url, c.method, c.post_text).body, c.answer);

    const auto requests = recorded_requests(token);
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].scheme, c.https ? "https" : "http");
    const bool post = c.method == 1;
    EXPECT_TRUE(
        wire_matches(requests[0], {post ? "POST" : "GET", "/t/" + token + c.route, host_of(c.https),
                                   kAgent, default_lines(url, post), c.post_text, post}));
  }
}

// Every method index: out-of-range ones are GET, GET sends no body even when
// both body parameters are given, the others send post_bytes, and only POST
// gets the form Content-Type. HEAD returns no body.
TEST(WebRequestNetTest, MethodsAndBodies) {
  struct Case {
    std::int32_t method;
    const char* verb;
    const char* answer;
  };
  const Case cases[] = {
      {0, "GET", "echo"},   {8, "GET", "echo"},     {-1, "GET", "echo"},    {1, "POST", "echo"},
      {2, "HEAD", ""},      {3, "PUT", "echo"},     {4, "OPTIONS", "echo"}, {5, "DELETE", "echo"},
      {6, "TRACE", "echo"}, {7, "CONNECT", "echo"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.method);
    const std::string token = new_token();
    const std::string url = http_url(token, "/echo");
    Bytes post_bytes(std::string_view("bytes\0 sent", 11));
    EXPECT_EQ(text_of(web_request(Text(url), c.method, Text("text"), nullptr, nullptr, nullptr,
                                  nullptr, std::nullopt, &post_bytes)),
              c.answer);

    const auto requests = recorded_requests(token);
    ASSERT_EQ(requests.size(), 1u);
    const bool get = std::string(c.verb) == "GET";
    const bool post = std::string(c.verb) == "POST";
    EXPECT_TRUE(wire_matches(requests[0],
                             {c.verb, "/t/" + token + "/echo", host_of(false), kAgent,
                              default_lines(url, post), get ? "" : text_of(post_bytes), !get}));
    EXPECT_EQ(requests[0].has_header("Content-Type"), post);
  }
}

// A scheme in capital letters is still https, and reaches the TLS server.
TEST(WebRequestNetTest, CapitalHttpsGoesToTheTlsServer) {
  for (const char* scheme : {"HTTPS://", "Https://"}) {
    SCOPED_TRACE(scheme);
    const std::string token = new_token();
    const std::string url = scheme + host_of(true) + "/t/" + token + "/flag/1";
    EXPECT_EQ(fetch(url).body, "1");
    const auto requests = recorded_requests(token);
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0].scheme, "https");
    EXPECT_TRUE(wire_matches(requests[0], {"GET", "/t/" + token + "/flag/1", host_of(true), kAgent,
                                           default_lines(url, false), "", false}));
  }
}

// post_bytes wins over post_text; an empty post_bytes is filled from
// post_text, and the caller's variable keeps those bytes.
TEST(WebRequestNetTest, PostBytesAndPostText) {
  struct Case {
    const char* name;
    std::string post_bytes;
    const char* post_text;
    std::string sent;
  };
  const Case cases[] = {
      {"bytes given", std::string("b\0\xFF", 3), "text", std::string("b\0\xFF", 3)},
      {"bytes empty", "", "url=1&\xB0\x61", "url=1&\xB0\x61"},
      {"both empty", "", "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string token = new_token();
    const std::string url = http_url(token, "/echo");
    Bytes post_bytes(c.post_bytes);
    web_request(Text(url), 1, Text(c.post_text), nullptr, nullptr, nullptr, nullptr, std::nullopt,
                &post_bytes);
    EXPECT_EQ(text_of(post_bytes), c.sent);

    const auto requests = recorded_requests(token);
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_TRUE(wire_matches(requests[0], {"POST", "/t/" + token + "/echo", host_of(false), kAgent,
                                           default_lines(url, true), c.sent, true}));
  }
}

// A body of 2 MiB goes out whole, without "Expect: 100-continue".
TEST(WebRequestNetTest, LargeBodyIsSentWithoutExpect) {
  const std::string token = new_token();
  std::string body(2 * 1024 * 1024, 'u');
  for (std::size_t i = 0; i < body.size(); i += 1000) body[i] = static_cast<char>('0' + i % 10);
  EXPECT_EQ(fetch(http_url(token, "/echo"), 3, body).body, "echo");
  const auto requests = recorded_requests(token);
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_FALSE(requests[0].has_header("Expect"));
  EXPECT_EQ(requests[0].body(), body);
}

// The header block as the web layer hands it over, in forms other than the
// default one, including a block that begins with CR LF.
TEST(WebRequestNetTest, HeaderBlockFormsGoOutAsGiven) {
  struct Case {
    const char* name;
    const char* extra_headers;
    const char* send_cookies;  // null: not given
    bool complete_headers;
    const char* agent;  // "": the block's own User-Agent line stands alone
    std::vector<std::string> lines;
    const char* wine = nullptr;  // how Wine's wininet.dll differs, if it does
  };
  const Case cases[] = {
      {"nothing at all", "", nullptr, false, kAgent, {}},
      {"only a cookie: the block begins with CR LF", "", "a=1", false, kAgent, {"Cookie: a=1"}},
      {"the caller's lines",
       "x-one: 1\r\nX-Two:2",
       nullptr,
       false,
       kAgent,
       {"X-One: 1", "X-Two:2"},
       "Wine rebuilds each line as \"Name: value\": \"X-Two:2\" goes out as \"X-Two: 2\""},
      {"cookie text with its own name", "", "Cookie: c=3", false, kAgent, {"Cookie: c=3"}},
      {"the caller's agent", "User-Agent: Foo/1.0", nullptr, false, "", {"User-Agent: Foo/1.0"}},
      {"a line without a value",
       "X-Empty:\r\nX-Full: 1",
       nullptr,
       false,
       kAgent,
       {"X-Empty:", "X-Full: 1"},
       "Wine rebuilds each line as \"Name: value\": \"X-Empty:\" goes out as \"X-Empty: \""},
  };
  WineDifferences wine;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (wine.leave_out(c.name, c.wine)) continue;
    const std::string token = new_token();
    Text extra(c.extra_headers);
    Text cookies(c.send_cookies);
    web_request(Text(http_url(token, "/echo")), 0, {}, c.send_cookies ? &cookies : nullptr, nullptr,
                &extra, nullptr, std::nullopt, nullptr, {}, std::nullopt, c.complete_headers);
    const auto requests = recorded_requests(token);
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_TRUE(wire_matches(requests[0], {"GET", "/t/" + token + "/echo", host_of(false), c.agent,
                                           c.lines, "", false}));
  }
  LORVANE_SKIP_WINE_DIFFERENCES(wine);
}

// Cookies that a response sets go into the process's store when the caller
// gives no send_cookies, and come back on later requests to the same place.
// A given send_cookies, even an empty one, keeps the store out both ways.
TEST(WebRequestNetTest, ProcessCookieStoreOnlyWithoutSendCookies) {
  const std::string token = new_token();
  const std::string stored = "kept_" + token + "=1";
  const std::string not_stored = "skipped_" + token + "=2";
  fetch(http_url(token, "/set-cookie?" + stored));
  Text empty;
  fetch(http_url(token, "/set-cookie?" + not_stored), std::nullopt, {}, &empty);

  struct Case {
    const char* name;
    const char* send_cookies;  // null: not given
    const char* cookie_line;   // null: none
  };
  const std::string store_line = "Cookie: " + stored;
  const Case cases[] = {
      {"omitted: the store", nullptr, store_line.c_str()},
      {"given empty: nothing", "", nullptr},
      {"given: only those", "x=1; y=2", "Cookie: x=1; y=2"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Text send(c.send_cookies);
    const std::size_t before = recorded_requests(token).size();
    fetch(http_url(token, "/echo"), std::nullopt, {}, c.send_cookies ? &send : nullptr);
    const auto requests = recorded_requests(token);
    ASSERT_EQ(requests.size(), before + 1);
    const std::string head = requests.back().head();
    EXPECT_EQ(head.find(not_stored), std::string::npos);
    if (c.cookie_line == nullptr) {
      EXPECT_FALSE(requests.back().has_header("Cookie"));
    } else {
      EXPECT_NE(head.find(std::string(c.cookie_line) + "\r\n"), std::string::npos) << head;
    }
  }
}

// The Set-Cookie lines of a response, collected and merged with the sent
// cookies; the rules for odd lines hold whatever the platform does with them.
TEST(WebRequestNetTest, ReceivedCookiesAreCollectedAndMerged) {
  struct Case {
    const char* route;
    const char* send_cookies;  // null: not given
    const char* received;
    const char* wine = nullptr;  // how Wine's wininet.dll differs, if it does
  };
  const char* const rebuilt =
      "Wine rebuilds the raw header lines: \"Set-Cookie:d=4\" comes back as "
      "\"Set-Cookie: d=4\" and is collected";
  const Case cases[] = {
      {"/cookies", nullptr, "a=1; b=2", rebuilt},
      {"/cookies", "b=9; z=5", "a=1; b=2; z=5", rebuilt},
      {"/cookies", "", "a=1; b=2", rebuilt},
      {"/empty-cookies", nullptr, "; "},
      {"/echo", nullptr, ""},
      {"/echo", "k=v", "k=v"},
  };
  WineDifferences wine;
  for (const Case& c : cases) {
    const std::string row =
        std::string(c.route) + " " + (c.send_cookies ? c.send_cookies : "(omitted)");
    SCOPED_TRACE(row);
    if (wine.leave_out(row, c.wine)) continue;
    Text send(c.send_cookies);
    const Outputs outputs =
        fetch(http_url(new_token(), c.route), std::nullopt, {}, c.send_cookies ? &send : nullptr);
    EXPECT_EQ(outputs.received_cookies, Text(c.received));
    if (c.send_cookies != nullptr) {
      EXPECT_EQ(send, Text(c.received));
    }
  }
  LORVANE_SKIP_WINE_DIFFERENCES(wine);
}

// An error status is a response like any other: its body and headers.
TEST(WebRequestNetTest, ErrorStatusReturnsItsBody) {
  const Outputs outputs = fetch(http_url(new_token(), "/status/404"));
  EXPECT_EQ(outputs.body, "status 404");
  const std::string headers = text_of(outputs.received_headers);
  EXPECT_TRUE(headers.starts_with("HTTP/1.1 404 Not Found\r\n")) << headers;
  EXPECT_TRUE(headers.ends_with("\r\n\r\n")) << headers;
  EXPECT_NE(headers.find("Content-Length: 10\r\n"), std::string::npos) << headers;
}

// The body comes back as its bytes: no content decoding; the chunked
// transfer coding, which is framing, is taken off.
TEST(WebRequestNetTest, BodyIsNotDecoded) {
  EXPECT_EQ(fetch(http_url(new_token(), "/gzip")).body,
            std::string("\x1f\x8b\x08\x00not gzip\x00\xff", 14));
  EXPECT_EQ(fetch(http_url(new_token(), "/chunked")).body, "chunked");
  const std::string token = new_token();
  fetch(http_url(token, "/echo"));
  const auto requests = recorded_requests(token);
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_FALSE(requests[0].has_header("Accept-Encoding"));
}

// What went out at each hop of a redirect chain.
struct Hop {
  const char* scheme;
  const char* verb;
  const char* body;  // what arrived; null: nothing, and no Content-Length line
};

TEST(WebRequestNetTest, RedirectsAreFollowedAsBrowsersDo) {
  struct Case {
    const char* name;
    std::int32_t method;
    bool https;
    std::string route;  // with "{https}" / "{http}" for the other server's echo URL
    std::optional<bool> no_redirect;
    const char* answer;
    std::vector<Hop> hops;
    const char* wine = nullptr;  // how Wine's wininet.dll differs, if it does
  };
  const Case cases[] = {
      {"POST 301",
       1,
       false,
       "/redirect/301?to=ECHO",
       {},
       "echo",
       {{"http", "POST", "list"}, {"http", "GET", nullptr}}},
      {"POST 302",
       1,
       false,
       "/redirect/302?to=ECHO",
       {},
       "echo",
       {{"http", "POST", "list"}, {"http", "GET", nullptr}}},
      {"POST 303",
       1,
       false,
       "/redirect/303?to=ECHO",
       {},
       "echo",
       {{"http", "POST", "list"}, {"http", "GET", nullptr}}},
      {"POST 307",
       1,
       false,
       "/redirect/307?to=ECHO",
       {},
       "echo",
       {{"http", "POST", "list"}, {"http", "POST", "list"}},
       "Wine repeats the POST without its body"},
      {"PUT 308",
       3,
       false,
       "/redirect/308?to=ECHO",
       {},
       "echo",
       {{"http", "PUT", "list"}, {"http", "PUT", "list"}},
       "Wine does not follow a 308"},
      {"http to https",
       0,
       false,
       "/redirect/302?to=HTTPS_ECHO",
       {},
       "echo",
       {{"http", "GET", nullptr}, {"https", "GET", nullptr}}},
      {"https to http",
       0,
       true,
       "/redirect/302?to=HTTP_ECHO",
       {},
       "echo",
       {{"https", "GET", nullptr}, {"http", "GET", nullptr}}},
      {"no_redirect",
       1,
       false,
       "/redirect/302?to=ECHO",
       true,
       "redirect",
       {{"http", "POST", "list"}}},
      // The redirect is decided on the head alone; waiting for the rest of the
      // response once left it unfollowed when the body came in a later packet.
      {"302 whose body comes late",
       0,
       false,
       "/redirect-slow-body/302?to=ECHO",
       {},
       "echo",
       {{"http", "GET", nullptr}, {"http", "GET", nullptr}}},
      {"https POST 302 whose body comes late, to http",
       1,
       true,
       "/redirect-slow-body/302?to=HTTP_ECHO",
       {},
       "echo",
       {{"https", "POST", "list"}, {"http", "GET", nullptr}}},
      {"five hops",
       0,
       false,
       "/hops/5",
       {},
       "done",
       std::vector<Hop>(6, Hop{"http", "GET", nullptr})},
  };
  WineDifferences wine;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (wine.leave_out(c.name, c.wine)) continue;
    const std::string token = new_token();
    const std::string route = with_redirect_target(c.route, token);
    const std::string url = c.https ? https_url(token, route) : http_url(token, route);
    const Outputs outputs = fetch(url, c.method, "list", nullptr, c.no_redirect);
    EXPECT_EQ(outputs.body, c.answer);

    const auto requests = recorded_requests(token);
    ASSERT_EQ(requests.size(), c.hops.size());
    for (std::size_t i = 0; i < requests.size(); ++i) {
      SCOPED_TRACE(i);
      EXPECT_EQ(requests[i].scheme, c.hops[i].scheme);
      EXPECT_TRUE(requests[i].request_line().starts_with(std::string(c.hops[i].verb) + " "))
          << requests[i].request_line();
      EXPECT_EQ(requests[i].body(), c.hops[i].body ? c.hops[i].body : "");
      EXPECT_EQ(requests[i].has_header("Content-Length"), c.hops[i].body != nullptr);
    }
    if (c.no_redirect == true) {
      const std::string headers = text_of(outputs.received_headers);
      EXPECT_TRUE(headers.starts_with("HTTP/1.1 302 Found\r\n")) << headers;
      EXPECT_NE(headers.find("\r\nLocation: /t/" + token + "/echo\r\n"), std::string::npos);
    }
  }
  LORVANE_SKIP_WINE_DIFFERENCES(wine);
}

// The failure table: nothing is reported, the outputs show what happened.
TEST(WebRequestNetTest, FailuresShowInTheOutputs) {
  const std::string spaces(5000, ' ');
  struct Case {
    const char* name;
    std::string url;
    const char* send_cookies;  // null: not given
    std::string body;
    const char* headers_begin;  // null: the 5000 prepared spaces
    const char* cookies;
    const char* wine = nullptr;  // how Wine's wininet.dll differs, if it does
  };
  const char* const query_writes =
      "Wine's header query after a failed send writes \"\\r\\n\" into the buffer";
  const Case cases[] = {
      {"refused", "http://127.0.0.1:" + std::to_string(refused_port()) + "/x", nullptr, "", nullptr,
       "", query_writes},
      {"refused, cookies given", "http://127.0.0.1:" + std::to_string(refused_port()) + "/x", "k=v",
       "", nullptr, "k=v", query_writes},
      {"dropped mid-body", http_url(new_token(), "/drop"), nullptr, std::string(1000, 'x'),
       "HTTP/1.1 200 OK\r\n", ""},
      {"header block over 5000 bytes", http_url(new_token(), "/big-headers"), nullptr, "big",
       nullptr, "",
       "Wine cuts header lines of over 4 KiB short, so the block fits and its cookie is "
       "collected"},
      // The host is a name of its own, never read as URL syntax: no server of
      // that name exists, and none other may be reached instead.
      {"user name in front of the host",
       "http://user@" + host_of(false) + "/t/" + new_token() + "/echo", nullptr, "", nullptr, "",
       query_writes},
  };
  WineDifferences wine;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (wine.leave_out(c.name, c.wine)) continue;
    Text send(c.send_cookies);
    const Outputs outputs = fetch(c.url, std::nullopt, {}, c.send_cookies ? &send : nullptr);
    EXPECT_EQ(outputs.body, c.body);
    const std::string headers = text_of(outputs.received_headers);
    if (c.headers_begin == nullptr) {
      EXPECT_EQ(headers, spaces);
    } else {
      EXPECT_TRUE(headers.starts_with(c.headers_begin)) << headers;
    }
    EXPECT_EQ(outputs.received_cookies, Text(c.cookies));
  }
  LORVANE_SKIP_WINE_DIFFERENCES(wine);
}

// The server faults of the fault matrix that need no server of the native
// build's own, so that they run against wininet.dll as well: what the
// outputs show, and the size reported for a header block too large to read.
TEST(WebRequestNetTest, ServerFaultsShowInTheOutputs) {
  struct Case {
    const char* route;
    std::string body;
    const char* headers_begin;  // null: the 5000 prepared spaces
    std::uint32_t oversized_headers;
    const char* wine = nullptr;  // how Wine's wininet.dll differs, if it does
  };
  const char* const query_writes =
      "Wine's header query after a failed send writes \"\\r\\n\" into the buffer";
  const Case cases[] = {
      {"/reset/status-line", "", nullptr, 0, query_writes},
      {"/reset/headers", "", nullptr, 0,
       "Wine hands back the part of the head that came before the reset as the response's"},
      {"/reset/body", std::string(1000, 'x'), "HTTP/1.1 200 OK\r\n", 0},
      {"/garbage-status", "", nullptr, 0,
       "Wine reads a status line that is not HTTP's as an HTTP/1.0 response whose body is "
       "what follows that line"},
      {"/header-block?bytes=4999", "body", "HTTP/1.1 200 OK\r\n", 0},
      {"/header-block?bytes=5000", "body", nullptr, 5001},
      {"/header-block?bytes=65536", "body", nullptr, 65537},
      {"/empty", "", "HTTP/1.1 200 OK\r\n", 0},
      {"/loop", "", nullptr, 0, "Wine has no redirect limit: a loop goes on"},
      {"/redirect-ftp", "to ftp", "HTTP/1.1 302 Found\r\n", 0},
  };
  WineDifferences wine;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.route);
    if (wine.leave_out(c.route, c.wine)) continue;
    Text headers;
    std::uint32_t oversized = 99;
    const Bytes body = web_request(Text(http_url(new_token(), c.route)), std::nullopt, {}, nullptr,
                                   nullptr, nullptr, &headers, std::nullopt, nullptr, {},
                                   std::nullopt, std::nullopt, std::nullopt, &oversized);
    EXPECT_EQ(text_of(body), c.body);
    if (c.headers_begin == nullptr) {
      EXPECT_EQ(text_of(headers), std::string(5000, ' '));
    } else {
      EXPECT_TRUE(text_of(headers).starts_with(c.headers_begin)) << text_of(headers);
    }
    EXPECT_EQ(oversized, c.oversized_headers);
  }
  LORVANE_SKIP_WINE_DIFFERENCES(wine);
}

// Through the forward proxy: web_request names it for http only
// ("http=" + address) on http URLs and for every scheme on https URLs, so
// https goes by CONNECT; a hop to the other scheme follows the same list.
// The server sees tinyproxy's Via line on what came through it in the clear;
// the proxy's request count shows the tunnels.
TEST(WebRequestNetTest, ProxyCarriesTheSchemesItIsNamedFor) {
  struct Case {
    const char* name;
    bool https;
    const char* route;
    bool proxy;
    std::vector<bool> via;       // per hop: the Via line arrived
    long proxied;                // requests the proxy took
    const char* wine = nullptr;  // how Wine's wininet.dll differs, if it does
  };
  const Case cases[] = {
      {"http", false, "/echo", true, {true}, 1},
      {"https by CONNECT", true, "/echo", true, {false}, 1},
      {"http, then https direct",
       false,
       "/redirect/302?to=HTTPS_ECHO",
       true,
       {true, false},
       1,
       "Wine uses the \"http=\" proxy for https as well"},
      {"https, then http by the proxy", true, "/redirect/302?to=HTTP_ECHO", true, {false, true}, 2},
      {"http, an address with a fragment", false, "/echo?site=a#top", true, {true}, 1},
      {"direct", false, "/echo", false, {false}, 0},
  };
  const std::string proxy = "127.0.0.1:" + std::to_string(proxy_port());
  WineDifferences wine;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (wine.leave_out(c.name, c.wine)) continue;
    const std::string token = new_token();
    const std::string route = with_redirect_target(c.route, token);
    const long before = proxy_request_count();
    const Outputs outputs = fetch(c.https ? https_url(token, route) : http_url(token, route),
                                  std::nullopt, {}, nullptr, std::nullopt, c.proxy ? proxy : "");
    EXPECT_EQ(outputs.body, "echo");
    // Asking for the count is a request as well.
    EXPECT_EQ(proxy_request_count() - before, c.proxied + 1);

    const auto requests = recorded_requests(token);
    ASSERT_EQ(requests.size(), c.via.size());
    for (std::size_t i = 0; i < requests.size(); ++i) {
      SCOPED_TRACE(i);
      EXPECT_EQ(requests[i].has_header("Via"), c.via[i]) << requests[i].raw;
    }
  }
  LORVANE_SKIP_WINE_DIFFERENCES(wine);
}

}  // namespace
}  // namespace lorvane::net_test
