#include "web/web_request.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/internet.h"
#include "tests/support/recording_internet.h"
#include "tests/support/text_printers.h"
#include "web/headers.h"

namespace lorvane {
namespace {

namespace net = ::lorvane::platform;
using Strings = std::vector<std::string>;

constexpr char ok_headers[] = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\n";

constexpr net::DWORD always = net::INTERNET_FLAG_RELOAD | net::INTERNET_FLAG_NEED_FILE;
constexpr net::DWORD http_flags = always | net::INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTPS;
constexpr net::DWORD https_flags = always | net::INTERNET_FLAG_SECURE;

class WebRequest : public ::testing::Test {
 protected:
  void SetUp() override { answer(ok_headers, {"ok"}); }

  static void answer(std::optional<std::string> raw_headers, Strings body) {
    recording::Script script;
    script.raw_headers = std::move(raw_headers);
    script.body_pieces = std::move(body);
    recording::reset(std::move(script));
  }

  static const recording::Calls& calls() { return recording::calls(); }

  // The header block and body of the one request sent.
  static std::string sent_headers() {
    EXPECT_EQ(calls().send.size(), 1u);
    return calls().send.empty() ? "" : calls().send[0].headers.value_or("<null>");
  }
  static std::optional<std::string> sent_body() {
    EXPECT_EQ(calls().send.size(), 1u);
    return calls().send.empty() ? "<not sent>" : calls().send[0].body;
  }
  static net::DWORD request_flags() {
    EXPECT_EQ(calls().open_request.size(), 1u);
    return calls().open_request.empty() ? 0 : calls().open_request[0].flags;
  }
};

// The start-up notice: a GET with every optional parameter left out.
TEST_F(WebRequest, NoticeCallsEachFunctionWithItsExactArguments) {
  const Bytes body = web_request("https://notice.example/abc.txt");
  EXPECT_EQ(body.view(), "ok");

  EXPECT_EQ(calls().sequence,
            (Strings{"InternetOpenA", "InternetConnectA", "HttpOpenRequestA", "InternetSetOptionA",
                     "HttpSendRequestA", "InternetReadFile", "InternetReadFile", "HttpQueryInfoA",
                     "InternetCloseHandle", "InternetCloseHandle", "InternetCloseHandle"}));

  ASSERT_EQ(calls().open.size(), 1u);
  const recording::OpenCall& open = calls().open[0];
  EXPECT_EQ(open.agent, "Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)");
  EXPECT_EQ(open.access_type, net::INTERNET_OPEN_TYPE_DIRECT);
  EXPECT_EQ(open.proxy, std::nullopt);
  EXPECT_EQ(open.proxy_bypass, std::nullopt);
  EXPECT_EQ(open.flags, 0u);

  ASSERT_EQ(calls().connect.size(), 1u);
  const recording::ConnectCall& connect = calls().connect[0];
  EXPECT_EQ(connect.internet, "internet");
  EXPECT_EQ(connect.server_name, "notice.example");
  EXPECT_EQ(connect.port, 443);
  EXPECT_EQ(connect.user_name, std::nullopt);
  EXPECT_EQ(connect.password, std::nullopt);
  EXPECT_EQ(connect.service, net::INTERNET_SERVICE_HTTP);
  EXPECT_EQ(connect.flags, 0u);
  EXPECT_EQ(connect.context, 0u);

  ASSERT_EQ(calls().open_request.size(), 1u);
  const recording::OpenRequestCall& request = calls().open_request[0];
  EXPECT_EQ(request.connection, "connection");
  EXPECT_EQ(request.verb, "GET");
  EXPECT_EQ(request.object_name, "/abc.txt");
  EXPECT_EQ(request.version, "HTTP/1.1");
  EXPECT_EQ(request.referrer, std::nullopt);
  EXPECT_TRUE(request.accept_types_null);
  EXPECT_EQ(request.flags, 0x80800010u);
  EXPECT_EQ(request.context, 0u);

  ASSERT_EQ(calls().set_option.size(), 1u);
  const recording::SetOptionCall& option = calls().set_option[0];
  EXPECT_EQ(option.handle, "request");
  EXPECT_EQ(option.option, 31u);
  EXPECT_EQ(option.length, 4u);
  ASSERT_TRUE(option.value.has_value());
  ASSERT_EQ(option.value->size(), 4u);
  net::DWORD security = 0;
  std::memcpy(&security, option.value->data(), 4);
  EXPECT_EQ(security, 0x1F380u);

  ASSERT_EQ(calls().send.size(), 1u);
  const recording::SendCall& send = calls().send[0];
  EXPECT_EQ(send.request, "request");
  const std::string block =
      "Accept: */*\r\nReferer: https://notice.example/abc.txt\r\nAccept-Language: zh-cn";
  EXPECT_EQ(send.headers, block);
  EXPECT_EQ(send.headers_length, block.size());
  // A GET sends an empty text, not a null address.
  EXPECT_EQ(send.body, "");
  EXPECT_EQ(send.body_length, 0u);

  ASSERT_EQ(calls().query.size(), 1u);
  const recording::QueryCall& query = calls().query[0];
  EXPECT_EQ(query.request, "request");
  EXPECT_EQ(query.info_level, net::HTTP_QUERY_RAW_HEADERS_CRLF);
  EXPECT_EQ(query.length_before, 5000u);
  EXPECT_EQ(query.buffer_before, std::string(5000, ' '));
  EXPECT_FALSE(query.length_null);
  EXPECT_TRUE(query.index_null);

  EXPECT_EQ(calls().closed, (Strings{"request", "connection", "internet"}));
}

// The submit command: a POST of the URL list as text.
TEST_F(WebRequest, SubmitPostsTheTextWithTheFormContentType) {
  const Text urls = "http://a.example/1\r\nhttp://a.example/2";
  const Bytes body = web_request("http://127.0.0.1:8080/urls?site=a.example&token=T", 1, urls);
  EXPECT_EQ(body.view(), "ok");
  ASSERT_EQ(calls().connect.size(), 1u);
  EXPECT_EQ(calls().connect[0].server_name, "127.0.0.1");
  EXPECT_EQ(calls().connect[0].port, 8080);
  ASSERT_EQ(calls().open_request.size(), 1u);
  EXPECT_EQ(calls().open_request[0].verb, "POST");
  EXPECT_EQ(calls().open_request[0].object_name, "/urls?site=a.example&token=T");
  EXPECT_EQ(request_flags(), 0x80004010u);
  EXPECT_EQ(sent_headers(),
            "Accept: */*\r\nReferer: http://127.0.0.1:8080/urls?site=a.example&token=T"
            "\r\nAccept-Language: zh-cn\r\nContent-Type: application/x-www-form-urlencoded");
  EXPECT_EQ(sent_body(), std::string(urls.view()));
  EXPECT_EQ(calls().send[0].body_length, urls.view().size());
}

TEST_F(WebRequest, RequestFlags) {
  struct Case {
    const char* url;
    bool give_cookies;
    std::optional<bool> no_redirect;
    net::DWORD flags;
  };
  constexpr Case cases[] = {
      {"http://srv/", false, std::nullopt, http_flags},
      {"srv/", false, std::nullopt, http_flags},
      {"https://srv/", false, std::nullopt, https_flags},
      {"HTTPS://srv/", false, std::nullopt, https_flags},
      {"http://srv/", false, false, http_flags},
      {"http://srv/", false, true, http_flags | net::INTERNET_FLAG_NO_AUTO_REDIRECT},
      {"https://srv/", true, std::nullopt, https_flags | net::INTERNET_FLAG_NO_COOKIES},
      {"http://srv/", true, true,
       http_flags | net::INTERNET_FLAG_NO_COOKIES | net::INTERNET_FLAG_NO_AUTO_REDIRECT},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.url << " cookies " << c.give_cookies);
    recording::reset();
    Text cookies;
    web_request(c.url, std::nullopt, {}, c.give_cookies ? &cookies : nullptr, nullptr, nullptr,
                nullptr, c.no_redirect);
    EXPECT_EQ(request_flags(), c.flags);
  }
}

TEST_F(WebRequest, CapitalHttpsConnectsSecurelyToPort443) {
  web_request("HTTPS://Srv.Example/Path");
  ASSERT_EQ(calls().connect.size(), 1u);
  EXPECT_EQ(calls().connect[0].server_name, "srv.example");
  EXPECT_EQ(calls().connect[0].port, 443);
  EXPECT_EQ(calls().open_request[0].object_name, "/Path");
  EXPECT_EQ(request_flags(), https_flags);
}

TEST_F(WebRequest, ProxyForms) {
  struct Case {
    const char* url;
    const char* proxy;
    net::DWORD access_type;
    std::optional<std::string> proxy_list;
    std::optional<std::string> bypass;
  };
  const Case cases[] = {
      {"http://srv/", "", net::INTERNET_OPEN_TYPE_DIRECT, std::nullopt, std::nullopt},
      {"https://srv/", "", net::INTERNET_OPEN_TYPE_DIRECT, std::nullopt, std::nullopt},
      {"http://srv/", "127.0.0.1:3128", net::INTERNET_OPEN_TYPE_PROXY, "http=127.0.0.1:3128", ""},
      {"srv/", "127.0.0.1:3128", net::INTERNET_OPEN_TYPE_PROXY, "http=127.0.0.1:3128", ""},
      {"https://srv/", "127.0.0.1:3128", net::INTERNET_OPEN_TYPE_PROXY, "127.0.0.1:3128", ""},
      {"Https://srv/", "p:1", net::INTERNET_OPEN_TYPE_PROXY, "p:1", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.url << " via «" << c.proxy << "»");
    recording::reset();
    web_request(c.url, std::nullopt, {}, nullptr, nullptr, nullptr, nullptr, std::nullopt, nullptr,
                c.proxy);
    ASSERT_EQ(calls().open.size(), 1u);
    EXPECT_EQ(calls().open[0].access_type, c.access_type);
    EXPECT_EQ(calls().open[0].proxy, c.proxy_list);
    EXPECT_EQ(calls().open[0].proxy_bypass, c.bypass);
  }
}

TEST_F(WebRequest, MethodsAndTheirBodies) {
  struct Case {
    std::optional<std::int32_t> method;
    const char* verb;
    bool sends_body;
  };
  constexpr Case cases[] = {
      {std::nullopt, "GET", false},
      {0, "GET", false},
      {1, "POST", true},
      {2, "HEAD", true},
      {3, "PUT", true},
      {4, "OPTIONS", true},
      {5, "DELETE", true},
      {6, "TRACE", true},
      {7, "CONNECT", true},
      {8, "GET", false},
      {-1, "GET", false},
      {INT32_MIN, "GET", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "method " << c.method.value_or(-999));
    recording::reset();
    Bytes post_bytes;
    Text headers;
    web_request("http://srv/", c.method, "text", nullptr, nullptr, &headers, nullptr, std::nullopt,
                &post_bytes);
    ASSERT_EQ(calls().open_request.size(), 1u);
    EXPECT_EQ(calls().open_request[0].verb, c.verb);
    EXPECT_EQ(sent_body(), c.sends_body ? "text" : "");
    // The caller's variable is filled only when a body goes out.
    EXPECT_EQ(post_bytes.view(), c.sends_body ? "text" : "");
    const bool form = headers.view().find("\r\nContent-Type: application/x-www-form-urlencoded") !=
                      std::string_view::npos;
    EXPECT_EQ(form, std::string_view(c.verb) == "POST");
  }
}

TEST_F(WebRequest, GetSendsNoBodyWhateverIsGiven) {
  Bytes post_bytes(std::string_view("given"));
  web_request("http://srv/", 0, "text", nullptr, nullptr, nullptr, nullptr, std::nullopt,
              &post_bytes);
  EXPECT_EQ(sent_body(), "");
  EXPECT_EQ(calls().send[0].body_length, 0u);
  EXPECT_EQ(post_bytes.view(), "given");
}

TEST_F(WebRequest, PostBodies) {
  struct Case {
    const char* name;
    std::string post_bytes;
    const char* post_text;
    std::optional<std::string> body;  // nullopt: a null address
    std::string post_bytes_after;
  };
  const Case cases[] = {
      {"bytes win over text", std::string("B\0Y\xFF", 4), "text", std::string("B\0Y\xFF", 4),
       std::string("B\0Y\xFF", 4)},
      {"text fills the bytes", "", "t\xB0\xA1\r\n", "t\xB0\xA1\r\n", "t\xB0\xA1\r\n"},
      {"both empty", "", "", std::nullopt, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    recording::reset();
    Bytes post_bytes(c.post_bytes);
    web_request("http://srv/", 1, c.post_text, nullptr, nullptr, nullptr, nullptr, std::nullopt,
                &post_bytes);
    EXPECT_EQ(sent_body(), c.body);
    EXPECT_EQ(calls().send[0].body_length, c.body ? c.body->size() : 0u);
    EXPECT_EQ(post_bytes.view(), c.post_bytes_after);
  }
}

TEST_F(WebRequest, PutSendsTheTextWithoutContentType) {
  web_request("http://srv/doc", 3, "payload");
  EXPECT_EQ(sent_headers(), "Accept: */*\r\nReferer: http://srv/doc\r\nAccept-Language: zh-cn");
  EXPECT_EQ(sent_body(), "payload");
}

TEST_F(WebRequest, ExtraHeadersAreNormalisedCompletedAndSent) {
  Text headers = "x-requested-with: XMLHttpRequest\r\nuser-agent: Probe/2\r\nno colon\r\n";
  web_request("http://srv/", 1, "b", nullptr, nullptr, &headers);
  const std::string block =
      "X-Requested-With: XMLHttpRequest\r\nUser-Agent: Probe/2\r\nAccept: */*"
      "\r\nReferer: http://srv/\r\nAccept-Language: zh-cn"
      "\r\nContent-Type: application/x-www-form-urlencoded";
  EXPECT_EQ(sent_headers(), block);
  EXPECT_EQ(headers, Text(block));
  EXPECT_EQ(calls().open[0].agent, "Probe/2");
}

TEST_F(WebRequest, HeaderSwitches) {
  struct Case {
    const char* name;
    const char* headers;
    const char* cookies;  // nullptr: not given
    std::optional<bool> complete_headers;
    std::optional<bool> fix_header_case;
    const char* block;
    const char* agent;
  };
  constexpr Case cases[] = {
      {"names kept as written", "user-agent: Foo", nullptr, std::nullopt, false,
       "user-agent: Foo\r\nAccept: */*\r\nReferer: http://srv/\r\nAccept-Language: zh-cn", "Foo"},
      {"no defaults", "x: 1", nullptr, false, std::nullopt, "X: 1", default_user_agent},
      {"no defaults, cookies only", "", "a=1", false, std::nullopt, "\r\nCookie: a=1",
       default_user_agent},
      {"cookie line after the defaults", "", "Cookie: a=1", std::nullopt, std::nullopt,
       "Accept: */*\r\nReferer: http://srv/\r\nAccept-Language: zh-cn\r\nCookie: a=1",
       default_user_agent},
      {"empty cookies add no line", "", "", std::nullopt, std::nullopt,
       "Accept: */*\r\nReferer: http://srv/\r\nAccept-Language: zh-cn", default_user_agent},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    recording::reset();
    Text headers = c.headers;
    Text cookies = c.cookies == nullptr ? "" : c.cookies;
    web_request("http://srv/", std::nullopt, {}, c.cookies == nullptr ? nullptr : &cookies, nullptr,
                &headers, nullptr, std::nullopt, nullptr, {}, std::nullopt, c.complete_headers,
                c.fix_header_case);
    EXPECT_EQ(sent_headers(), c.block);
    EXPECT_EQ(calls().send[0].headers_length, std::strlen(c.block));
    EXPECT_EQ(calls().open[0].agent, c.agent);
  }
}

TEST_F(WebRequest, SendCookiesEmptyDiffersFromOmitted) {
  const std::string raw = "HTTP/1.1 200 OK\r\nSet-Cookie: a=1; path=/\r\n\r\n";

  answer(raw, {"ok"});
  Text received = "before";
  web_request("http://srv/", std::nullopt, {}, nullptr, &received);
  EXPECT_EQ(request_flags() & net::INTERNET_FLAG_NO_COOKIES, 0u);
  EXPECT_EQ(received, Text("a=1"));

  answer(raw, {"ok"});
  Text sent;
  web_request("http://srv/", std::nullopt, {}, &sent, &received);
  EXPECT_NE(request_flags() & net::INTERNET_FLAG_NO_COOKIES, 0u);
  EXPECT_EQ(sent_headers().find("Cookie"), std::string::npos);
  // The merge ran and rewrote the caller's cookies too.
  EXPECT_EQ(received, Text("a=1"));
  EXPECT_EQ(sent, Text("a=1"));
}

TEST_F(WebRequest, ReceivedCookiesAreMergedWithTheSentOnes) {
  struct Case {
    const char* name;
    std::optional<bool> complete_cookies;
    const char* received;
    const char* sent_after;
  };
  constexpr Case cases[] = {
      {"merge", std::nullopt, "a=1; b=2; c=3", "a=1; b=2; c=3"},
      {"merge asked for", true, "a=1; b=2; c=3", "a=1; b=2; c=3"},
      {"no merge", false, "a=1; b=2", "b=9; c = 3"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    answer("HTTP/1.1 200 OK\r\nSet-Cookie: a=1\r\nSet-Cookie: b=2; HttpOnly\r\n\r\n", {"ok"});
    Text sent = "b=9; c = 3";
    Text received;
    web_request("http://srv/", std::nullopt, {}, &sent, &received, nullptr, nullptr, std::nullopt,
                nullptr, {}, c.complete_cookies);
    EXPECT_EQ(sent_headers(),
              "Accept: */*\r\nReferer: http://srv/\r\nAccept-Language: zh-cn"
              "\r\nCookie: b=9; c = 3");
    EXPECT_EQ(received, Text(c.received));
    EXPECT_EQ(sent, Text(c.sent_after));
  }
}

TEST_F(WebRequest, CollectsSetCookieLines) {
  struct Case {
    const char* raw_headers;
    const char* cookies;
  };
  constexpr Case cases[] = {
      {"HTTP/1.1 200 OK\r\nSet-Cookie: a=1; path=/\r\nSet-Cookie: b=2\r\n\r\n", "a=1; b=2"},
      {"HTTP/1.1 200 OK\r\nset-cookie: c=3\r\nSet-Cookie:d=4\r\n\r\n", ""},
      {"HTTP/1.1 200 OK\r\nSet-Cookie: ; x\r\nSet-Cookie: ; x\r\n\r\n", "; "},
      {"HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\n", ""},
      {"HTTP/1.1 200 OK\r\nSet-Cookie:  e=5 \r\n\r\n", "e=5"},
      {"HTTP/1.1 200 OK\r\nSet-Cookie: f=1; Secure; HttpOnly\r\nX: y\r\nSet-Cookie: g=\xB0\xA1\r\n",
       "f=1; g=\xB0\xA1"},
      // Without ";" every "Set-Cookie:" in any case goes from the line.
      {"HTTP/1.1 200 OK\r\nSet-Cookie: h=SET-COOKIE:x\r\n\r\n", "h=x"},
      {"HTTP/1.1 404 Not Found\r\nSet-Cookie: i=1\r\n\r\n", "i=1"},
      {"", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.raw_headers);
    answer(c.raw_headers, {"body"});
    Text received_cookies = "before";
    Text received_headers;
    const Bytes body = web_request("http://srv/", std::nullopt, {}, nullptr, &received_cookies,
                                   nullptr, &received_headers);
    EXPECT_EQ(body.view(), "body");
    EXPECT_EQ(received_headers, Text(c.raw_headers));
    EXPECT_EQ(received_cookies, Text(c.cookies));
  }
}

TEST_F(WebRequest, EarlyFailuresCloseWhatIsOpenAndTouchNoOutput) {
  struct Case {
    const char* name;
    recording::Script script;
    Strings sequence;
  };
  recording::Script no_internet, no_connection, no_request;
  no_internet.fail_internet_open = true;
  no_connection.fail_connect = true;
  no_request.fail_open_request = true;
  const Case cases[] = {
      {"internet", no_internet, {"InternetOpenA"}},
      {"connection", no_connection, {"InternetOpenA", "InternetConnectA", "InternetCloseHandle"}},
      {"request",
       no_request,
       {"InternetOpenA", "InternetConnectA", "HttpOpenRequestA", "InternetCloseHandle",
        "InternetCloseHandle"}},
  };
  const Strings closed[] = {{}, {"internet"}, {"connection", "internet"}};
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const Case& c = cases[i];
    SCOPED_TRACE(c.name);
    recording::reset(c.script);
    Text send_cookies = "a=1";
    Text received_cookies = "kept cookies";
    Text headers = "x-a: 1";
    Text received_headers = "kept headers";
    Bytes post_bytes;
    std::uint32_t oversized_headers = 77;
    const Bytes body = web_request("http://srv/", 1, "text", &send_cookies, &received_cookies,
                                   &headers, &received_headers, std::nullopt, &post_bytes, {},
                                   std::nullopt, std::nullopt, std::nullopt, &oversized_headers);
    EXPECT_TRUE(body.empty());
    EXPECT_EQ(calls().sequence, c.sequence);
    EXPECT_EQ(calls().closed, closed[i]);
    // Normalised before the first open, completed only after the last.
    EXPECT_EQ(headers, Text("X-A: 1"));
    EXPECT_EQ(send_cookies, Text("a=1"));
    EXPECT_EQ(received_cookies, Text("kept cookies"));
    EXPECT_EQ(received_headers, Text("kept headers"));
    EXPECT_EQ(oversized_headers, 77u);
    EXPECT_TRUE(post_bytes.empty());
  }
}

// A port the platform's 16 bits cannot hold would reach another port.
TEST_F(WebRequest, PortOutOfRangeOpensNoConnection) {
  for (const char* url : {"http://srv:65616/", "http://srv:-1/", "http://srv:99999/"}) {
    SCOPED_TRACE(url);
    recording::reset();
    EXPECT_TRUE(web_request(url).empty());
    EXPECT_EQ(calls().sequence, (Strings{"InternetOpenA", "InternetCloseHandle"}));
    EXPECT_EQ(calls().closed, Strings{"internet"});
  }
  recording::reset();
  web_request("http://srv:65535/");
  ASSERT_EQ(calls().connect.size(), 1u);
  EXPECT_EQ(calls().connect[0].port, 65535);
  recording::reset();
  web_request("http://srv:abc/");
  ASSERT_EQ(calls().connect.size(), 1u);
  EXPECT_EQ(calls().connect[0].port, 0);
}

TEST_F(WebRequest, RawHeadersWhenTheQueryWritesNothingUsable) {
  struct Case {
    const char* name;
    std::optional<std::string> raw_headers;
    std::optional<std::string> raw_buffer_bytes;
    std::string received_headers;
    std::uint32_t oversized_headers = 0;  // as web_request reports it
  };
  // With its terminating zero the block may take the whole buffer, no more.
  const std::string start = "HTTP/1.1 200 OK\r\nSet-Cookie: a=1\r\nX: ";
  const std::string fits = start + std::string(4999 - start.size(), 'x');
  const std::string too_big = fits + "x";
  const Case cases[] = {
      {"nothing written", std::nullopt, std::nullopt, std::string(5000, ' ')},
      {"block too big", too_big, std::nullopt, std::string(5000, ' '), 5001},
      {"block of 64 KiB", std::string(65536, 'h'), std::nullopt, std::string(5000, ' '), 65537},
      {"4999 bytes fit", fits, std::nullopt, fits},
      {"no terminator", std::nullopt, std::string(5000, 'z'), std::string(5000, 'z')},
      {"zero inside", std::nullopt, std::string("HTTP/1.1 200 OK\r\n\0junk", 23),
       "HTTP/1.1 200 OK\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    recording::Script script;
    script.raw_headers = c.raw_headers;
    script.raw_buffer_bytes = c.raw_buffer_bytes;
    recording::reset(script);
    Text received_headers;
    Text received_cookies = "before";
    std::uint32_t oversized_headers = 99;
    web_request("http://srv/", std::nullopt, {}, nullptr, &received_cookies, nullptr,
                &received_headers, std::nullopt, nullptr, {}, std::nullopt, std::nullopt,
                std::nullopt, &oversized_headers);
    EXPECT_EQ(received_headers.view(), c.received_headers);
    EXPECT_EQ(received_cookies, Text(c.received_headers == fits ? "a=1" : ""));
    EXPECT_EQ(oversized_headers, c.oversized_headers);
    // Telling of a block too large takes no call of its own.
    EXPECT_EQ(calls().query.size(), 1u);
  }
}

TEST_F(WebRequest, ReadsInto1024ByteBlocksUntilACountOf0) {
  const std::string big(3000, 'q');
  answer(ok_headers, {"a", std::string(1023, 'b'), std::string(1024, 'c'), big, "end"});
  const Bytes body = web_request("http://srv/");
  EXPECT_EQ(body.view(), "a" + std::string(1023, 'b') + std::string(1024, 'c') + big + "end");

  const std::vector<recording::ReadCall>& reads = calls().read;
  // The 3000-byte piece takes three reads; then one read reports 0.
  ASSERT_EQ(reads.size(), 8u);
  for (const recording::ReadCall& read : reads) {
    EXPECT_EQ(read.file, "request");
    EXPECT_EQ(read.size, 1024u);
    EXPECT_EQ(read.buffer, reads[0].buffer);
  }
  EXPECT_EQ(reads.back().delivered, 0u);
}

TEST_F(WebRequest, AFailingReadEndsTheBodyWithWhatCameBefore) {
  recording::Script script;
  script.raw_headers = ok_headers;
  script.body_pieces = {"abc", "def", "ghi"};
  script.fail_reads_after = 2;
  recording::reset(script);
  EXPECT_EQ(web_request("http://srv/").view(), "abcdef");
  EXPECT_EQ(calls().read.size(), 3u);
  EXPECT_EQ(calls().closed, (Strings{"request", "connection", "internet"}));
}

TEST_F(WebRequest, ErrorStatusBodyIsReturned) {
  answer("HTTP/1.1 404 Not Found\r\nContent-Length: 9\r\n\r\n", {"not found"});
  EXPECT_EQ(web_request("http://srv/missing").view(), "not found");
}

TEST_F(WebRequest, CollectsALargeBodyExactly) {
  constexpr std::int64_t length = 16 * 1024 * 1024 + 5;
  recording::Script script;
  script.raw_headers = ok_headers;
  script.synthetic_body_length = length;
  script.record_reads = false;
  recording::reset(script);
  const Bytes body = web_request("http://srv/big");
  ASSERT_EQ(static_cast<std::int64_t>(body.view().size()), length);
  std::int64_t wrong = 0;
  for (std::int64_t i = 0; i < length; ++i) {
    if (body.view()[static_cast<std::size_t>(i)] != recording::synthetic_byte(i)) ++wrong;
  }
  EXPECT_EQ(wrong, 0);
  EXPECT_EQ(calls().read_count, length / 1024 + 2);
}

}  // namespace
}  // namespace lorvane
