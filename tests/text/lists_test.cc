#include "text/lists.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/text_printers.h"
#include "tests/text/random_text.h"
#include "text/operations.h"

namespace lorvane {
namespace {

TEST(JoinUnique, DropsRepeatedPartsKeepingTheFirst) {
  struct Case {
    Text text;
    Text delimiter;
    Text expected;
  };
  const Case cases[] = {
      {Text(), "; ", ""},
      {"a=1; b=2", "; ", "a=1; b=2"},
      {"a=1; b=2; ", "; ", "a=1; b=2"},  // a trailing delimiter is lost
      {"a=1; b=2; a=1; c=3; b=2", "; ", "a=1; b=2; c=3"},
      {"a=1; A=1; a=1 ; a=1", "; ", "a=1; A=1; a=1 "},
      {"a;;b;;c", ";", "a;;b;c"},  // the first empty part survives
      {";a;a", ";", ";a"},
      {";;;", ";", ""},
      {"; ", "; ", ""},
      {"a;b;a", "", "a;b;a"},
      {"\xB0;x;x", ";", "\xB0;x;x"},  // B0 3B is one character, not a part and a delimiter
      {"a;a;\xB0", ";", "a;\xB0"},    // a lone first byte stays in the last part
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.text) + " at " + ::testing::PrintToString(c.delimiter));
    EXPECT_EQ(join_unique(c.text, c.delimiter), c.expected);
  }
}

TEST(FindInList, GivesThePositionOfTheFirstEqualMember) {
  const TextList list{"a", Text(), "A", "a", "b "};
  struct Case {
    Text item;
    std::int32_t expected;
  };
  const Case cases[] = {{"a", 1}, {"", 2}, {"A", 3}, {"b ", 5}, {"b", -1}, {"a ", -1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.item));
    EXPECT_EQ(find_in_list(list, c.item), c.expected);
  }
  EXPECT_EQ(find_in_list(TextList(), "a"), -1);
  EXPECT_EQ(find_in_list(TextList(), Text()), -1);
}

// join_unique keeps a hash of the parts taken; it must give exactly what the
// plain walk with split_text, find_in_list and list_append gives.
Text join_unique_by_list(const Text& text, const Text& delimiter) {
  const TextList parts = split_text(text, delimiter);
  TextList taken;
  std::string joined;
  for (const Text& part : parts.members()) {
    if (find_in_list(taken, part) != -1) continue;
    list_append(taken, part);
    joined += part.view();
    joined += delimiter.view();
  }
  joined.resize(joined.size() >= delimiter.view().size() ? joined.size() - delimiter.view().size()
                                                         : 0);
  return Text(joined);
}

TEST(JoinUniqueProperty, MatchesTheWalkOverTakenParts) {
  testing_text::TextSource source(2718);
  for (int round = 0; round < 2000; ++round) {
    testing_text::RandomText text = source.text(20);
    if (source.below(4) == 0) text.add_lone_first_byte();
    const Text delimiter(source.word(2));
    SCOPED_TRACE(::testing::PrintToString(Text(text.bytes)) + " at " +
                 ::testing::PrintToString(delimiter));
    EXPECT_EQ(join_unique(Text(text.bytes), delimiter),
              join_unique_by_list(Text(text.bytes), delimiter));
  }
}

// Enough distinct parts for the table of taken parts to grow several times.
TEST(JoinUniqueProperty, ManyPartsMatchTheWalkOverTakenParts) {
  std::string bytes;
  for (int i = 0; i < 4000; ++i) {
    bytes += 'k';
    bytes += std::to_string(i * 7 % 1500);
    bytes += "=\xB0\x61; ";
  }
  const Text text(bytes);
  const Text joined = join_unique(text, "; ");
  EXPECT_EQ(joined, join_unique_by_list(text, "; "));
  EXPECT_EQ(list_count(split_text(joined, Text("; "))), 1500);
}

}  // namespace
}  // namespace lorvane
