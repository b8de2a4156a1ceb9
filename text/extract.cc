#include "text/extract.h"

#include "text/operations.h"

namespace lorvane {
namespace {

// The delimiter as searched for: every quote marker stands for one double quote.
Text with_quotes(const Text& delimiter) {
  return replace_text(delimiter, quote_marker, "\"", std::nullopt, std::nullopt, true);
}

}  // namespace

Text extract_between(const Text& text, const Text& left_delimiter, const Text& right_delimiter,
                     std::optional<std::int32_t> start, std::optional<bool> ignore_case) {
  const Text left = with_quotes(left_delimiter);
  const Text right = with_quotes(right_delimiter);
  const bool fold = ignore_case.value_or(false);
  const std::int32_t left_at = find_text(text, left, start.value_or(0), fold);
  if (left_at == -1) return {};
  const std::int32_t wanted_at = left_at + text_len(left);
  // Searching from just behind the left delimiter keeps an occurrence that
  // overlaps it from counting.
  const std::int32_t right_at = find_text(text, right, wanted_at, fold);
  if (right_at == -1) return {};
  return text_mid(text, wanted_at, right_at - wanted_at);
}

Text text_before(const Text& text, const Text& delimiter, std::optional<std::int32_t> start,
                 std::optional<bool> ignore_case) {
  const std::int32_t from = start.value_or(0) < 1 ? 1 : *start;
  const std::int32_t found = find_text(text, delimiter, from, ignore_case.value_or(false));
  if (found == -1) return {};
  return text_left(text, found - 1);
}

}  // namespace lorvane
