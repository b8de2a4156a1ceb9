#include "cli/terminal_text.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/text_printers.h"

namespace lorvane {
namespace {

using namespace std::string_literals;

TEST(UrlListFromUtf8, JoinsLinesWithCrLfAndConvertsToCodePage936) {
  struct Case {
    std::string input;
    std::string expected;  // code page 936
  };
  const Case cases[] = {
      {"", ""},
      {"\n", ""},  // one empty line
      {"\r\n", ""},
      {"\n\n", "\r\n"},  // two empty lines
      {"a", "a"},
      {"a\n", "a"},
      {"a\r\n", "a"},
      {"a\nb", "a\r\nb"},
      {"a\r\nb\r\n", "a\r\nb"},
      {"a\n\nb\n\n", "a\r\n\r\nb\r\n"},          // inner and trailing empty lines stay
      {"a\r\n\nb", "a\r\n\r\nb"},                // mixed breaks
      {"a\rb\n", "a\rb"},                        // a lone CR is part of its line
      {" a \t\n", " a \t"},                      // spaces are sent as typed
      {"\xEF\xBB\xBFhttp://x/\n", "http://x/"},  // a byte-order mark is no text
      // 中文 and 链接: UTF-8 in, code page 936 out
      {"http://x/\xE4\xB8\xAD\xE6\x96\x87\n\xE9\x93\xBE\xE6\x8E\xA5",
       "http://x/\xD6\xD0\xCE\xC4\r\n\xC1\xB4\xBD\xD3"},
      {"\xE2\x82\xAC", "\x80"},  // the euro sign, one byte in code page 936
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(Text(c.input)));
    ConvertedText converted = url_list_from_utf8(c.input);
    EXPECT_EQ(converted.problem, "");
    EXPECT_EQ(converted.text.view(), c.expected);
  }
}

TEST(UrlListFromUtf8, RefusesWhatCodePage936CannotCarryNamingTheLine) {
  struct Case {
    std::string input;
    std::string problem;
  };
  const Case cases[] = {
      {"a\nb\x00"s, "line 2: a zero byte"},
      {"\xFF", "line 1: not valid UTF-8 (byte 0xFF)"},
      {"a\r\nb\r\nhttp://x/\xC3\x28", "line 3: not valid UTF-8 (byte 0xC3)"},  // bad continuation
      {"\xC0\xAF", "line 1: not valid UTF-8 (byte 0xC0)"},                     // overlong "/"
      {"\xED\xA0\x80", "line 1: not valid UTF-8 (byte 0xED)"},                 // a surrogate
      {"\xF4\x90\x80\x80", "line 1: not valid UTF-8 (byte 0xF4)"},             // above U+10FFFF
      {"a\n\xE4\xB8", "line 2: not valid UTF-8 (byte 0xE4)"},                  // cut at the end
      // 😀 on line 3, after Chinese text that converts
      {"\xE4\xB8\xAD\n\n x\xF0\x9F\x98\x80\n",
       "line 3: character U+1F600 cannot be written in code page 936"},
      {"a\n\xC2\xA0", "line 2: character U+00A0 cannot be written in code page 936"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(Text(c.input)));
    ConvertedText converted = url_list_from_utf8(c.input);
    EXPECT_EQ(converted.problem, c.problem);
    EXPECT_TRUE(converted.text.empty());
  }
}

TEST(TextFromUtf8, ConvertsAnAddressOrSaysWhy) {
  EXPECT_EQ(text_from_utf8("http://x/?s=\xE4\xB8\xAD").text.view(), "http://x/?s=\xD6\xD0");
  EXPECT_EQ(text_from_utf8("http://x/\xF0\x9F\x98\x80").problem,
            "character U+1F600 cannot be written in code page 936");
  EXPECT_EQ(text_from_utf8("\x80").problem, "not valid UTF-8 (byte 0x80)");
}

TEST(Utf8ForTerminal, ConvertsAndDefusesWhatARemoteReplyMayHold) {
  struct Case {
    std::string cp936;
    bool keep_line_breaks;
    std::string expected;  // UTF-8
  };
  const std::string replacement = "\xEF\xBF\xBD";
  const Case cases[] = {
      {"", false, ""},
      // 提交成功：2 剩余额度：9
      {"\xCC\xE1\xBD\xBB\xB3\xC9\xB9\xA6\xA3\xBA"
       "2 \xCA\xA3\xD3\xE0\xB6\xEE\xB6\xC8\xA3\xBA"
       "9",
       false,
       "\xE6\x8F\x90\xE4\xBA\xA4\xE6\x88\x90\xE5\x8A\x9F\xEF\xBC\x9A"
       "2 \xE5\x89\xA9\xE4\xBD\x99\xE9\xA2\x9D\xE5\xBA\xA6\xEF\xBC\x9A"
       "9"},
      {"\xB0\x61", false, "\xE7\x99\xAE"},  // a second byte in the ASCII range
      {"a\xFF"
       "b",
       false, "a" + replacement + "b"},     // no character of the code page
      {"a\xB0", false, "a" + replacement},  // a first byte cut off at the end
      {"\x1B[2Jx\x07", false, replacement + "[2Jx" + replacement},  // terminal controls
      {"a\r\nb\tc\x7F", false,
       "a" + replacement + replacement + "b" + replacement + "c" + replacement},
      {"a\r\nb\tc", true, "a" + replacement + "\nb\tc"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(Text(c.cp936)));
    EXPECT_EQ(utf8_for_terminal(c.cp936, c.keep_line_breaks), c.expected);
  }
}

}  // namespace
}  // namespace lorvane
