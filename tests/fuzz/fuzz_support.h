// What every fuzz target shares: reading its input as the arguments of one
// call, and failing loudly (with the values) when a property does not hold.
//
// An input is a few option bytes followed by fields separated by zero bytes.
// A Text holds no zero byte, so a zero is a natural separator, and the corpus
// files stay readable.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace lorvane::fuzz {

class Input {
 public:
  // The first `option_bytes` bytes are options (0 when the input is shorter);
  // the rest is cut at zero bytes into at most `field_count` fields, the last
  // one taking everything after the last separator it was given.
  Input(const std::uint8_t* data, std::size_t size, std::size_t option_bytes,
        std::size_t field_count) {
    const auto* bytes = reinterpret_cast<const char*>(data);
    for (std::size_t i = 0; i < option_bytes; ++i) {
      options_.push_back(i < size ? static_cast<std::uint8_t>(bytes[i]) : 0);
    }
    std::string_view rest(bytes + std::min(size, option_bytes),
                          size - std::min(size, option_bytes));
    for (std::size_t i = 0; i + 1 < field_count; ++i) {
      const std::size_t zero = rest.find('\0');
      if (zero == std::string_view::npos) break;
      fields_.push_back(rest.substr(0, zero));
      rest.remove_prefix(zero + 1);
    }
    fields_.push_back(rest);
    fields_.resize(field_count);
  }

  std::uint8_t option(std::size_t index) const { return options_[index]; }
  bool flag(std::size_t index, int bit) const { return (options_[index] >> bit) & 1; }
  std::string_view field(std::size_t index) const { return fields_[index]; }

  // A field up to its first zero byte (all of it in practice): the text a
  // Text made of it would hold.
  std::string text(std::size_t index) const {
    const std::string_view whole = fields_[index];
    return std::string(whole.substr(0, whole.find('\0')));
  }

 private:
  std::vector<std::uint8_t> options_;
  std::vector<std::string_view> fields_;
};

// Bytes shown with C escapes, so that a failure report shows every byte.
inline std::string escaped(std::string_view bytes) {
  std::string shown = "\"";
  for (char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte < 0x7F && byte != '"' && byte != '\\') {
      shown += c;
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", byte);
      shown += hex;
    }
  }
  return shown + "\"";
}

using Shown = std::pair<const char*, std::string>;

// Reports a property that does not hold, with the values that show it, and
// ends the run so that libFuzzer keeps the input.
[[noreturn]] inline void fail(const char* property, std::initializer_list<Shown> values) {
  std::fprintf(stderr, "\n*** property does not hold: %s\n", property);
  for (const Shown& value : values)
    std::fprintf(stderr, "    %s = %s\n", value.first, value.second.c_str());
  std::fflush(stderr);
  std::abort();
}

}  // namespace lorvane::fuzz

// Checks a property; the values that show it (pairs of a name and a string)
// are only worked out when it does not hold.
#define FUZZ_CHECK(holds, property, ...)                          \
  do {                                                            \
    if (!(holds)) ::lorvane::fuzz::fail(property, {__VA_ARGS__}); \
  } while (false)

namespace lorvane::fuzz {

inline std::string number(long long value) { return std::to_string(value); }

}  // namespace lorvane::fuzz
