// The searching, splitting, replacing and case-changing routines against the
// character-at-a-time versions they replaced (tests/text/reference_operations.h),
// on pseudo-random texts from a fixed seed: every result must be the same.
// The texts mix long runs of ASCII (which the fast paths take in blocks) with
// two-byte characters whose second byte is ASCII, and often end in a lone
// first byte; sought texts are often cut out of the text at any byte, so that
// they lie there at a second byte too.
#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "tests/support/text_printers.h"
#include "tests/text/reference_operations.h"
#include "text/text.h"

namespace lorvane {
namespace {

class Source {
 public:
  explicit Source(std::uint32_t seed) : engine_(seed) {}

  std::uint32_t below(std::uint32_t bound) { return bound == 0 ? 0 : engine_() % bound; }

  std::string text() {
    static const char* const pieces[] = {
        "a",        "A",        "z",        "Z",        "b",        ",",        " ",
        "@",        "\r\n",     "\n",       ":",        "\x81\x40", "\xB0\x61", "\xB0\x41",
        "\xA1\xA1", "\xD6\xD0", "\xB0\xB0", "\x80\x80", "\xFE\x7A", "\xC1\x5A",
    };
    std::string bytes;
    const std::uint32_t count = below(below(4) == 0 ? 400 : 40);
    for (std::uint32_t i = 0; i < count; ++i) {
      if (below(6) == 0) {
        // A run of ASCII long enough for whole blocks.
        const std::uint32_t run = below(80);
        for (std::uint32_t k = 0; k < run; ++k) bytes += "abcdefghijklmnopXYZ:/.@ "[below(24)];
      } else {
        bytes += pieces[below(sizeof pieces / sizeof pieces[0])];
      }
    }
    if (below(4) == 0) bytes += "\xB0";  // a lone first byte at the end
    return bytes;
  }

  // A sought text: cut out of `text` at any byte, or made of a few pieces.
  std::string sought(const std::string& text) {
    if (!text.empty() && below(2) == 0) {
      const std::uint32_t at = below(static_cast<std::uint32_t>(text.size()));
      return text.substr(at, 1 + below(6));
    }
    static const char* const pieces[] = {"a",    "A",        "@",        "\r\n",  "\x81",
                                         "\xB0", "\x81\x40", "\xB0\x61", "a\xB0", "\x40\xB0",
                                         ":",    "\xA1\xA1", "ab",       "Z:"};
    std::string bytes;
    for (std::uint32_t i = 1 + below(3); i > 0; --i) {
      bytes += pieces[below(sizeof pieces / sizeof pieces[0])];
    }
    return bytes;
  }

  std::optional<std::int32_t> maybe(std::int32_t low, std::int32_t high) {
    if (below(3) == 0) return std::nullopt;
    return low + static_cast<std::int32_t>(below(static_cast<std::uint32_t>(high - low + 1)));
  }

 private:
  std::mt19937 engine_;
};

constexpr int kRounds = 4000;

TEST(AgainstReference, SearchesFindTheSamePositions) {
  Source source(20261211);
  for (int round = 0; round < kRounds; ++round) {
    const Text text(source.text());
    const Text sought(source.sought(std::string(text.view())));
    const bool ignore_case = source.below(3) == 0;
    const auto size = static_cast<std::int32_t>(text.view().size());
    const std::optional<std::int32_t> start = source.maybe(-2, size + 2);
    SCOPED_TRACE(::testing::PrintToString(text) + " / " + ::testing::PrintToString(sought) +
                 (start ? " start " + std::to_string(*start) : "") +
                 (ignore_case ? " ignoring case" : ""));
    ASSERT_EQ(find_text(text, sought, start, ignore_case),
              reference::find_text(text, sought, start, ignore_case));
    ASSERT_EQ(find_text_last(text, sought, start, ignore_case),
              reference::find_text_last(text, sought, start, ignore_case));
    // Walking forward through every occurrence meets each at the same place.
    std::int32_t from = 1;
    for (int step = 0; step < 50 && from != -1; ++step) {
      const std::int32_t found = find_text(text, sought, from, ignore_case);
      ASSERT_EQ(found, reference::find_text(text, sought, from, ignore_case)) << "from " << from;
      from = found == -1 ? -1 : found + 1;
    }
  }
}

TEST(AgainstReference, ReplaceAndSplitGiveTheSameTexts) {
  Source source(4242);
  for (int round = 0; round < kRounds; ++round) {
    const Text text(source.text());
    const Text sought(source.sought(std::string(text.view())));
    const Text replacement(source.below(2) == 0 ? "" : source.sought("#"));
    const auto size = static_cast<std::int32_t>(text.view().size());
    const std::optional<std::int32_t> start = source.maybe(-2, size + 2);
    const std::optional<std::int32_t> limit = source.maybe(-1, 4);
    const bool match_case = source.below(2) == 0;
    SCOPED_TRACE(::testing::PrintToString(text) + " / " + ::testing::PrintToString(sought));
    ASSERT_EQ(replace_text(text, sought, replacement, start, limit, match_case),
              reference::replace_text(text, sought, replacement, start, limit, match_case));
    ASSERT_EQ(split_text(text, sought, limit), reference::split_text(text, sought, limit));
    ASSERT_EQ(split_text(text, sought), reference::split_text(text, sought, std::nullopt));
    ASSERT_EQ(join_unique(text, sought), reference::join_unique(text, sought));
  }
}

TEST(AgainstReference, CaseChangesGiveTheSameTexts) {
  Source source(777);
  for (int round = 0; round < kRounds; ++round) {
    // Offsets into the text move the words the fast path reads.
    std::string bytes = source.text();
    bytes.erase(0, source.below(9));
    const Text text(bytes);
    SCOPED_TRACE(::testing::PrintToString(text));
    ASSERT_EQ(to_upper(text), reference::to_upper(text));
    ASSERT_EQ(to_lower(text), reference::to_lower(text));
  }
}

}  // namespace
}  // namespace lorvane
