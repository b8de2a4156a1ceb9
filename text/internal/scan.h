// Character stepping and matching shared by the searching operations, so that
// find_text, replace_text, split_text and join_unique agree on where a
// character begins.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace lorvane::text_internal {

inline constexpr std::size_t no_match = static_cast<std::size_t>(-1);

inline const unsigned char* bytes_of(std::string_view text) noexcept {
  return reinterpret_cast<const unsigned char*>(text.data());
}

// A byte of 0x80 or above begins a two-byte character.
constexpr bool is_first_byte(unsigned char byte) noexcept { return byte >= 0x80; }

// Bytes from a character start to the next one: 1 or 2. Past a lone first byte
// at the end this steps beyond the text, which every scan takes as its end.
constexpr std::size_t step_at(unsigned char byte) noexcept { return 1 + (byte >> 7); }

// A byte repeated in every byte of a word is low_bits * byte; high_bits holds
// the top bit of each byte.
inline constexpr std::uint64_t low_bits = 0x0101010101010101u;
inline constexpr std::uint64_t high_bits = 0x8080808080808080u;

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
  bool ignores_case() const noexcept { return ignore_case_; }
  const unsigned char* sought() const noexcept { return sought_; }

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

// Whether the byte at `at` begins a character of a scan that began at `known`
// (a character start, at or before `at`). A byte after one below 0x80 always
// begins a character, so only the run of bytes of 0x80 and above in front of
// `at` (back to `known` at most) decides: an even number of them pairs up into
// whole characters.
inline bool starts_character(const unsigned char* bytes, std::size_t known,
                             std::size_t at) noexcept {
  std::size_t run_start = at;
  while (run_start > known && is_first_byte(bytes[run_start - 1])) --run_start;
  return (at - run_start) % 2 == 0;
}

// Top bit set in each byte of `word` that is zero, and in no other byte.
constexpr std::uint64_t zero_bytes(std::uint64_t word) noexcept {
  constexpr std::uint64_t seven_bits = ~high_bits;
  return ~(((word & seven_bits) + seven_bits) | word | seven_bits);
}

// Words are read with memcpy, so the lowest address is the lowest byte.
static_assert(std::endian::native == std::endian::little, "the scans read little-endian words");

// The byte (0-7) of the lowest address among those whose top bit `mask` has set.
inline unsigned first_marked_byte(std::uint64_t mask) noexcept {
  return static_cast<unsigned>(std::countr_zero(mask)) / 8;
}

// Offset of the first place in [from, last] where `sought` (m >= 1 bytes)
// lies byte for byte, whatever the characters; no_match otherwise. `last + m`
// must not pass the text's end. memchr finds the places that begin with the
// first byte of `sought`, which is quickest while that byte is rare; once it
// has stopped in vain a few times, blocks of 32 places are tested for the
// first and the last byte of `sought` together, in a loop that the compiler
// turns into vector instructions, and in a block that passes, eight places at
// a time give a mask of those to compare whole.
inline std::size_t next_occurrence(const unsigned char* bytes, std::size_t from, std::size_t last,
                                   const unsigned char* sought, std::size_t m) noexcept {
  if (from > last) return no_match;
  const unsigned char first = sought[0];
  if (m == 1) {
    const void* found = std::memchr(bytes + from, first, last - from + 1);
    return found == nullptr
               ? no_match
               : static_cast<std::size_t>(static_cast<const unsigned char*>(found) - bytes);
  }
  const unsigned char final = sought[m - 1];
  // The first and the last byte are known to match.
  const auto whole_at = [&](std::size_t at) {
    return m == 2 || std::memcmp(bytes + at + 1, sought + 1, m - 2) == 0;
  };
  std::size_t pos = from;
  for (int vain = 0; vain < 4; ++vain) {
    const void* found = std::memchr(bytes + pos, first, last - pos + 1);
    if (found == nullptr) return no_match;
    const auto at = static_cast<std::size_t>(static_cast<const unsigned char*>(found) - bytes);
    if (bytes[at + m - 1] == final && whole_at(at)) return at;
    if (at == last) return no_match;
    pos = at + 1;
  }
  constexpr std::size_t block = 32;
  const std::uint64_t firsts = low_bits * first;
  const std::uint64_t finals = low_bits * final;
  for (; last - pos >= block; pos += block) {
    const unsigned char* heads = bytes + pos;
    const unsigned char* tails = heads + m - 1;
    unsigned char hits = 0;
    for (std::size_t k = 0; k < block; ++k) hits |= (heads[k] == first) & (tails[k] == final);
    if (hits == 0) continue;
    for (std::size_t word = 0; word < block; word += 8) {
      std::uint64_t head_word, tail_word;
      std::memcpy(&head_word, heads + word, 8);
      std::memcpy(&tail_word, tails + word, 8);
      for (std::uint64_t marks = zero_bytes(head_word ^ firsts) & zero_bytes(tail_word ^ finals);
           marks != 0; marks &= marks - 1) {
        const std::size_t at = pos + word + first_marked_byte(marks);
        if (whole_at(at)) return at;
      }
    }
  }
  for (; pos <= last; ++pos) {
    if (bytes[pos] == first && bytes[pos + m - 1] == final && whole_at(pos)) return pos;
  }
  return no_match;
}

// Offset of the first match at a character start reached by stepping from
// `begin`, testing only while the whole match fits before `end`; no_match
// otherwise. `begin` is taken as a character start.
inline std::size_t first_match(std::string_view text, std::size_t begin, std::size_t end,
                               const Matcher& matcher) noexcept {
  const std::size_t m = matcher.size();
  if (m > end || begin > end - m) return no_match;
  const unsigned char* bytes = bytes_of(text);
  const std::size_t last = end - m;
  if (!matcher.ignores_case()) {
    // Occurrences found byte for byte, each checked for where characters begin.
    std::size_t known = begin;
    for (std::size_t at = next_occurrence(bytes, begin, last, matcher.sought(), m); at != no_match;
         at = next_occurrence(bytes, known, last, matcher.sought(), m)) {
      if (starts_character(bytes, known, at)) return at;
      known = at + 1;  // `at` is a second byte, so a character begins right after it
    }
    return no_match;
  }
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

}  // namespace lorvane::text_internal
