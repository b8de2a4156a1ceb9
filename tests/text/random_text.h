// Deterministic pseudo-random texts built from whole characters, so that tests
// know where every character begins without stepping through the bytes the
// way the code under test does.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace lorvane::testing_text {

// Two-byte characters whose second byte equals a one-byte character of the
// alphabet ('@', 'a', 'A'), which is where a misaligned search goes wrong.
inline const std::vector<std::string>& alphabet() {
  static const std::vector<std::string> characters = {
      "a", "A", "b", ",", " ", "@", "\x81\x40", "\xB0\x61", "\xB0\x41", "\xA1\xA1",
  };
  return characters;
}

struct RandomText {
  std::string bytes;
  std::vector<bool> starts;  // starts[i]: a character begins at byte i (size bytes + 1)

  // Ends the text with a first byte that has no second byte.
  void add_lone_first_byte() {
    bytes += '\xB0';
    starts.push_back(true);
  }
};

class TextSource {
 public:
  explicit TextSource(std::uint32_t seed) : engine_(seed) {}

  std::uint32_t below(std::uint32_t bound) { return engine_() % bound; }

  // Up to `most_characters` characters drawn from the alphabet.
  RandomText text(std::uint32_t most_characters) {
    RandomText result;
    const std::uint32_t count = below(most_characters + 1);
    for (std::uint32_t i = 0; i < count; ++i) {
      const std::string& character = alphabet()[below(alphabet().size())];
      result.starts.push_back(true);
      if (character.size() == 2) result.starts.push_back(false);
      result.bytes += character;
    }
    result.starts.push_back(true);
    return result;
  }

  // One to `most_characters` characters: a non-empty sought text or delimiter.
  std::string word(std::uint32_t most_characters) {
    std::string bytes;
    const std::uint32_t count = 1 + below(most_characters);
    for (std::uint32_t i = 0; i < count; ++i) bytes += alphabet()[below(alphabet().size())];
    return bytes;
  }

 private:
  std::mt19937 engine_;
};

inline char folded(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 0x20) : c; }

// Whether `sought` lies at byte `at` of `text`, compared as the searches do.
inline bool lies_at(std::string_view text, std::size_t at, std::string_view sought,
                    bool ignore_case) {
  if (at + sought.size() > text.size()) return false;
  for (std::size_t i = 0; i < sought.size(); ++i) {
    char a = text[at + i];
    char b = sought[i];
    if (ignore_case) {
      a = folded(a);
      b = folded(b);
    }
    if (a != b) return false;
  }
  return true;
}

}  // namespace lorvane::testing_text
