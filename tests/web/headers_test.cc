#include "web/headers.h"

#include <gtest/gtest.h>

#include <cstdint>

#include "tests/support/text_printers.h"

namespace lorvane {
namespace {

struct TextCase {
  const char* input;
  const char* expected;
};

TEST(Headers, CapitalizeFirst) {
  constexpr TextCase cases[] = {
      {"", ""},
      {"a", "A"},
      {"abc", "Abc"},
      {"ABC", "ABC"},
      {"1a", "1a"},
      // A two-byte character is left whole, whatever its second byte.
      {"\xB0\x61x", "\xB0\x61x"},
      {"\x81", "\x81"},
  };
  for (const TextCase& c : cases) {
    SCOPED_TRACE(c.input);
    EXPECT_EQ(capitalize_first(c.input), Text(c.expected));
  }
}

TEST(Headers, NormalizeHeaderNames) {
  constexpr TextCase cases[] = {
      {"", ""},
      {"content-type: text/html\r\nx-requested-with: XMLHttpRequest\r\n",
       "Content-Type: text/html\r\nX-Requested-With: XMLHttpRequest"},
      // Only first letters are raised; values keep case and spacing.
      {"ACCEPT: */*", "ACCEPT: */*"},
      {"accept-LANGUAGE: en", "Accept-LANGUAGE: en"},
      {"a:b", "A:b"},
      {"host:  X", "Host:  X"},
      {"x-a: b-c: d-e", "X-A: b-c: d-e"},
      // Every "-" stays, at either end and doubled.
      {"x-: 1", "X-: 1"},
      {"a--b: 1", "A--B: 1"},
      {"-x: 1", "-X: 1"},
      {": empty name", ": empty name"},
      // Lines without ":" vanish, empty ones included.
      {"a: 1\r\n\r\njunk\r\nb: 2", "A: 1\r\nB: 2"},
      {"junk", ""},
      {"\r\n\r\n", ""},
      // A lone line feed is no line break.
      {"a: 1\nb: 2", "A: 1\nb: 2"},
      // Two-byte characters: a "-" is found only at a character start.
      {"\xB0\x61-b: 1", "\xB0\x61-B: 1"},
      {"\x81-x: 1", "\x81-x: 1"},
  };
  for (const TextCase& c : cases) {
    SCOPED_TRACE(c.input);
    EXPECT_EQ(normalize_header_names(c.input), Text(c.expected));
  }
}

TEST(Headers, HeaderValue) {
  constexpr TextCase cases[] = {
      {"", ""},
      {"no colon", ""},
      {"a:", ""},
      {"a: b ", "b"},
      {"a: b: c", "b: c"},
      {"a:\xA1\xA1v w\xA1\xA1 ", "v w"},
      {"a:\tb\t", "\tb\t"},
      {"a: 1\r\nb: 2", "1\r\nb: 2"},
  };
  for (const TextCase& c : cases) {
    SCOPED_TRACE(c.input);
    EXPECT_EQ(header_value(c.input), Text(c.expected));
  }
}

TEST(Headers, ChooseUserAgent) {
  constexpr TextCase cases[] = {
      {"", default_user_agent},
      {"Accept: text/html", default_user_agent},
      {"Accept: */*\r\nUser-Agent:  Foo/1.0 ", "Foo/1.0"},
      {"User-Agent: A\r\nX: 1", "A"},
      {"X-User-Agent: Bar", "Bar"},
      // The presence test ignores case, the extraction does not: the value is
      // then everything after the block's first colon.
      {"USER-AGENT: Foo", "Foo"},
      {"Accept: x\r\nUSER-AGENT: Foo", "x\r\nUSER-AGENT: Foo"},
      // An empty value falls back in the same way.
      {"X: 1\r\nUser-Agent: ", "1\r\nUser-Agent:"},
  };
  for (const TextCase& c : cases) {
    SCOPED_TRACE(c.input);
    EXPECT_EQ(choose_user_agent(c.input), Text(c.expected));
  }
  EXPECT_EQ(Text(default_user_agent), Text("Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)"));
}

TEST(Headers, AddDefaultHeaders) {
  struct Case {
    const char* headers;
    std::int32_t method;
    const char* expected;
  };
  // Referer carries the URL exactly as given.
  constexpr char url[] = "HTTP://Srv/A?b=1";
  constexpr Case cases[] = {
      {"", 1,
       "Accept: */*\r\nReferer: HTTP://Srv/A?b=1\r\nAccept-Language: zh-cn"
       "\r\nContent-Type: application/x-www-form-urlencoded"},
      {"", 0, "Accept: */*\r\nReferer: HTTP://Srv/A?b=1\r\nAccept-Language: zh-cn"},
      // PUT and every method but POST get no Content-Type.
      {"", 3, "Accept: */*\r\nReferer: HTTP://Srv/A?b=1\r\nAccept-Language: zh-cn"},
      // "Accept:" found inside another name counts; "Accept-Language:" does not.
      {"X-Accept: 1", 0, "X-Accept: 1\r\nReferer: HTTP://Srv/A?b=1\r\nAccept-Language: zh-cn"},
      {"accept-language: en", 0, "accept-language: en\r\nAccept: */*\r\nReferer: HTTP://Srv/A?b=1"},
      {"content-type: text/plain", 1,
       "content-type: text/plain\r\nAccept: */*\r\nReferer: HTTP://Srv/A?b=1"
       "\r\nAccept-Language: zh-cn"},
      {"Referer: r\r\nACCEPT: x\r\nAccept-Language: fr", 1,
       "Referer: r\r\nACCEPT: x\r\nAccept-Language: fr"
       "\r\nContent-Type: application/x-www-form-urlencoded"},
      // Found anywhere, a value included.
      {"X: Accept:Referer:Accept-Language:Content-Type:", 1,
       "X: Accept:Referer:Accept-Language:Content-Type:"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.headers);
    Text headers = c.headers;
    add_default_headers(headers, url, c.method);
    EXPECT_EQ(headers, Text(c.expected));
  }
}

TEST(Headers, AddCookieHeader) {
  struct Case {
    const char* headers;
    const char* cookies;
    const char* expected;
  };
  constexpr Case cases[] = {
      {"A: 1", "", "A: 1"},
      {"A: 1", "a=1; b=2", "A: 1\r\nCookie: a=1; b=2"},
      {"A: 1", "Cookie: a=1", "A: 1\r\nCookie: a=1"},
      {"A: 1", "cookie: a=1", "A: 1\r\nCookie: cookie: a=1"},
      // An empty block begins with the line break.
      {"", "a=1", "\r\nCookie: a=1"},
      {"", "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.cookies);
    Text headers = c.headers;
    add_cookie_header(headers, c.cookies);
    EXPECT_EQ(headers, Text(c.expected));
  }
}

}  // namespace
}  // namespace lorvane
