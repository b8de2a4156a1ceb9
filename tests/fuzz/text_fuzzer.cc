// The text operations against their plain-way counterparts
// (reference_text.h), and the properties that hold whatever the input:
// split then join gives the text back, replace_text never replaces more than
// its limit, trimming and removing spaces never add bytes.
//
// Input: options, start, limit, then text \0 sought \0 replacement.
//   options bit 0: ignore case     bit 1: start given   bit 2: limit given
//           bit 3: no delimiter (split_text's default ",")
//           bit 4: start at an end of the 32-bit range (by its sign)
//           bit 5: limit at an end of the 32-bit range (by its sign)
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "tests/fuzz/fuzz_support.h"
#include "tests/fuzz/reference_text.h"
#include "text/text.h"

namespace {

using lorvane::Text;
using lorvane::fuzz::escaped;
using lorvane::fuzz::number;
namespace ref = lorvane::fuzz::reference;

std::optional<std::int32_t> position(const lorvane::fuzz::Input& input, int given_bit, int far_bit,
                                     std::size_t index) {
  if (!input.flag(0, given_bit)) return std::nullopt;
  const auto value = static_cast<std::int8_t>(input.option(index));
  if (input.flag(0, far_bit)) {
    return value < 0 ? std::numeric_limits<std::int32_t>::min()
                     : std::numeric_limits<std::int32_t>::max();
  }
  return value;
}

std::vector<std::string> members_of(const lorvane::TextList& list) {
  std::vector<std::string> members;
  for (const Text& member : list.members()) members.emplace_back(member.view());
  return members;
}

std::string shown_list(const std::vector<std::string>& members) {
  std::string shown = "[";
  for (const std::string& member : members) shown += escaped(member) + " ";
  return shown + "]";
}

std::string joined(const std::vector<std::string>& members, const std::string& delimiter) {
  std::string text;
  for (std::size_t i = 0; i < members.size(); ++i) text += (i ? delimiter : "") + members[i];
  return text;
}

void check_search(const std::string& text, const std::string& sought,
                  std::optional<std::int32_t> start, bool ignore_case) {
  const Text t(text), s(sought);
  const std::int32_t found = lorvane::find_text(t, s, start, ignore_case);
  const std::int32_t expected = ref::find_text(text, sought, start, ignore_case);
  FUZZ_CHECK(found == expected, "find_text agrees with a scan over character starts",
             {"text", escaped(text)}, {"sought", escaped(sought)},
             {"start", start ? number(*start) : "none"}, {"ignore_case", number(ignore_case)},
             {"found", number(found)}, {"expected", number(expected)});
  const std::int32_t last = lorvane::find_text_last(t, s, start, ignore_case);
  const std::int32_t expected_last = ref::find_text_last(text, sought, start, ignore_case);
  FUZZ_CHECK(last == expected_last, "find_text_last agrees with a scan over character starts",
             {"text", escaped(text)}, {"sought", escaped(sought)},
             {"start", start ? number(*start) : "none"}, {"found", number(last)},
             {"expected", number(expected_last)});
}

void check_replace(const std::string& text, const std::string& sought,
                   const std::string& replacement, std::optional<std::int32_t> start,
                   std::optional<std::int32_t> limit, bool match_case) {
  const Text result =
      lorvane::replace_text(Text(text), Text(sought), Text(replacement), start, limit, match_case);
  const ref::Replaced expected =
      ref::replace_text(text, sought, replacement, start, limit, match_case);
  FUZZ_CHECK(result.view() == expected.text, "replace_text agrees with the plain replacement",
             {"text", escaped(text)}, {"sought", escaped(sought)},
             {"replacement", escaped(replacement)}, {"start", start ? number(*start) : "none"},
             {"limit", limit ? number(*limit) : "none"}, {"result", escaped(result.view())},
             {"expected", escaped(expected.text)});
  if (limit && *limit >= 0) {
    FUZZ_CHECK(expected.count <= *limit, "replace_text replaces no more than its limit",
               {"limit", number(*limit)}, {"count", number(expected.count)});
  }
  // Replacing with nothing leaves no bytes beyond the text's own.
  if (replacement.empty()) {
    FUZZ_CHECK(result.view().size() <= text.size(), "a replacement with nothing adds no bytes");
  }
}

void check_split(const std::string& text, const std::optional<std::string>& delimiter,
                 std::optional<std::int32_t> limit) {
  const std::optional<Text> d = delimiter ? std::optional<Text>(Text(*delimiter)) : std::nullopt;
  const std::vector<std::string> members = members_of(lorvane::split_text(Text(text), d, limit));
  const std::vector<std::string> expected = ref::split_text(text, delimiter, limit);
  FUZZ_CHECK(members == expected, "split_text agrees with the plain split", {"text", escaped(text)},
             {"delimiter", delimiter ? escaped(*delimiter) : "default"},
             {"limit", limit ? number(*limit) : "none"}, {"members", shown_list(members)},
             {"expected", shown_list(expected)});

  const std::string separator = delimiter.value_or(",");
  if (limit) {
    const std::size_t most = *limit > 0 ? static_cast<std::size_t>(*limit) : 0;
    FUZZ_CHECK(members.size() <= most, "split_text gives no more members than its limit");
    // The first members of the unlimited split, as many as the limit allows.
    const std::vector<std::string> all =
        members_of(lorvane::split_text(Text(text), d, std::nullopt));
    FUZZ_CHECK(std::equal(members.begin(), members.end(), all.begin(),
                          all.begin() + std::min(all.size(), members.size())) &&
                   members.size() == std::min(all.size(), most),
               "a limited split is the beginning of the unlimited one", {"text", escaped(text)},
               {"limit", number(*limit)});
    return;
  }
  // Joined again, the members give the text back; only a delimiter at the
  // very end is lost.
  const std::string back = joined(members, separator);
  FUZZ_CHECK(back == text || (!separator.empty() && back + separator == text),
             "split then join gives the text back", {"text", escaped(text)},
             {"delimiter", escaped(separator)}, {"members", shown_list(members)},
             {"joined", escaped(back)});
}

void check_spaces(const std::string& text) {
  const std::string trimmed(lorvane::trim_text(Text(text)).view());
  FUZZ_CHECK(trimmed == ref::trim_text(text), "trim_text agrees with the plain trim",
             {"text", escaped(text)}, {"trimmed", escaped(trimmed)},
             {"expected", escaped(ref::trim_text(text))});
  FUZZ_CHECK(trimmed.size() <= text.size() && text.find(trimmed) != std::string::npos,
             "trim_text gives a piece of its text, never more bytes");
  const std::string removed(lorvane::remove_spaces(Text(text)).view());
  FUZZ_CHECK(removed == ref::remove_spaces(text), "remove_spaces agrees with the plain removal",
             {"text", escaped(text)}, {"removed", escaped(removed)},
             {"expected", escaped(ref::remove_spaces(text))});
  FUZZ_CHECK(removed.size() <= text.size(), "remove_spaces adds no bytes");
  FUZZ_CHECK(lorvane::remove_spaces(Text(removed)).view() == removed,
             "remove_spaces leaves nothing to remove a second time", {"text", escaped(text)});
}

void check_case_and_numbers(const std::string& text) {
  const std::string upper(lorvane::to_upper(Text(text)).view());
  const std::string lower(lorvane::to_lower(Text(text)).view());
  FUZZ_CHECK(upper == ref::change_case(text, true), "to_upper agrees with the plain loop",
             {"text", escaped(text)}, {"upper", escaped(upper)});
  FUZZ_CHECK(lower == ref::change_case(text, false), "to_lower agrees with the plain loop",
             {"text", escaped(text)}, {"lower", escaped(lower)});
  const std::int32_t value = lorvane::text_to_int(Text(text));
  FUZZ_CHECK(value == ref::text_to_int(text), "text_to_int agrees with fold-then-read",
             {"text", escaped(text)}, {"value", number(value)},
             {"expected", number(ref::text_to_int(text))});
}

void check_helpers(const std::string& text, const std::string& left, const std::string& right,
                   std::optional<std::int32_t> start, bool ignore_case) {
  const std::string between(
      lorvane::extract_between(Text(text), Text(left), Text(right), start, ignore_case).view());
  const std::string expected = ref::extract_between(text, left, right, start, ignore_case);
  FUZZ_CHECK(between == expected, "extract_between agrees with find, find, cut",
             {"text", escaped(text)}, {"left", escaped(left)}, {"right", escaped(right)},
             {"start", start ? number(*start) : "none"}, {"result", escaped(between)},
             {"expected", escaped(expected)});
  const std::string before(lorvane::text_before(Text(text), Text(left), start, ignore_case).view());
  FUZZ_CHECK(before == ref::text_before(text, left, start, ignore_case),
             "text_before agrees with find, cut", {"text", escaped(text)},
             {"delimiter", escaped(left)}, {"result", escaped(before)});

  const std::string unique(lorvane::join_unique(Text(text), Text(left)).view());
  FUZZ_CHECK(unique == ref::join_unique(text, left), "join_unique agrees with the plain loop",
             {"text", escaped(text)}, {"delimiter", escaped(left)}, {"result", escaped(unique)},
             {"expected", escaped(ref::join_unique(text, left))});
  if (!left.empty()) {
    const std::vector<std::string> parts = ref::split_text(unique, left, std::nullopt);
    for (std::size_t i = 0; i < parts.size(); ++i) {
      for (std::size_t j = i + 1; j < parts.size(); ++j) {
        FUZZ_CHECK(parts[i] != parts[j], "join_unique leaves no part twice",
                   {"text", escaped(text)}, {"delimiter", escaped(left)},
                   {"result", escaped(unique)});
      }
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const lorvane::fuzz::Input input(data, size, 3, 3);
  const std::string text = input.text(0);
  const std::string sought = input.text(1);
  const std::string replacement = input.text(2);
  const bool ignore_case = input.flag(0, 0);
  const std::optional<std::int32_t> start = position(input, 1, 4, 1);
  const std::optional<std::int32_t> limit = position(input, 2, 5, 2);

  check_search(text, sought, start, ignore_case);
  check_search(text, sought, std::nullopt, ignore_case);
  check_replace(text, sought, replacement, start, limit, !ignore_case);
  check_split(text, input.flag(0, 3) ? std::nullopt : std::optional<std::string>(sought), limit);
  check_split(text, sought, std::nullopt);
  check_spaces(text);
  check_case_and_numbers(text);
  check_helpers(text, sought, replacement, start, ignore_case);
  return 0;
}
