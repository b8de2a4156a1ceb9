// The searching, splitting, replacing and case-changing routines as they were
// before their fast paths: a character at a time, with an 8-byte skip over
// plain ASCII. Kept here unchanged so that tests can compare the routines of
// text/ with them on many pseudo-random texts; they are not used elsewhere.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "text/values.h"

namespace lorvane::reference {
inline constexpr std::size_t no_match = static_cast<std::size_t>(-1);

inline const unsigned char* bytes_of(std::string_view text) noexcept {
  return reinterpret_cast<const unsigned char*>(text.data());
}

// A byte of 0x80 or above begins a two-byte character.
constexpr bool is_first_byte(unsigned char byte) noexcept { return byte >= 0x80; }

// Bytes from a character start to the next one: 1 or 2. Past a lone first byte
// at the end this steps beyond the text, which every scan takes as its end.
constexpr std::size_t step_at(unsigned char byte) noexcept { return 1 + (byte >> 7); }

// ASCII only: the locale never takes part.
constexpr unsigned char fold_case(unsigned char byte) noexcept {
  return byte >= 0x41 && byte <= 0x5A ? static_cast<unsigned char>(byte + 0x20) : byte;
}

// Tests `sought` at a candidate position. Folding applies to every compared
// byte, second bytes of two-byte characters included.
class Matcher {
 public:
  Matcher(std::string_view sought, bool ignore_case)
      : sought_(bytes_of(sought)), size_(sought.size()), ignore_case_(ignore_case) {
    if (ignore_case_) {
      folded_.resize(size_);
      for (std::size_t i = 0; i < size_; ++i) folded_[i] = static_cast<char>(fold_case(sought_[i]));
      sought_ = bytes_of(folded_);
    }
    if (size_ > 0) {
      first_ = sought_[0];
      // Ignoring case, a text byte 0x41-0x5A also matches its folded form.
      first_other_ = ignore_case_ && first_ >= 0x61 && first_ <= 0x7A
                         ? static_cast<unsigned char>(first_ - 0x20)
                         : first_;
    }
  }

  // Points into its own folded copy, so it stays where it was made.
  Matcher(const Matcher&) = delete;
  Matcher& operator=(const Matcher&) = delete;

  std::size_t size() const noexcept { return size_; }

  // `at` must have size() readable bytes; size() must not be 0.
  bool matches(const unsigned char* at) const noexcept {
    if (!ignore_case_) {
      return at[0] == sought_[0] && std::memcmp(at + 1, sought_ + 1, size_ - 1) == 0;
    }
    for (std::size_t i = 0; i < size_; ++i) {
      if (fold_case(at[i]) != sought_[i]) return false;
    }
    return true;
  }

  // True when no match can begin in the 8 bytes at `at`: all of them are
  // one-byte characters (so each is a character start and stepping stays in
  // step) and none can be the first byte of `sought`.
  bool skips_block(const unsigned char* at) const noexcept {
    std::uint64_t block;
    std::memcpy(&block, at, sizeof block);
    return ((block & high_bits) | has_byte(block, first_) | has_byte(block, first_other_)) == 0;
  }

 private:
  static constexpr std::uint64_t low_bits = 0x0101010101010101u;
  static constexpr std::uint64_t high_bits = 0x8080808080808080u;

  // Non-zero when some byte of `block` equals `byte`.
  static std::uint64_t has_byte(std::uint64_t block, unsigned char byte) noexcept {
    const std::uint64_t diff = block ^ (low_bits * byte);
    return (diff - low_bits) & ~diff & high_bits;
  }

  const unsigned char* sought_;
  std::size_t size_;
  bool ignore_case_;
  unsigned char first_ = 0;
  unsigned char first_other_ = 0;
  std::string folded_;
};

// Offset of the first match at a character start reached by stepping from
// `begin`, testing only while the whole match fits before `end`; no_match
// otherwise. `begin` is taken as a character start.
inline std::size_t first_match(std::string_view text, std::size_t begin, std::size_t end,
                               const Matcher& matcher) noexcept {
  const std::size_t m = matcher.size();
  if (m > end) return no_match;
  const unsigned char* bytes = bytes_of(text);
  const std::size_t last = end - m;
  std::size_t pos = begin;
  while (pos <= last) {
    // Runs of plain ASCII without the first byte of sought go 8 at a time.
    while (pos + 8 <= end && matcher.skips_block(bytes + pos)) pos += 8;
    if (pos > last) break;
    if (matcher.matches(bytes + pos)) return pos;
    pos += step_at(bytes[pos]);
  }
  return no_match;
}

// Walks `text` (non-empty) piece by piece between exact occurrences of
// `delimiter` (non-empty), calling `take(piece)` for each. `take` returns false
// to end the walk at once (a limit was reached); the rest is then dropped. A
// trailing delimiter leaves no empty last piece.
template <typename Take>
void for_each_piece(std::string_view text, std::string_view delimiter, Take&& take) {
  const Matcher matcher(delimiter, false);
  std::size_t piece_start = 0;
  for (std::size_t found = first_match(text, 0, text.size(), matcher); found != no_match;
       found = first_match(text, piece_start, text.size(), matcher)) {
    if (!take(text.substr(piece_start, found - piece_start))) return;
    piece_start = found + delimiter.size();
  }
  // A lone first byte ends the scan and stays in the last piece.
  if (piece_start < text.size()) take(text.substr(piece_start));
}

inline std::size_t offset_of(std::optional<std::int32_t> start) noexcept {
  if (!start) return 0;
  const std::int64_t offset = static_cast<std::int64_t>(*start) - 1;
  return offset < 0 ? 0 : static_cast<std::size_t>(offset);
}

template <typename Change>
Text change_letters(const Text& text, Change change) {
  std::string copy(text.view());
  unsigned char* bytes = reinterpret_cast<unsigned char*>(copy.data());
  const std::size_t size = copy.size();
  for (std::size_t pos = 0; pos < size; pos += step_at(bytes[pos])) {
    if (!is_first_byte(bytes[pos])) bytes[pos] = change(bytes[pos]);
  }
  return Text(std::move(copy));
}

inline Text to_upper(const Text& text) {
  return change_letters(text, [](unsigned char byte) -> unsigned char {
    return byte >= 'a' && byte <= 'z' ? static_cast<unsigned char>(byte - 0x20) : byte;
  });
}

inline Text to_lower(const Text& text) {
  return change_letters(text, [](unsigned char byte) -> unsigned char { return fold_case(byte); });
}

inline std::int32_t find_text(const Text& text, const Text& sought,
                              std::optional<std::int32_t> start, bool ignore_case) {
  const std::string_view view = text.view();
  const std::size_t begin = offset_of(start);
  if (begin >= view.size()) return -1;
  if (sought.empty()) return 1;
  const Matcher matcher(sought.view(), ignore_case);
  const std::size_t found = first_match(view, begin, view.size(), matcher);
  return found == no_match ? -1 : static_cast<std::int32_t>(found + 1);
}

inline std::int32_t find_text_last(const Text& text, const Text& sought,
                                   std::optional<std::int32_t> start, bool ignore_case) {
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

inline Text replace_text(const Text& text, const Text& sought, const Text& replacement,
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
  return Text(std::move(result));
}

inline TextList split_text(const Text& text, const std::optional<Text>& delimiter,
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
  for_each_piece(view, separator, [&](std::string_view piece) {
    members.emplace_back(piece);
    return !(limited && members.size() == most);
  });
  return make_text_list(std::move(members));
}

class TakenParts {
 public:
  // True when `part` was not taken before; it is taken from now on.
  bool take(std::string_view part) {
    if ((count_ + 1) * 2 > slots_.size()) grow();
    const std::size_t hash = std::hash<std::string_view>{}(part);
    for (std::size_t at = hash & mask_;; at = (at + 1) & mask_) {
      Slot& slot = slots_[at];
      if (slot.part.data() == nullptr) {
        slot = {hash, part};
        ++count_;
        return true;
      }
      if (slot.hash == hash && slot.part == part) return false;
    }
  }

 private:
  // Parts come from the text, so a taken part never has a null data pointer.
  struct Slot {
    std::size_t hash = 0;
    std::string_view part;
  };

  void grow() {
    std::vector<Slot> old = std::move(slots_);
    slots_.assign(old.empty() ? 64 : old.size() * 2, Slot{});
    mask_ = slots_.size() - 1;
    for (const Slot& slot : old) {
      if (slot.part.data() == nullptr) continue;
      std::size_t at = slot.hash & mask_;
      while (slots_[at].part.data() != nullptr) at = (at + 1) & mask_;
      slots_[at] = slot;
    }
  }

  std::vector<Slot> slots_;
  std::size_t mask_ = 0;
  std::size_t count_ = 0;
};

inline Text join_unique(const Text& text, const Text& delimiter) {
  const std::string_view view = text.view();
  const std::string_view separator = delimiter.view();
  if (view.empty()) return {};
  if (separator.empty()) return text;
  // Walks the same pieces as split_text, but remembers the parts taken in a
  // hash table: one probe per part instead of a scan of every part taken so
  // far, with the same result.
  TakenParts taken;
  std::string joined;
  joined.reserve(view.size());
  for_each_piece(view, separator, [&](std::string_view part) {
    if (taken.take(part)) {
      joined.append(part);
      joined.append(separator);
    }
    return true;
  });
  // Drops the delimiter behind the last part taken.
  if (!joined.empty()) joined.resize(joined.size() - separator.size());
  return Text(std::move(joined));
}
}  // namespace lorvane::reference
