// Cutting values out of protocol text by delimiters.
#pragma once

#include <cstdint>
#include <optional>

#include "text/values.h"

namespace lorvane {

// Stands for one double-quote character inside a delimiter of extract_between:
// "#" followed by the two-character word for "quote" in code page 936.
inline constexpr char quote_marker[] = "#\xD2\xFD\xBA\xC5";

// The text between the first `left_delimiter` at or after `start` (omitted or
// below 1: the first byte) and the next `right_delimiter` after it; each quote
// marker in a delimiter matches a double quote. Either delimiter missing gives
// the empty text, and so does an empty right delimiter.
Text extract_between(const Text& text, const Text& left_delimiter, const Text& right_delimiter,
                     std::optional<std::int32_t> start = std::nullopt,
                     std::optional<bool> ignore_case = std::nullopt);

// Everything from the first byte up to the first `delimiter` at or after
// `start` (omitted or below 1: the first byte); a miss or an empty delimiter
// gives the empty text.
Text text_before(const Text& text, const Text& delimiter,
                 std::optional<std::int32_t> start = std::nullopt,
                 std::optional<bool> ignore_case = std::nullopt);

}  // namespace lorvane
