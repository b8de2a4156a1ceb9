#include "text/values.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/text_printers.h"

namespace lorvane {
namespace {

using namespace std::string_literals;

TEST(TextValue, KeepsOnlyTheBytesBeforeTheFirstZero) {
  EXPECT_EQ(Text(std::string_view("ab\0cd", 5)).view(), "ab");
  EXPECT_EQ(Text("ab\0cd"s).view(), "ab");
  EXPECT_EQ(Text("\0x"s).view(), "");
  EXPECT_TRUE(Text(static_cast<const char*>(nullptr)).empty());
  EXPECT_EQ(Text("\xB0\x61").view(), "\xB0\x61");
}

TEST(CompareTexts, OrdersBytesAsUnsignedValues) {
  struct Case {
    Text a;
    Text b;
    std::int32_t expected;
  };
  const Case cases[] = {
      {Text(), Text(""), 0},  // both forms of the empty text
      {Text(), Text("a"), -1},
      {"a", "ab", -1},  // a beginning is the smaller
      {"abc", "abd", -1},
      {"a", "a", 0},
      {"\x80", "z", 1},  // 0x80 and above sort after every ASCII byte
      {"\xB0\x41", "\xB0\x61", -1},
      {"\xFF", "\x7F", 1},
      {"B", "a", -1},  // no case folding
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.a) + " vs " + ::testing::PrintToString(c.b));
    EXPECT_EQ(compare_texts(c.a, c.b), c.expected);
    EXPECT_EQ(compare_texts(c.b, c.a), -c.expected);
  }
}

TEST(ConcatText, JoinsPartsAndTreatsNullAsEmpty) {
  const Text abc("abc");
  const char* null_part = nullptr;
  EXPECT_EQ(concat_text(abc, "-", Text("\xB0\x61"), Text()), Text("abc-\xB0\x61"));
  EXPECT_EQ(concat_text(null_part, abc, null_part), abc);
  const Text empty = concat_text(Text(), Text(""));
  EXPECT_EQ(text_len(empty), 0);
  EXPECT_EQ(compare_texts(empty, Text()), 0);
  EXPECT_EQ(abc.view(), "abc");  // the parts are borrowed, not changed
}

TEST(ConcatBytes, SkipsEmptyPartsAndKeepsZeroBytes) {
  const Bytes three("\0a\0"s);
  const Bytes joined = concat_bytes(Bytes(), three, Bytes("\xFF"s));
  EXPECT_EQ(bytes_length(joined), 4);
  EXPECT_EQ(joined.view(), "\0a\0\xFF"s);
  EXPECT_EQ(bytes_length(concat_bytes(Bytes(), three)), 3);
  EXPECT_TRUE(concat_bytes(Bytes(), Bytes()).empty());
}

TEST(Lengths, CountBytes) {
  EXPECT_EQ(text_len(Text()), 0);
  EXPECT_EQ(text_len(Text("\xD6\xD0\xCE\xC4")), 4);  // 中文
  EXPECT_EQ(bytes_length(Bytes()), 0);
  EXPECT_EQ(bytes_length(Bytes("a\0\0"s)), 3);
}

// Bytes hold their own block: appending piece by piece, copies and moves each
// keep exactly their bytes, zero bytes included.
TEST(BytesValue, GrowsByAppendingAndCopiesAndMovesWhole) {
  Bytes grown;
  std::string expected;
  for (int piece = 0; piece < 3000; ++piece) {
    const std::string bytes = std::string(1, '\0') + std::to_string(piece) + "\xFF";
    grown.append(bytes);
    expected += bytes;
  }
  grown.append("");
  EXPECT_EQ(grown.view(), expected);

  Bytes copy = grown;
  EXPECT_EQ(copy, grown);
  copy.append("x");
  EXPECT_EQ(grown.view(), expected);  // the copy has a block of its own

  Bytes moved = std::move(copy);
  EXPECT_EQ(moved.view(), expected + "x");
  EXPECT_TRUE(copy.empty());  // NOLINT(bugprone-use-after-move): a moved-from value is empty
  copy = moved;
  EXPECT_EQ(copy, moved);
  const Bytes& same = copy;
  copy = same;
  EXPECT_EQ(copy, moved);
  moved = Bytes();
  EXPECT_TRUE(moved.empty());
  EXPECT_EQ(moved, Bytes(""s));
}

TEST(TextListValue, AppendCopiesItemsInOrder) {
  TextList list;
  EXPECT_EQ(list_count(list), 0);
  list_append(list, Text());  // an empty item still adds a member
  EXPECT_EQ(list_count(list), 1);
  EXPECT_TRUE(list_item(list, 1).empty());

  Text item("x");
  list_append(list, item);
  item = Text("changed");
  list_append(list, item);
  EXPECT_EQ(list, (TextList{"", "x", "changed"}));
  EXPECT_EQ(list_item(list, 2), Text("x"));
}

TEST(ListItemDeathTest, IndexOutsideTheListEndsTheProgram) {
  const TextList list{"a", "b"};
  EXPECT_DEATH(list_item(list, 0), "fatal error");
  EXPECT_DEATH(list_item(list, 3), "fatal error");
  EXPECT_DEATH(list_item(list, -1), "fatal error");
  EXPECT_DEATH(list_item(TextList(), 1), "fatal error");
}

TEST(BitOr, CombinesAllValues) {
  static_assert(bit_or(1, 2, 4) == 7u);
  EXPECT_EQ(bit_or(0x80000000u, 1), 0x80000001u);
  EXPECT_EQ(bit_or(-1, 0), 0xFFFFFFFFu);
  EXPECT_EQ(bit_or(0x0F0, 0x00F, 0xF00, 0), 0xFFFu);
}

}  // namespace
}  // namespace lorvane
