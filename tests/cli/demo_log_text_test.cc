// What the demo's request log shows of a request's bytes.
#include <gtest/gtest.h>

#include <string>

#include "demo/request_log.h"

namespace lorvane::demo {
namespace {

TEST(LogText, EscapesWhatCouldDriveATerminal) {
  struct Case {
    std::string bytes;
    std::string shown;
  };
  const Case cases[] = {
      {"", ""},
      {"www.example.com/a?b=c", "www.example.com/a?b=c"},
      {"\x1B[2J", "\\x1B[2J"},
      {std::string("a\0b", 3), "a\\x00b"},
      {"\r\n\t\x7F", "\\x0D\\x0A\\x09\\x7F"},
      {"a\\b", "a\\\\b"},
      // UTF-8 as it is, but for the C1 controls and the marks that turn or
      // break a line.
      {"\xE4\xB8\xAD\xE6\x96\x87", "\xE4\xB8\xAD\xE6\x96\x87"},
      {"\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80"},
      {"a\xC2\x9B"
       "1m",
       "a\\xC2\\x9B1m"},
      {"\xE2\x80\xAE"
       "abc",
       "\\xE2\\x80\\xAEabc"},
      {"\xE2\x80\xA8", "\\xE2\\x80\\xA8"},
      // Not UTF-8: two-byte characters of code page 936 in UTF-8, including
      // those whose second byte is ASCII; other bytes escaped.
      {"\xD6\xD0\xCE\xC4", "\xE4\xB8\xAD\xE6\x96\x87"},
      {"\x81\x40", "\xE4\xB8\x82"},
      {"\xB0\x61", "\xE7\x99\xAE"},
      {"\xD6\xD0\xFF", "\xE4\xB8\xAD\\xFF"},
      {"\xD6", "\\xD6"},
      {"\x80", "\\x80"},
      {"\xD6\x1B", "\\xD6\\x1B"},
      // No UTF-8 (an overlong "/", a surrogate), so code page 936.
      {"\xC0\xAF", "\xE8\x9C\xA1"},
      {"\xED\xA0\x80", "\xE9\xA0\x8E\\x80"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bytes);
    EXPECT_EQ(log_text(c.bytes), c.shown);
  }
}

}  // namespace
}  // namespace lorvane::demo
