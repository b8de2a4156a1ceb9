// The text operations written the plain way, one byte and one character at a
// time, straight from their rules: the yardstick the text fuzzer holds the
// toolkit (and every optimisation of it) against.
//
// Character steps: one byte after a byte below 0x80, two after a byte of 0x80
// or above; such a byte at the very end is a lone first byte. Every character
// start reached by stepping is a candidate for a match, the lone first byte
// included, while the whole sought text fits before the end.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace lorvane::fuzz::reference {

using Bytes = std::string;

inline unsigned char at(const Bytes& s, std::size_t i) { return static_cast<unsigned char>(s[i]); }
inline bool first_byte(unsigned char byte) { return byte >= 0x80; }
inline std::size_t step(const Bytes& s, std::size_t i) { return first_byte(at(s, i)) ? 2 : 1; }
inline bool lone_first_byte(const Bytes& s, std::size_t i) {
  return i + 1 == s.size() && first_byte(at(s, i));
}
inline unsigned char folded(unsigned char byte) {
  return byte >= 'A' && byte <= 'Z' ? static_cast<unsigned char>(byte + 0x20) : byte;
}

inline bool matches_at(const Bytes& s, std::size_t pos, const Bytes& sought, bool ignore_case) {
  if (pos + sought.size() > s.size()) return false;
  for (std::size_t i = 0; i < sought.size(); ++i) {
    unsigned char a = at(s, pos + i);
    unsigned char b = at(sought, i);
    if (ignore_case) {
      a = folded(a);
      b = folded(b);
    }
    if (a != b) return false;
  }
  return true;
}

// 0-based offset of a 1-based start: omitted or below 1 is the first byte.
inline std::size_t offset(std::optional<std::int32_t> start) {
  if (!start || *start < 1) return 0;
  return static_cast<std::size_t>(*start) - 1;
}

inline std::int32_t find_text(const Bytes& s, const Bytes& sought,
                              std::optional<std::int32_t> start, bool ignore_case) {
  const std::size_t b = offset(start);
  if (b >= s.size()) return -1;
  if (sought.empty()) return 1;
  for (std::size_t pos = b; pos + sought.size() <= s.size(); pos += step(s, pos)) {
    if (matches_at(s, pos, sought, ignore_case)) return static_cast<std::int32_t>(pos + 1);
  }
  return -1;
}

inline std::int32_t find_text_last(const Bytes& s, const Bytes& sought,
                                   std::optional<std::int32_t> start, bool ignore_case) {
  const std::size_t e = start ? std::min(offset(start), s.size()) : s.size();
  if (e == 0) return -1;
  if (sought.empty()) return 1;
  std::int32_t last = -1;
  for (std::size_t pos = 0; pos + sought.size() <= e; pos += step(s, pos)) {
    if (matches_at(s, pos, sought, ignore_case)) last = static_cast<std::int32_t>(pos + 1);
  }
  return last;
}

struct Replaced {
  Bytes text;
  std::int64_t count = 0;  // replacements made
};

inline Replaced replace_text(const Bytes& s, const Bytes& sought, const Bytes& replacement,
                             std::optional<std::int32_t> start, std::optional<std::int32_t> limit,
                             bool match_case) {
  const std::size_t b = offset(start);
  const bool limited = limit && *limit >= 0;
  if (s.empty() || sought.empty() || b >= s.size() || (limited && *limit == 0)) return {s, 0};
  Replaced result{s.substr(0, b), 0};
  std::size_t pos = b;
  while (pos + sought.size() <= s.size()) {
    if (matches_at(s, pos, sought, !match_case)) {
      result.text += replacement;
      pos += sought.size();
      ++result.count;
      if (limited && result.count == *limit) break;
    } else {
      if (lone_first_byte(s, pos)) break;
      result.text += s.substr(pos, step(s, pos));
      pos += step(s, pos);
    }
  }
  result.text += s.substr(pos);
  return result;
}

inline std::vector<Bytes> split_text(const Bytes& s, const std::optional<Bytes>& delimiter,
                                     std::optional<std::int32_t> limit) {
  const Bytes d = delimiter.value_or(",");
  const bool limited = limit.has_value();
  const std::int64_t most = limited && *limit > 0 ? *limit : 0;
  std::vector<Bytes> members;
  if (s.empty() || (limited && most == 0)) return members;
  if (d.empty()) return {s};
  std::size_t piece = 0;
  std::size_t pos = 0;
  while (pos + d.size() <= s.size()) {
    if (matches_at(s, pos, d, false)) {
      members.push_back(s.substr(piece, pos - piece));
      pos += d.size();
      piece = pos;
      if (limited && static_cast<std::int64_t>(members.size()) == most) return members;
    } else {
      if (lone_first_byte(s, pos)) break;
      pos += step(s, pos);
    }
  }
  if (piece < s.size()) members.push_back(s.substr(piece));
  return members;
}

inline bool full_width_space(const Bytes& s, std::size_t i) {
  return at(s, i) == 0xA1 && i + 1 < s.size() && at(s, i + 1) == 0xA1;
}

inline Bytes trim_text(const Bytes& s) {
  std::size_t begin = 0;
  while (begin < s.size()) {
    if (at(s, begin) == ' ') {
      begin += 1;
    } else if (full_width_space(s, begin)) {
      begin += 2;
    } else {
      break;
    }
  }
  std::optional<std::size_t> run;
  std::size_t end = s.size();
  std::size_t pos = begin;
  while (pos < s.size()) {
    if (lone_first_byte(s, pos)) {
      end = pos;  // the lone byte goes; the spaces before it stay
      run.reset();
      break;
    }
    if (at(s, pos) == ' ' || full_width_space(s, pos)) {
      if (!run) run = pos;
    } else {
      run.reset();
    }
    pos += step(s, pos);
  }
  if (run) end = *run;
  return s.substr(begin, end - begin);
}

inline Bytes remove_spaces(const Bytes& s) {
  Bytes kept;
  for (std::size_t pos = 0; pos < s.size(); pos += step(s, pos)) {
    if (lone_first_byte(s, pos)) break;
    if (at(s, pos) == ' ' || full_width_space(s, pos)) continue;
    kept += s.substr(pos, step(s, pos));
  }
  return kept;
}

inline Bytes change_case(const Bytes& s, bool upper) {
  Bytes copy = s;
  for (std::size_t pos = 0; pos < copy.size(); pos += step(copy, pos)) {
    const unsigned char byte = at(copy, pos);
    if (upper && byte >= 'a' && byte <= 'z') copy[pos] = static_cast<char>(byte - 0x20);
    if (!upper && byte >= 'A' && byte <= 'Z') copy[pos] = static_cast<char>(byte + 0x20);
  }
  return copy;
}

inline std::int32_t text_to_int(const Bytes& s) {
  Bytes folded_copy;
  for (std::size_t pos = 0; pos < s.size(); pos += step(s, pos)) {
    const unsigned char first = at(s, pos);
    if (!first_byte(first)) {
      folded_copy += static_cast<char>(first);
      continue;
    }
    if (lone_first_byte(s, pos)) break;
    const unsigned char second = at(s, pos + 1);
    if (first == 0xA1 && second == 0xA1) {
      folded_copy += ' ';
    } else if (first == 0xA1 && second == 0xAB) {
      folded_copy += '~';
    } else if (first == 0xA1 && (second == 0xEE || second == 0xEF)) {
      folded_copy += '*';
    } else if (first == 0xA3 && second >= 0xA1 && second <= 0xFE) {
      folded_copy += static_cast<char>(second - 0x80);
    } else {
      folded_copy += s.substr(pos, 2);
    }
  }
  std::size_t i = 0;
  while (i < folded_copy.size() &&
         (folded_copy[i] == ' ' || (folded_copy[i] >= 0x09 && folded_copy[i] <= 0x0D)))
    ++i;
  bool negative = false;
  if (i < folded_copy.size() && (folded_copy[i] == '+' || folded_copy[i] == '-')) {
    negative = folded_copy[i] == '-';
    ++i;
  }
  std::uint32_t value = 0;
  for (; i < folded_copy.size() && folded_copy[i] >= '0' && folded_copy[i] <= '9'; ++i) {
    value = value * 10u + static_cast<std::uint32_t>(folded_copy[i] - '0');
  }
  if (negative) value = 0u - value;
  return static_cast<std::int32_t>(value);
}

inline Bytes join_unique(const Bytes& s, const Bytes& delimiter) {
  std::vector<Bytes> taken;
  Bytes result;
  for (const Bytes& part : split_text(s, delimiter, std::nullopt)) {
    bool seen = false;
    for (const Bytes& earlier : taken) seen = seen || earlier == part;
    if (seen) continue;
    taken.push_back(part);
    result += part + delimiter;
  }
  return result.substr(0, result.size() >= delimiter.size() ? result.size() - delimiter.size() : 0);
}

// "#" and the word for "quote": a double quote inside a delimiter.
inline const Bytes quote_marker = "#\xD2\xFD\xBA\xC5";

inline Bytes extract_between(const Bytes& s, const Bytes& left, const Bytes& right,
                             std::optional<std::int32_t> start, bool ignore_case) {
  const Bytes l = replace_text(left, quote_marker, "\"", std::nullopt, std::nullopt, true).text;
  const Bytes r = replace_text(right, quote_marker, "\"", std::nullopt, std::nullopt, true).text;
  const std::int32_t found = find_text(s, l, start && *start >= 1 ? *start : 1, ignore_case);
  if (found == -1) return {};
  const std::int64_t b = found + static_cast<std::int64_t>(l.size());
  if (b > static_cast<std::int64_t>(s.size())) return {};
  const std::int32_t e = find_text(s, r, static_cast<std::int32_t>(b), ignore_case);
  if (e == -1 || e <= b) return {};
  return s.substr(static_cast<std::size_t>(b - 1), static_cast<std::size_t>(e - b));
}

inline Bytes text_before(const Bytes& s, const Bytes& delimiter, std::optional<std::int32_t> start,
                         bool ignore_case) {
  const std::int32_t p = find_text(s, delimiter, start && *start >= 1 ? *start : 1, ignore_case);
  if (p == -1) return {};
  return s.substr(0, static_cast<std::size_t>(p - 1));
}

}  // namespace lorvane::fuzz::reference
