#include "web/cookies.h"

#include <gtest/gtest.h>

#include <iterator>
#include <random>
#include <string>

#include "tests/support/text_printers.h"
#include "text/text.h"

namespace lorvane {
namespace {

TEST(Cookies, CookieName) {
  struct Case {
    const char* cookie;
    const char* name;
  };
  constexpr Case cases[] = {
      {"", ""},
      {"a=1", "a"},
      {" a =1", "a"},
      {"a", "a"},
      {" a ", "a"},
      {"=x", ""},
      {"a=b=c", "a"},
      {"\xA1\xA1"
       "a\xA1\xA1=1",
       "a"},
      {"Cookie:a=1", "Cookie:a"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.cookie);
    EXPECT_EQ(cookie_name(c.cookie), Text(c.name));
  }
}

TEST(Cookies, HasCookieName) {
  const TextList cookies = {"a=1", " b =2", "c", ""};
  struct Case {
    const char* name;
    bool expected;
  };
  constexpr Case cases[] = {
      {"a", true},  {"b", true},   {"c", true},    {"", true},
      {"A", false}, {" b", false}, {"a=1", false}, {"d", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(has_cookie_name(cookies, c.name), c.expected);
  }
  EXPECT_FALSE(has_cookie_name(TextList(), ""));
  EXPECT_FALSE(has_cookie_name(TextList(), "a"));
}

struct MergeCase {
  const char* sent;
  const char* received;
  const char* merged;
  const char* received_after;
};

constexpr MergeCase merge_cases[] = {
    {"", "", "", ""},
    // The server's entry wins over a sent one of the same name.
    {"a=1; b=2", "a=9", "a=9; b=2", "a=9"},
    // Received entries first, then the sent ones the server did not set.
    {"c=3; d=4", "b=2; a=1", "b=2; a=1; c=3; d=4", "b=2;a=1"},
    // A deleted cookie vanishes, and keeps its sent entry out too.
    {"a=1; b=2", "a=deleted", "b=2", "a=deleted"},
    {"a=deleted; b=1", "", "b=1", ""},
    {"", "a=DELETED", "a=DELETED", "a=DELETED"},
    {"", "deleted", "deleted", "deleted"},
    // Only the first sent entry of a name, and none when the server set it.
    {"a=1; a=2; b=3", "", "a=1; b=3", ""},
    {"a=1; a=2", "a=3", "a=3", "a=3"},
    // Received entries of one name all stay; exact repetitions go.
    {"", "a=1; a=2", "a=1; a=2", "a=1;a=2"},
    {"", "a=1; a=1", "a=1", "a=1;a=1"},
    // Spaces go everywhere, values included, full-width ones too.
    {"b = 1 2", "a=x y", "a=xy; b=12", "a=xy"},
    {"", "a=\xA1\xA1x", "a=x", "a=x"},
    {"a=1;b=2", "", "a=1; b=2", ""},
    // An empty entry survives once, except at the end, and stops "=x".
    {"=x", "a=1;;b=2", "a=1; ; b=2", "a=1;;b=2"},
    {"", ";a=1", "; a=1", ";a=1"},
    {"", "a=1;;", "a=1", "a=1;;"},
    {"", ";;", "", ";;"},
    // The "Cookie:" prefix is no part of the merge: it stays in the first name.
    {"Cookie: a=1; b=2", "a=5", "a=5; Cookie:a=1; b=2", "a=5"},
    // ";" as the second byte of a two-byte character separates nothing.
    {"", "a=\x81;b", "a=\x81;b", "a=\x81;b"},
};

TEST(Cookies, MergeCookies) {
  for (const MergeCase& c : merge_cases) {
    SCOPED_TRACE(testing::Message() << "sent «" << c.sent << "» received «" << c.received << "»");
    Text sent = c.sent;
    Text received = c.received;
    const Text merged = merge_cookies(sent, received);
    EXPECT_EQ(merged, Text(c.merged));
    EXPECT_EQ(sent, Text(c.merged));
    EXPECT_EQ(received, Text(c.received_after));
  }
}

// The merge exactly as the rule reads: a scan of the received list for every
// sent name, and the result built by concatenation.
Text merge_by_scanning(Text& sent, Text& received) {
  sent = remove_spaces(sent);
  received = remove_spaces(received);
  const TextList sent_list = split_text(sent, Text(";"));
  TextList received_list = split_text(received, Text(";"));
  for (const Text& cookie : sent_list.members()) {
    if (!has_cookie_name(received_list, cookie_name(cookie))) list_append(received_list, cookie);
  }
  sent = Text();
  for (const Text& cookie : received_list.members()) {
    if (compare_texts(text_right(cookie, 8), "=deleted") != 0)
      sent = concat_text(sent, cookie, "; ");
  }
  sent = text_left(sent, text_len(sent) - 2);
  sent = join_unique(sent, "; ");
  return sent;
}

// Random cookie texts from pieces that meet at every boundary: names that
// repeat, "=deleted", spaces of both widths, empty entries and two-byte
// characters whose second byte is ";" or a space.
TEST(Cookies, MergeAgreesWithTheScanningRule) {
  const char* const pieces[] = {"a", "b",        "=",     "=1",    "=deleted", ";", "; ",
                                " ", "\xA1\xA1", "\x81;", "\x81 ", "\xB0\x61", "A"};
  std::mt19937 random(20240611);
  std::uniform_int_distribution<int> pick(0, std::size(pieces) - 1);
  std::uniform_int_distribution<int> length(0, 12);
  const auto make = [&] {
    std::string text;
    for (int i = length(random); i > 0; --i) text += pieces[pick(random)];
    return Text(text);
  };
  for (int round = 0; round < 2000; ++round) {
    const Text sent = make();
    const Text received = make();
    SCOPED_TRACE(testing::Message()
                 << "sent «" << sent.view() << "» received «" << received.view() << "»");
    Text sent_fast = sent, received_fast = received;
    Text sent_slow = sent, received_slow = received;
    EXPECT_EQ(merge_cookies(sent_fast, received_fast), merge_by_scanning(sent_slow, received_slow));
    EXPECT_EQ(sent_fast, sent_slow);
    EXPECT_EQ(received_fast, received_slow);
  }
}

}  // namespace
}  // namespace lorvane
