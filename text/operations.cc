#include "text/operations.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "text/internal/scan.h"

namespace lorvane {
namespace {

using text_internal::bytes_of;
using text_internal::first_match;
using text_internal::high_bits;
using text_internal::is_first_byte;
using text_internal::low_bits;
using text_internal::Matcher;
using text_internal::no_match;
using text_internal::step_at;

constexpr unsigned char half_width_space = 0x20;
constexpr unsigned char full_width_space_byte = 0xA1;  // twice: A1 A1

// 0-based offset for a 1-based start; omitted or below 1 means the first byte.
// Widened first, so that start - 1 cannot overflow.
std::size_t offset_of(std::optional<std::int32_t> start) noexcept {
  if (!start) return 0;
  const std::int64_t offset = static_cast<std::int64_t>(*start) - 1;
  return offset < 0 ? 0 : static_cast<std::size_t>(offset);
}

bool is_full_width_space(const unsigned char* bytes, std::size_t pos, std::size_t size) noexcept {
  return bytes[pos] == full_width_space_byte && pos + 1 < size &&
         bytes[pos + 1] == full_width_space_byte;
}

// The one byte a two-byte character folds to for number reading, or its first
// byte when it has no half-width form (that byte then ends any number).
unsigned char folded_form(unsigned char first, unsigned char second) noexcept {
  if (first == 0xA1) {
    if (second == 0xA1) return 0x20;
    if (second == 0xAB) return 0x7E;
    if (second == 0xEE || second == 0xEF) return 0x2A;
  }
  if (first == 0xA3 && second >= 0xA1 && second <= 0xFE) {
    return static_cast<unsigned char>(second - 0x80);
  }
  return first;
}

// Changes the letters 'a'-'z' (to_upper) or 'A'-'Z' (to_lower) of a copy of
// `text`, never a second byte of a two-byte character. Eight bytes go at a
// time: a word of plain ASCII needs no stepping at all, and in a word with
// bytes of 0x80 and above only the second bytes are worked out one by one.
Text change_letters(const Text& text, unsigned char lowest) {
  std::string copy(text.view());
  unsigned char* bytes = reinterpret_cast<unsigned char*>(copy.data());
  const std::size_t size = copy.size();
  // Per byte of a word with its top bit clear: the top bit of (byte + below)
  // is set from `lowest` on, that of (byte + above) from past `lowest` + 25.
  const std::uint64_t below = low_bits * (0x80u - lowest);
  const std::uint64_t above = low_bits * (0x80u - lowest - 26u);
  bool second = false;  // the next byte is the second byte of a character
  std::size_t pos = 0;
  for (; size - pos >= 8; pos += 8) {
    std::uint64_t word;
    std::memcpy(&word, bytes + pos, sizeof word);
    std::uint64_t kept = word & high_bits;  // top bit set: a byte not to change
    if (kept != 0 || second) {
      for (unsigned shift = 0; shift < 64; shift += 8) {
        if (second) kept |= std::uint64_t{0x80} << shift;
        second = !second && ((word >> shift) & 0x80u) != 0;
      }
    }
    const std::uint64_t seven_bits = word & ~high_bits;
    const std::uint64_t letters = (seven_bits + below) & ~(seven_bits + above) & ~kept & high_bits;
    // 0x20 is the case bit of an ASCII letter.
    word ^= letters >> 2;
    std::memcpy(bytes + pos, &word, sizeof word);
  }
  for (; pos < size; ++pos) {
    const unsigned char byte = bytes[pos];
    if (!second && byte >= lowest && byte < lowest + 26u)
      bytes[pos] = static_cast<unsigned char>(byte ^ 0x20u);
    second = !second && is_first_byte(byte);
  }
  return Text(std::move(copy), text_internal::WithoutZero{});
}

}  // namespace

Text text_left(const Text& text, std::int32_t length) {
  if (length <= 0) return {};
  return Text(text.view().substr(0, static_cast<std::size_t>(length)));
}

Text text_right(const Text& text, std::int32_t length) {
  if (length <= 0) return {};
  const std::string_view bytes = text.view();
  const std::size_t kept = std::min(bytes.size(), static_cast<std::size_t>(length));
  return Text(bytes.substr(bytes.size() - kept));
}

Text text_mid(const Text& text, std::int32_t start, std::int32_t length) {
  const std::string_view bytes = text.view();
  if (start < 1 || static_cast<std::size_t>(start) > bytes.size() || length <= 0) return {};
  return Text(bytes.substr(static_cast<std::size_t>(start) - 1, static_cast<std::size_t>(length)));
}

Text blank_text(std::int32_t length) {
  if (length <= 0) return {};
  return Text(std::string(static_cast<std::size_t>(length), ' '));
}

Text to_upper(const Text& text) { return change_letters(text, 'a'); }

Text to_lower(const Text& text) { return change_letters(text, 'A'); }

Text trim_text(const Text& text) {
  const std::string_view view = text.view();
  const unsigned char* bytes = bytes_of(view);
  const std::size_t size = view.size();

  std::size_t begin = 0;
  while (begin < size) {
    if (bytes[begin] == half_width_space) {
      begin += 1;
    } else if (is_full_width_space(bytes, begin, size)) {
      begin += 2;
    } else {
      break;
    }
  }

  std::size_t end = size;
  std::size_t run_start = no_match;
  std::size_t pos = begin;
  while (pos < size) {
    if (bytes[pos] == half_width_space) {
      if (run_start == no_match) run_start = pos;
      pos += 1;
    } else if (is_first_byte(bytes[pos]) && pos + 1 == size) {
      // A lone first byte is cut off on its own; spaces in front of it stay.
      run_start = pos;
      break;
    } else if (is_full_width_space(bytes, pos, size)) {
      if (run_start == no_match) run_start = pos;
      pos += 2;
    } else {
      run_start = no_match;
      pos += step_at(bytes[pos]);
    }
  }
  if (run_start != no_match) end = run_start;
  return Text(view.substr(begin, end - begin));
}

Text remove_spaces(const Text& text) {
  const std::string_view view = text.view();
  const unsigned char* bytes = bytes_of(view);
  const std::size_t size = view.size();
  std::string kept;
  kept.reserve(size);
  // Copies whole runs between spaces rather than byte by byte.
  std::size_t run_start = 0;
  std::size_t pos = 0;
  while (pos < size) {
    std::size_t skipped = 0;
    if (bytes[pos] == half_width_space) {
      skipped = 1;
    } else if (is_first_byte(bytes[pos]) && pos + 1 == size) {
      skipped = 1;  // a lone first byte at the end is left out
    } else if (is_full_width_space(bytes, pos, size)) {
      skipped = 2;
    }
    if (skipped == 0) {
      pos += step_at(bytes[pos]);
      continue;
    }
    kept.append(view.substr(run_start, pos - run_start));
    pos += skipped;
    run_start = pos;
  }
  if (run_start < size) kept.append(view.substr(run_start));
  return Text(std::move(kept));
}

std::int32_t find_text(const Text& text, const Text& sought, std::optional<std::int32_t> start,
                       bool ignore_case) {
  const std::string_view view = text.view();
  const std::size_t begin = offset_of(start);
  if (begin >= view.size()) return -1;
  if (sought.empty()) return 1;
  const Matcher matcher(sought.view(), ignore_case);
  const std::size_t found = first_match(view, begin, view.size(), matcher);
  return found == no_match ? -1 : static_cast<std::int32_t>(found + 1);
}

std::int32_t find_text_last(const Text& text, const Text& sought, std::optional<std::int32_t> start,
                            bool ignore_case) {
  const std::string_view view = text.view();
  // Only occurrences that end before byte `start` count.
  const std::size_t end = start ? std::min(offset_of(start), view.size()) : view.size();
  if (end == 0) return -1;
  if (sought.empty()) return 1;
  const Matcher matcher(sought.view(), ignore_case);
  const unsigned char* bytes = bytes_of(view);
  // Character starts are only known by stepping from the first byte, so the
  // scan runs forward and keeps the last match.
  std::size_t last = no_match;
  for (std::size_t found = first_match(view, 0, end, matcher); found != no_match;
       found = first_match(view, found + step_at(bytes[found]), end, matcher)) {
    last = found;
  }
  return last == no_match ? -1 : static_cast<std::int32_t>(last + 1);
}

Text replace_text(const Text& text, const Text& sought, const Text& replacement,
                  std::optional<std::int32_t> start, std::optional<std::int32_t> limit,
                  bool match_case) {
  const std::string_view view = text.view();
  const std::size_t size = view.size();
  const std::size_t m = sought.view().size();
  const std::size_t begin = offset_of(start);
  const bool limited = limit && *limit >= 0;
  if (size == 0 || m == 0 || begin >= size || (limited && *limit == 0)) return text;

  const Matcher matcher(sought.view(), !match_case);
  std::string result;
  result.reserve(size);
  std::size_t count = 0;
  // Bytes between matches are copied as whole runs. A lone first byte ends
  // the search and is kept with the rest of the text.
  std::size_t run_start = 0;
  for (std::size_t found = first_match(view, begin, size, matcher); found != no_match;
       found = first_match(view, run_start, size, matcher)) {
    result.append(view.substr(run_start, found - run_start));
    result.append(replacement.view());
    run_start = found + m;
    if (limited && ++count == static_cast<std::size_t>(*limit)) break;
  }
  result.append(view.substr(run_start));
  return Text(std::move(result), text_internal::WithoutZero{});
}

TextList split_text(const Text& text, const std::optional<Text>& delimiter,
                    std::optional<std::int32_t> limit) {
  const std::string_view view = text.view();
  const std::string_view separator = delimiter ? delimiter->view() : std::string_view(",");
  const bool limited = limit.has_value();
  const std::size_t most = limited && *limit > 0 ? static_cast<std::size_t>(*limit) : 0;
  std::vector<Text> members;
  if (view.empty() || (limited && most == 0)) return make_text_list(std::move(members));
  if (separator.empty()) {
    members.emplace_back(view);
    return make_text_list(std::move(members));
  }
  text_internal::for_each_piece(view, separator, [&](std::string_view piece) {
    members.emplace_back(piece, text_internal::WithoutZero{});
    return !(limited && members.size() == most);
  });
  return make_text_list(std::move(members));
}

std::int32_t text_to_int(const Text& text) {
  const std::string_view view = text.view();
  const unsigned char* bytes = bytes_of(view);
  const std::size_t size = view.size();
  std::size_t pos = 0;
  // The next byte of the text with full-width forms folded, or -1 at the end.
  // Folding as it reads stops at the end of the number instead of copying the
  // whole text.
  const auto next = [&]() -> int {
    if (pos >= size) return -1;
    const unsigned char first = bytes[pos];
    if (!is_first_byte(first)) {
      pos += 1;
      return first;
    }
    if (pos + 1 == size) {  // a lone first byte is left out
      pos = size;
      return -1;
    }
    pos += 2;
    return folded_form(first, bytes[pos - 1]);
  };

  int byte = next();
  while (byte == 0x20 || (byte >= 0x09 && byte <= 0x0D)) byte = next();
  const bool negative = byte == '-';
  if (byte == '+' || byte == '-') byte = next();
  // Unsigned arithmetic wraps by definition, which is the 32-bit two's
  // complement behaviour wanted here.
  std::uint32_t value = 0;
  while (byte >= '0' && byte <= '9') {
    value = value * 10u + static_cast<std::uint32_t>(byte - '0');
    byte = next();
  }
  if (negative) value = 0u - value;
  return static_cast<std::int32_t>(value);
}

Bytes text_to_bytes(const Text& text) { return Bytes(text.view()); }

Text bytes_to_text(const Bytes& data) { return Text(data.view()); }

Bytes bytes_left(const Bytes& data, std::int32_t length) {
  if (length <= 0) return {};
  return Bytes(data.view().substr(0, static_cast<std::size_t>(length)));
}

Bytes blank_bytes(std::int32_t length) {
  if (length <= 0) return {};
  return Bytes(std::string(static_cast<std::size_t>(length), '\0'));
}

}  // namespace lorvane
