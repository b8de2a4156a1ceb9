// Text operations: cutting, searching, replacing, splitting, trimming, case
// conversion, number reading, and conversion between Text and Bytes.
//
// Positions are 1-based byte positions; out-of-range positions, lengths and
// limits are clamped, never errors. "Character steps" means one byte after a
// byte below 0x80 and two bytes after a byte of 0x80 or above; such a byte at
// the very end is a lone first byte. Letter case is ASCII only. Optional
// arguments left out mean what each comment says.
#pragma once

#include <cstdint>
#include <optional>

#include "text/values.h"

namespace lorvane {

// The first `length` bytes (plain bytes: may cut a two-byte character);
// length <= 0 gives empty.
Text text_left(const Text& text, std::int32_t length);

// The last `length` bytes; length <= 0 gives empty.
Text text_right(const Text& text, std::int32_t length);

// `length` bytes from the 1-based `start`, cut at the end of the text; start
// below 1 or past the end, or length <= 0, gives empty.
Text text_mid(const Text& text, std::int32_t start, std::int32_t length);

// `length` half-width spaces; length <= 0 gives empty.
Text blank_text(std::int32_t length);

// ASCII letters raised (or lowered); second bytes of two-byte characters are
// never changed; a lone first byte at the end stays.
Text to_upper(const Text& text);
Text to_lower(const Text& text);

// Half-width (0x20) and full-width (A1 A1) spaces removed at both ends. Tabs
// and line breaks stay. A lone first byte at the end is cut off, and the
// spaces in front of it stay.
Text trim_text(const Text& text);

// Every half-width and full-width space removed; a lone first byte at the end
// is left out.
Text remove_spaces(const Text& text);

// 1-based position of the first occurrence of `sought` at or after `start`
// (omitted: 1), tested only at character starts; -1 when there is none. An
// empty `sought` gives 1 while a byte lies at or after `start`, else -1.
std::int32_t find_text(const Text& text, const Text& sought,
                       std::optional<std::int32_t> start = std::nullopt, bool ignore_case = false);

// 1-based position of the last occurrence of `sought` that ends before byte
// `start` (omitted: the end of the text); -1 when there is none. Calling it
// again with the previous result as `start` walks back one occurrence at a time.
std::int32_t find_text_last(const Text& text, const Text& sought,
                            std::optional<std::int32_t> start = std::nullopt,
                            bool ignore_case = false);

// Occurrences of `sought` from `start` on (omitted: 1) replaced left to right
// by `replacement`, at most `limit` of them (omitted or negative: no limit).
// Replaced text is never scanned again. An empty text or `sought`, a start past
// the end, or limit 0 gives the text unchanged.
Text replace_text(const Text& text, const Text& sought, const Text& replacement = {},
                  std::optional<std::int32_t> start = std::nullopt,
                  std::optional<std::int32_t> limit = std::nullopt, bool match_case = false);

// The pieces between exact occurrences of `delimiter` (omitted: ","), at most
// `limit` of them (omitted: no limit; negative: 0). A trailing delimiter adds
// no empty piece; a leading one gives an empty first piece; an empty delimiter
// gives the whole text as the one piece; the empty text gives no pieces.
TextList split_text(const Text& text, const std::optional<Text>& delimiter = std::nullopt,
                    std::optional<std::int32_t> limit = std::nullopt);

// The decimal number at the beginning, after full-width forms are folded and
// leading white space skipped; an optional sign; 32-bit wrap-around; no digits
// give 0.
std::int32_t text_to_int(const Text& text);

// The bytes of the text; the empty text gives the empty value.
Bytes text_to_bytes(const Text& text);

// The bytes up to the first zero byte, or all of them.
Text bytes_to_text(const Bytes& data);

// The first min(length, n) bytes; length <= 0 gives empty.
Bytes bytes_left(const Bytes& data, std::int32_t length);

// `length` zero bytes; length <= 0 gives empty.
Bytes blank_bytes(std::int32_t length);

}  // namespace lorvane
