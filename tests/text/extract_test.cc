#include "text/extract.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>

#include "tests/support/text_printers.h"

namespace lorvane {
namespace {

using Position = std::optional<std::int32_t>;

// The quote marker spelled out, "#引号", as a check on the constant itself.
constexpr const char* marker = "#\xD2\xFD\xBA\xC5";

TEST(QuoteMarker, IsHashAndTheWordForQuote) { EXPECT_EQ(Text(quote_marker), Text(marker)); }

TEST(ExtractBetween, CutsBetweenTheLeftDelimiterAndTheNextRightOne) {
  struct Case {
    Text text;
    Text left;
    Text right;
    Position start;
    std::optional<bool> ignore_case;
    Text expected;
  };
  const Text reply = "{\"success\":2,\"remain\":498}";
  const Case cases[] = {
      {reply, "success\":", ",", {}, {}, "2"},
      // The last field ends in a brace, not a comma: nothing is found.
      {reply, "remain\":", ",", {}, {}, ""},
      {"{\"remain\":498,}", "remain\":", ",", {}, {}, "498"},
      // The quote marker stands for a double quote.
      {reply, "#\xD2\xFD\xBA\xC5success#\xD2\xFD\xBA\xC5:", ",", {}, {}, "2"},
      {"a\"b\"c", marker, marker, {}, {}, "b"},
      {"x#\xD2\xFD\xBA\xC5y\"z\"", marker, marker, {}, {}, "z"},
      // After a first byte, '#' is a second byte and begins no marker.
      {"\xB0#\xD2\xFD\xBA\xC5"
       "1;",
       "\xB0#\xD2\xFD\xBA\xC5",
       ";",
       {},
       {},
       "1"},
      {"\xB0\"1;", "\xB0#\xD2\xFD\xBA\xC5", ";", {}, {}, ""},
      // Start positions.
      {"k=1;k=2;", "k=", ";", {}, {}, "1"},
      {"k=1;k=2;", "k=", ";", 0, {}, "1"},
      {"k=1;k=2;", "k=", ";", -3, {}, "1"},
      {"k=1;k=2;", "k=", ";", 2, {}, "2"},
      {"k=1;k=2;", "k=", ";", 8, {}, ""},
      {"k=1;k=2;", "k=", ";", 9, {}, ""},
      // Where the right delimiter may lie.
      {"abc=", "=", ";", {}, {}, ""},
      {"a=;", "=", ";", {}, {}, ""},
      {";k=v;", "k=", ";", {}, {}, "v"},
      {"abab", "aba", "ba", {}, {}, ""},  // overlapping the left one does not count
      {"|a|b|", "|", "|", {}, {}, "a"},
      {"k=v", "k=", ";", {}, {}, ""},
      // Empty delimiters.
      {"ab;cd;", "", ";", {}, {}, "ab"},
      {"ab;cd;", "", ";", 4, {}, "ab"},
      {"ab;", "", ";", 9, {}, ""},
      {"a=b", "=", "", {}, {}, ""},
      {"a=b", "", "", {}, {}, ""},
      {Text(), "a", "b", {}, {}, ""},
      // Letter case.
      {"User-agent: X\r\n", "User-Agent:", "\r\n", {}, {}, ""},
      {"User-agent: X\r\n", "User-Agent:", "\r\n", {}, false, ""},
      {"User-agent: X\r\n", "User-Agent:", "\r\n", {}, true, " X"},
      // Double-byte alignment of both searches.
      {"\x81\x40name@value,", "@", ",", {}, {}, "value"},
      {"k=\xB0,x,", "=", ",", {}, {}, "\xB0,x"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.text) + " between " + ::testing::PrintToString(c.left) +
                 " and " + ::testing::PrintToString(c.right));
    EXPECT_EQ(extract_between(c.text, c.left, c.right, c.start, c.ignore_case), c.expected);
  }
}

TEST(TextBefore, CutsFromTheFirstByteToTheDelimiter) {
  struct Case {
    Text text;
    Text delimiter;
    Position start;
    std::optional<bool> ignore_case;
    Text expected;
  };
  const Case cases[] = {
      {"Content-Type: text/html", ": ", {}, {}, "Content-Type"},
      {": x", ": ", {}, {}, ""},
      {"a;b;c", ";", 3, {}, "a;b"},  // from position 1, whatever the start
      {"a;b;c", ";", 0, {}, "a"},
      {"a;b;c", ";", -4, {}, "a"},
      {"a;b", ";", 9, {}, ""},
      {"a;b", "", {}, {}, ""},
      {"a;b", "x", {}, {}, ""},
      {Text(), ";", {}, {}, ""},
      {"xNAME:v", "name:", {}, {}, ""},
      {"xNAME:v", "name:", {}, true, "x"},
      {"\x81\x40@b", "@", {}, {}, "\x81\x40"},
      // No quote marker here: its bytes are taken literally.
      {"a\"b#\xD2\xFD\xBA\xC5", marker, {}, {}, "a\"b"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.text) + " before " +
                 ::testing::PrintToString(c.delimiter));
    EXPECT_EQ(text_before(c.text, c.delimiter, c.start, c.ignore_case), c.expected);
  }
}

}  // namespace
}  // namespace lorvane
