#include "text/operations.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/text_printers.h"
#include "tests/text/random_text.h"

namespace lorvane {
namespace {

using namespace std::string_literals;
using Position = std::optional<std::int32_t>;
constexpr std::int32_t int_min = std::numeric_limits<std::int32_t>::min();
constexpr std::int32_t int_max = std::numeric_limits<std::int32_t>::max();

// 中文: two characters, four bytes.
constexpr const char* chinese = "\xD6\xD0\xCE\xC4";

TEST(TextCutting, LeftRightAndMidClampTheirArguments) {
  struct Case {
    Text text;
    std::int32_t length;
    Text left;
    Text right;
  };
  const Case ends[] = {
      {"abc", 2, "ab", "bc"},
      {"abc", 3, "abc", "abc"},
      {"abc", 9, "abc", "abc"},
      {"abc", int_max, "abc", "abc"},
      {"abc", 0, "", ""},
      {"abc", -1, "", ""},
      {"abc", int_min, "", ""},
      {Text(), 2, "", ""},
      // Plain bytes: an odd length cuts a two-byte character.
      {chinese, 3, "\xD6\xD0\xCE", "\xD0\xCE\xC4"},
  };
  for (const Case& c : ends) {
    SCOPED_TRACE(::testing::PrintToString(c.text) + " length " + std::to_string(c.length));
    EXPECT_EQ(text_left(c.text, c.length), c.left);
    EXPECT_EQ(text_right(c.text, c.length), c.right);
  }

  struct MidCase {
    std::int32_t start;
    std::int32_t length;
    Text expected;
  };
  const MidCase mids[] = {
      {2, 2, "bc"},         {4, 1, "d"},      {4, 9, "d"},      {5, 1, ""},
      {0, 2, ""},           {-1, 2, ""},      {1, 0, ""},       {2, -1, ""},
      {1, int_max, "abcd"}, {int_max, 1, ""}, {int_min, 5, ""},
  };
  for (const MidCase& c : mids) {
    SCOPED_TRACE("start " + std::to_string(c.start) + " length " + std::to_string(c.length));
    EXPECT_EQ(text_mid("abcd", c.start, c.length), c.expected);
  }
  EXPECT_EQ(text_mid(Text(), 1, 1), Text());
}

TEST(TextBlanks, GiveSpacesOrZeroBytes) {
  EXPECT_EQ(blank_text(5000), Text(std::string(5000, ' ')));
  EXPECT_EQ(blank_text(0), Text());
  EXPECT_EQ(blank_text(-3), Text());
  EXPECT_EQ(blank_bytes(1024), Bytes(std::string(1024, '\0')));
  EXPECT_EQ(bytes_length(blank_bytes(1024)), 1024);
  EXPECT_TRUE(blank_bytes(0).empty());
  EXPECT_TRUE(blank_bytes(-1).empty());
}

TEST(LetterCase, ChangesOnlyAsciiLettersAtCharacterStarts) {
  struct Case {
    Text text;
    Text upper;
    Text lower;
  };
  const Case cases[] = {
      {"abcXYZ019-@[`{", "ABCXYZ019-@[`{", "abcxyz019-@[`{"},
      {Text(), "", ""},
      // Second bytes in the letter ranges are not letters.
      {"\xB0\x61z", "\xB0\x61Z", "\xB0\x61z"},
      {"\xB0\x41Z", "\xB0\x41Z", "\xB0\x41z"},
      // Full-width letters and Latin-1 letters have no case here.
      {"\xA3\xE1\xA3\xC1", "\xA3\xE1\xA3\xC1", "\xA3\xE1\xA3\xC1"},
      {"\xC0\xC1", "\xC0\xC1", "\xC0\xC1"},
      // A lone first byte stays.
      {"aB\xB0", "AB\xB0", "ab\xB0"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.text));
    EXPECT_EQ(to_upper(c.text), c.upper);
    EXPECT_EQ(to_lower(c.text), c.lower);
  }
}

TEST(TrimText, RemovesHalfAndFullWidthSpacesAtBothEnds) {
  struct Case {
    Text text;
    Text expected;
  };
  const Case cases[] = {
      {"  a b  ", "a b"},
      {"\xA1\xA1 a\xA1\xA1", "a"},
      {"a\xA1\xA1"
       "b",
       "a\xA1\xA1"
       "b"},
      {"\ta\r\n", "\ta\r\n"},
      {" \t ", "\t"},
      {"   ", ""},
      {"\xA1\xA1", ""},
      {Text(), ""},
      // A1 A1 counts only at a character start: here A1 20 is one character.
      {"x\xB0\xA1\xA1 ", "x\xB0\xA1\xA1 "},
      // A lone first byte is cut off and the spaces in front of it stay.
      {"a  \xB0", "a  "},
      {"a\xB0\xA1\xA1\xA1\xA1", "a\xB0\xA1\xA1\xA1"},
      {"  \xB0", ""},
      {"\xA1", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.text));
    EXPECT_EQ(trim_text(c.text), c.expected);
  }
}

TEST(RemoveSpaces, RemovesEverySpaceAtACharacterStart) {
  struct Case {
    Text text;
    Text expected;
  };
  const Case cases[] = {
      {" a b\xA1\xA1"
       "c ",
       "abc"},
      {"one two  three", "onetwothree"},
      {"\ta\r\n", "\ta\r\n"},
      {"  \xA1\xA1", ""},
      {Text(), ""},
      {"\xB0 x", "\xB0 x"},  // the space is a second byte
      {"x\xB0\xA1\xA1 ", "x\xB0\xA1\xA1 "},
      {"a b\xB0", "ab"},  // a lone first byte is left out
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.text));
    EXPECT_EQ(remove_spaces(c.text), c.expected);
  }
}

TEST(FindText, FindsFirstOccurrenceAtCharacterStarts) {
  struct Case {
    Text text;
    Text sought;
    Position start;
    bool ignore_case;
    std::int32_t expected;
  };
  const Case cases[] = {
      {"abcabc", "bc", {}, false, 2},
      {"abcabc", "bc", 3, false, 5},
      {"abcabc", "bc", 5, false, 5},
      {"abcabc", "bc", 6, false, -1},
      {"abc", "a", 0, false, 1},
      {"abc", "a", int_min, false, 1},
      {"abc", "x", 100, false, -1},
      {"abc", "abcd", {}, false, -1},
      {"abc", "abc", {}, false, 1},
      {Text(), "a", {}, false, -1},
      // An empty sought text is at 1 while a byte lies at or after start.
      {"abc", "", {}, false, 1},
      {"abc", "", 3, false, 1},
      {"abc", "", 4, false, -1},
      {Text(), "", {}, false, -1},
      // Bytes equal to sought that begin on a second byte never match.
      {"\x81\x40@", "@", {}, false, 3},
      {"\x81\x40", "@", {}, false, -1},
      {"\xB0\x61"
       "a",
       "a",
       {},
       false,
       3},
      {"\xB0\x61", "\x61", {}, true, -1},
      {chinese, "\xCE\xC4", {}, false, 3},
      {chinese, "\xD0\xCE", {}, false, -1},
      // The scan steps from start, so a start on a second byte makes it a
      // character start.
      {"\xB0\x61"
       "a",
       "a", 2, false, 2},
      // Case folding: ASCII letters only, every byte of the compared stretch.
      {"xABC", "abc", {}, true, 2},
      {"xABC", "abc", {}, false, -1},
      {"\xA3\xC1", "\xA3\xE1", {}, true, -1},
      {"\xB0\x41", "\xB0\x61", {}, true, 1},
      // A lone first byte is a character start of its own.
      {"a\xB0", "\xB0", {}, false, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.text) + " / " + ::testing::PrintToString(c.sought) +
                 " from " + (c.start ? std::to_string(*c.start) : "omitted"));
    EXPECT_EQ(find_text(c.text, c.sought, c.start, c.ignore_case), c.expected);
  }
}

// Long one-byte runs are passed over several bytes at a time; the match must
// still be found at every distance from the start, and a second byte equal to
// sought must still be passed over.
TEST(FindText, FindsMatchesBehindLongOneByteRuns) {
  for (std::size_t run = 0; run < 40; ++run) {
    const std::string dashes(run, '-');
    const auto at = [&](std::size_t offset) { return static_cast<std::int32_t>(run + offset); };
    SCOPED_TRACE("run of " + std::to_string(run));
    const Text text(dashes + "\xB0\x41-A" + dashes);
    EXPECT_EQ(find_text(text, "A"), at(4));
    EXPECT_EQ(find_text(text, "a", {}, true), at(4));
    EXPECT_EQ(find_text(text, "-A"), at(3));
    EXPECT_EQ(find_text_last(text, "A"), at(4));
    EXPECT_EQ(find_text(Text(dashes + "a"), "A", {}, true), at(1));
    EXPECT_EQ(find_text(Text(dashes), "a"), -1);
    TextList pieces{Text(dashes + "\xB0\x41-")};
    if (run > 0) list_append(pieces, Text(dashes));  // no empty piece after a trailing "A"
    EXPECT_EQ(split_text(text, Text("A")), pieces);
  }
}

TEST(FindTextLast, FindsLastOccurrenceWhollyBeforeStart) {
  struct Case {
    Text text;
    Text sought;
    Position start;
    bool ignore_case;
    std::int32_t expected;
  };
  const Case cases[] = {
      {"abcabc", "bc", {}, false, 5},
      {"abcabc", "bc", 7, false, 5},
      {"abcabc", "bc", 6, false, 2},  // the occurrence ending at byte 6 does not count
      {"abcabc", "bc", 5, false, 2},
      {"abcabc", "bc", 3, false, -1},
      {"abcabc", "bc", 100, false, 5},
      {"a,b,c", ",", 4, false, 2},
      {"abc", "a", 1, false, -1},
      {"abc", "a", 0, false, -1},
      {"abc", "a", int_min, false, -1},
      {"abc", "a", 2, false, 1},
      {"aaa", "aa", {}, false, 2},  // candidates may overlap
      {"abc", "", {}, false, 1},
      {"abc", "", 2, false, 1},
      {"abc", "", 1, false, -1},
      {Text(), "", {}, false, -1},
      {"@\x81\x40", "@", {}, false, 1},
      {"a\xB0\x61", "a", {}, false, 1},
      {"Abab", "AB", {}, true, 3},
      {"Abab", "AB", {}, false, -1},
      {"\xB0\x61\xB0", "\xB0", {}, false, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.text) + " / " + ::testing::PrintToString(c.sought) +
                 " before " + (c.start ? std::to_string(*c.start) : "omitted"));
    EXPECT_EQ(find_text_last(c.text, c.sought, c.start, c.ignore_case), c.expected);
  }
}

TEST(FindTextLast, WalksBackOneOccurrenceAtATime) {
  const Text text("a,b,,c,\x81,");  // the comma after 0x81 is its second byte
  std::vector<std::int32_t> walked;
  for (std::int32_t at = find_text_last(text, ","); at != -1; at = find_text_last(text, ",", at)) {
    walked.push_back(at);
    ASSERT_LE(walked.size(), 10u);
  }
  EXPECT_EQ(walked, (std::vector<std::int32_t>{7, 5, 4, 2}));
}

TEST(ReplaceText, ReplacesFromStartUpToTheLimit) {
  struct Case {
    Text text;
    Text sought;
    Text replacement;
    Position start;
    Position limit;
    bool match_case;
    Text expected;
  };
  const Case cases[] = {
      {"a-b-c", "-", "+", {}, {}, true, "a+b+c"},
      {"a-b-c", "-", "+", {}, 1, true, "a+b-c"},
      {"a-b-c", "-", "+", {}, 0, true, "a-b-c"},
      {"a-b-c", "-", "+", {}, -1, true, "a+b+c"},  // negative: no limit
      {"a-b-c", "-", "+", 3, {}, true, "a-b+c"},
      {"a-b-c", "-", "+", 5, {}, true, "a-b-c"},
      {"a-b-c", "-", "+", 6, {}, true, "a-b-c"},
      {"a-b-c", "-", "+", int_min, {}, true, "a+b+c"},
      {"-a-b-", "-", "", 2, 1, true, "-ab-"},
      {"a-b-c", "-", {}, {}, {}, true, "abc"},
      {"a-b-c", "", "+", {}, {}, true, "a-b-c"},
      {Text(), "-", "+", {}, {}, true, ""},
      // Replaced text is never scanned again; occurrences do not overlap.
      {"aa", "a", "aa", {}, {}, true, "aaaa"},
      {"aaa", "aa", "b", {}, {}, true, "ba"},
      // Letter case.
      {"xAbx ab", "ab", "#", {}, {}, false, "x#x #"},
      {"xAbx ab", "ab", "#", {}, {}, true, "xAbx #"},
      {"\xB0\x41", "\xB0\x61", "#", {}, {}, false, "#"},
      // Double-byte alignment.
      {"\x81\x40@", "@", "#", {}, {}, true, "\x81\x40#"},
      {"\xB0\x61"
       "a\xB0\x61",
       "a",
       "",
       {},
       {},
       true,
       "\xB0\x61\xB0\x61"},
      // A lone first byte ends the scan and is kept.
      {"ab\xB0", "b", "#", {}, {}, true, "a#\xB0"},
      {"ab\xB0", "x", "#", {}, {}, true, "ab\xB0"},
      {"ab\xB0", "\xB0", "#", {}, {}, true, "ab#"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.text) + " / " + ::testing::PrintToString(c.sought) +
                 " -> " + ::testing::PrintToString(c.replacement));
    EXPECT_EQ(replace_text(c.text, c.sought, c.replacement, c.start, c.limit, c.match_case),
              c.expected);
  }
}

TEST(ReplaceText, OmittedArgumentsIgnoreCaseAndDelete) {
  EXPECT_EQ(replace_text("Set-Cookie: a; set-cookie: b", "SET-COOKIE:"), Text(" a;  b"));
}

TEST(SplitText, CutsAtDelimitersAndDropsATrailingEmptyPiece) {
  struct Case {
    Text text;
    std::optional<Text> delimiter;
    Position limit;
    TextList expected;
  };
  const Case cases[] = {
      {"a,b,c", {}, {}, {"a", "b", "c"}},
      {Text(), {}, {}, {}},
      {"a,b,", {}, {}, {"a", "b"}},
      {",a", {}, {}, {"", "a"}},
      {"a,,b", {}, {}, {"a", "", "b"}},
      {",", {}, {}, {""}},
      {",,", {}, {}, {"", ""}},
      {"abc", {}, {}, {"abc"}},
      {"a", Text("abc"), {}, {"a"}},
      {"a,b", Text(""), {}, {"a,b"}},
      {"a; b;c", Text("; "), {}, {"a", "b;c"}},
      {"l1\r\nl2\nx\r\n", Text("\r\n"), {}, {"l1", "l2\nx"}},
      // Limits.
      {"a,b,c", {}, 2, {"a", "b"}},
      {"a,b,c", {}, 3, {"a", "b", "c"}},
      {"a,b,c", {}, 9, {"a", "b", "c"}},
      {"a,b,", {}, 2, {"a", "b"}},
      {"a,b,c", {}, 0, {}},
      {"a,b,c", {}, -1, {}},
      {",a", {}, 1, {""}},
      // Double-byte alignment.
      {"\x81\x40@x@y", Text("@"), {}, {"\x81\x40", "x", "y"}},
      {"\xB0\x61"
       "a\xB0\x61",
       Text("a"),
       {},
       {"\xB0\x61", "\xB0\x61"}},
      // A lone first byte stays in the last piece.
      {"a,\xB0", {}, {}, {"a", "\xB0"}},
      {"\xB0", {}, {}, {"\xB0"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.text) + " at " +
                 (c.delimiter ? ::testing::PrintToString(*c.delimiter) : "omitted"));
    EXPECT_EQ(split_text(c.text, c.delimiter, c.limit), c.expected);
  }
}

TEST(TextToInt, ReadsTheLeadingDecimalNumber) {
  struct Case {
    Text text;
    std::int32_t expected;
  };
  const Case cases[] = {
      {"123", 123},
      {"  -42abc", -42},
      {"+7", 7},
      {"\t\n\v\f\r 5", 5},
      {"007", 7},
      {Text(), 0},
      {"abc", 0},
      {"- 5", 0},
      {"--5", 0},
      {"+", 0},
      {"2147483647", int_max},
      {"2147483648", int_min},  // wraps
      {"-2147483648", int_min},
      {"4294967297", 1},
      {"99999999999", 1215752191},
      {"-99999999999", -1215752191},
      // Full-width forms: digits, signs and the full-width space.
      {"\xA3\xB1\xA3\xB2\xA3\xB3", 123},
      {"\xA1\xA1\xA3\xAD\xA3\xB4\xA3\xB2x", -42},
      {"\xA3\xAB"
       "5",
       5},
      {"1\xA3\xB2"
       "3",
       123},
      {"\xA1\xAB"
       "5",
       0},  // a full-width tilde is no sign
      // A two-byte character without a half-width form ends the number, even
      // when its second byte is a digit.
      {"12\xB0\x31", 12},
      {"\xB0\x31", 0},
      {"12\xB0", 12},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.text));
    EXPECT_EQ(text_to_int(c.text), c.expected);
  }
}

TEST(TextAndBytes, ConvertAtTheFirstZeroByte) {
  EXPECT_TRUE(text_to_bytes(Text()).empty());
  EXPECT_EQ(bytes_length(text_to_bytes(Text())), 0);
  EXPECT_EQ(text_to_bytes("a\xB0"), Bytes("a\xB0"s));
  EXPECT_EQ(bytes_to_text(Bytes("ab\0cd"s)), Text("ab"));
  EXPECT_EQ(bytes_to_text(Bytes("\xD6\xD0"s)), Text("\xD6\xD0"));
  EXPECT_EQ(bytes_to_text(Bytes()), Text());

  const Bytes data("a\0bc"s);
  EXPECT_EQ(bytes_left(data, 2), Bytes("a\0"s));
  EXPECT_EQ(bytes_left(data, 10), data);
  EXPECT_TRUE(bytes_left(data, 0).empty());
  EXPECT_TRUE(bytes_left(data, -1).empty());
  EXPECT_TRUE(bytes_left(Bytes(), 3).empty());
}

// Properties over pseudo-random texts of whole characters: the test knows
// each character start from how the text was built.

using testing_text::lies_at;
using testing_text::RandomText;
using testing_text::TextSource;

std::string describe(const std::string& text, const std::string& sought) {
  return ::testing::PrintToString(Text(text)) + " / " + ::testing::PrintToString(Text(sought));
}

RandomText random_text(TextSource& source, std::uint32_t most_characters) {
  RandomText text = source.text(most_characters);
  if (source.below(4) == 0) text.add_lone_first_byte();
  return text;
}

TEST(TextSearchProperty, MatchesOnlyWhereACharacterBegins) {
  TextSource source(4711);
  for (int round = 0; round < 1500; ++round) {
    const RandomText text = random_text(source, 12);
    const std::string sought = source.word(2);
    const bool ignore_case = source.below(2) == 1;
    SCOPED_TRACE(describe(text.bytes, sought) + (ignore_case ? " ignoring case" : ""));
    const std::size_t size = text.bytes.size();
    const std::size_t m = sought.size();
    std::vector<std::size_t> occurrences;
    for (std::size_t at = 0; at < size; ++at) {
      if (text.starts[at] && lies_at(text.bytes, at, sought, ignore_case))
        occurrences.push_back(at);
    }

    for (std::size_t from = 0; from <= size; ++from) {
      if (!text.starts[from]) continue;
      const auto next = std::find_if(occurrences.begin(), occurrences.end(),
                                     [&](std::size_t at) { return at >= from; });
      const std::int32_t expected =
          next == occurrences.end() ? -1 : static_cast<std::int32_t>(*next + 1);
      EXPECT_EQ(find_text(Text(text.bytes), Text(sought), static_cast<std::int32_t>(from + 1),
                          ignore_case),
                expected)
          << "from " << from + 1;
    }
    for (std::size_t before = 0; before <= size + 2; ++before) {
      std::int32_t expected = -1;
      for (const std::size_t at : occurrences) {
        if (at + m + 1 <= before) expected = static_cast<std::int32_t>(at + 1);
      }
      EXPECT_EQ(find_text_last(Text(text.bytes), Text(sought), static_cast<std::int32_t>(before),
                               ignore_case),
                expected)
          << "before " << before;
    }
  }
}

TEST(SplitTextProperty, PiecesJoinBackToTheText) {
  TextSource source(1234);
  for (int round = 0; round < 2000; ++round) {
    const RandomText text = random_text(source, 16);
    const std::string delimiter = source.word(2);
    const Position limit = source.below(3) == 0 ? Position(source.below(5)) : std::nullopt;
    SCOPED_TRACE(describe(text.bytes, delimiter) +
                 (limit ? " limit " + std::to_string(*limit) : ""));

    // The pieces, cutting only where the delimiter lies at a character start.
    std::vector<std::string> expected;
    const std::size_t size = text.bytes.size();
    std::size_t piece_start = 0;
    std::size_t at = 0;
    while (at + delimiter.size() <= size) {
      if (text.starts[at] && lies_at(text.bytes, at, delimiter, false)) {
        expected.push_back(text.bytes.substr(piece_start, at - piece_start));
        at += delimiter.size();
        piece_start = at;
      } else {
        ++at;
      }
    }
    if (piece_start < size) expected.push_back(text.bytes.substr(piece_start));
    if (limit && expected.size() > static_cast<std::size_t>(*limit)) expected.resize(*limit);

    const TextList pieces = split_text(Text(text.bytes), Text(delimiter), limit);
    std::vector<std::string> got;
    for (const Text& piece : pieces.members()) got.emplace_back(piece.view());
    EXPECT_EQ(got, expected);

    if (!limit) {
      std::string joined;
      for (std::size_t i = 0; i < got.size(); ++i) joined += (i == 0 ? "" : delimiter) + got[i];
      EXPECT_TRUE(joined == text.bytes || joined + delimiter == text.bytes)
          << "joined " << ::testing::PrintToString(Text(joined));
    }
  }
}

TEST(ReplaceTextProperty, NeverReplacesMoreThanTheLimit) {
  TextSource source(99);
  for (int round = 0; round < 2000; ++round) {
    const RandomText text = random_text(source, 16);
    const std::string sought = source.word(2);
    // Every replacement holds one '#', a byte the texts never contain.
    const std::string replacements[] = {"#", "#" + sought, sought + "#"};
    const std::string& replacement = replacements[source.below(3)];
    const Position limit = source.below(2) == 0
                               ? Position(static_cast<std::int32_t>(source.below(5)) - 1)
                               : std::nullopt;
    const bool match_case = source.below(2) == 1;
    std::size_t begin = source.below(static_cast<std::uint32_t>(text.bytes.size()) + 2);
    while (begin < text.bytes.size() && !text.starts[begin]) ++begin;
    SCOPED_TRACE(describe(text.bytes, sought) + " from " + std::to_string(begin + 1) +
                 (limit ? " limit " + std::to_string(*limit) : ""));

    const bool limited = limit && *limit >= 0;
    std::string expected;
    std::size_t replaced = 0;
    const std::size_t size = text.bytes.size();
    if (size == 0 || begin >= size || (limited && *limit == 0)) {
      expected = text.bytes;
    } else {
      expected = text.bytes.substr(0, begin);
      std::size_t at = begin;
      while (at + sought.size() <= size &&
             !(limited && replaced == static_cast<std::size_t>(*limit))) {
        if (text.starts[at] && lies_at(text.bytes, at, sought, !match_case)) {
          expected += replacement;
          at += sought.size();
          ++replaced;
        } else {
          expected += text.bytes[at++];
        }
      }
      expected += text.bytes.substr(std::min(at, size));
    }

    const Text result = replace_text(Text(text.bytes), Text(sought), Text(replacement),
                                     static_cast<std::int32_t>(begin + 1), limit, match_case);
    EXPECT_EQ(result, Text(expected));
    const auto marks =
        static_cast<std::size_t>(std::count(result.view().begin(), result.view().end(), '#'));
    EXPECT_EQ(marks, replaced);
    if (limited) {
      EXPECT_LE(marks, static_cast<std::size_t>(*limit));
    }
  }
}

}  // namespace
}  // namespace lorvane
