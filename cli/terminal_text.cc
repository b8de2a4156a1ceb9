#include "cli/terminal_text.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace lorvane {
namespace {

constexpr std::string_view byte_order_mark = "\xEF\xBB\xBF";
constexpr std::string_view replacement_character = "\xEF\xBF\xBD";  // U+FFFD
constexpr std::size_t npos = std::string_view::npos;

// One iconv descriptor for the life of a conversion.
class Converter {
 public:
  Converter(const char* to, const char* from) : handle_(iconv_open(to, from)) {
    if (handle_ == reinterpret_cast<iconv_t>(-1)) {
      throw std::runtime_error(std::string("iconv cannot convert from ") + from + " to " + to);
    }
  }
  ~Converter() { iconv_close(handle_); }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  // Converts from `offset` on, appending to `output`, until the input ends or
  // iconv stops at a byte it cannot take. Returns the offset where it stopped
  // (input.size() at the end) and leaves errno's reason in `error`.
  std::size_t convert(std::string_view input, std::size_t offset, std::string& output, int& error) {
    error = 0;
    // iconv's signature is not const-correct; it never writes through `in`.
    char* in = const_cast<char*>(input.data()) + offset;
    std::size_t in_left = input.size() - offset;
    // A buffer of fixed size: a call that stops early, at every bad byte of a
    // long reply, costs only what it converted.
    char buffer[4096];
    while (in_left > 0) {
      char* out = buffer;
      std::size_t out_left = sizeof buffer;
      std::size_t result = iconv(handle_, &in, &in_left, &out, &out_left);
      int reason = errno;
      output.append(buffer, static_cast<std::size_t>(out - buffer));
      if (result == static_cast<std::size_t>(-1) && reason != E2BIG) {
        error = reason;
        break;
      }
    }
    return input.size() - in_left;
  }

 private:
  iconv_t handle_;
};

// Length of the well-formed UTF-8 sequence at `at`, or 0 when it is not one
// (overlong forms, surrogates and code points above U+10FFFF are not).
std::size_t utf8_sequence_length(std::string_view text, std::size_t at) {
  auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  unsigned char lead = byte(at);
  if (lead < 0x80) return 1;
  std::size_t length = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (at + length > text.size()) return 0;
  if (byte(at + 1) < low || byte(at + 1) > high) return 0;
  for (std::size_t i = 2; i < length; ++i) {
    if (byte(at + i) < 0x80 || byte(at + i) > 0xBF) return 0;
  }
  return length;
}

std::uint32_t code_point_at(std::string_view text, std::size_t at) {
  std::size_t length = utf8_sequence_length(text, at);
  auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  if (length <= 1) return byte(at);
  std::uint32_t value = byte(at) & (0x7F >> length);
  for (std::size_t i = 1; i < length; ++i) value = (value << 6) | (byte(at + i) & 0x3F);
  return value;
}

// The 1-based line of byte `at`.
std::size_t line_of(std::string_view text, std::size_t at) {
  return 1 + static_cast<std::size_t>(std::count(text.begin(), text.begin() + at, '\n'));
}

std::string hex(unsigned value, int digits) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "%0*X", digits, value);
  return buffer;
}

// A refusal: what is wrong and the byte where it is.
struct Refusal {
  std::string problem;  // empty: nothing is wrong
  std::size_t at = 0;
};

// Where the run of ASCII bytes other than zero that begins at `at` ends. Such
// bytes mean the same in UTF-8 and in code page 936, and a list of URLs is
// mostly made of them: eight go at a time.
std::size_t ascii_run_end(std::string_view text, std::size_t at) {
  constexpr std::uint64_t low_bits = 0x0101010101010101u;
  constexpr std::uint64_t high_bits = 0x8080808080808080u;
  while (text.size() - at >= 8) {
    std::uint64_t word;
    std::memcpy(&word, text.data() + at, sizeof word);
    // A top bit, or a zero byte (which borrows into its top bit).
    if (((word | (word - low_bits)) & high_bits) != 0) break;
    at += 8;
  }
  while (at < text.size() && static_cast<unsigned char>(text[at]) < 0x80 && text[at] != '\0') ++at;
  return at;
}

// A zero byte or a byte that starts no UTF-8 character, if there is one.
Refusal utf8_refusal(std::string_view text) {
  for (std::size_t at = 0; at < text.size();) {
    at = ascii_run_end(text, at);
    if (at == text.size()) break;
    if (text[at] == '\0') return {"a zero byte", at};
    std::size_t length = utf8_sequence_length(text, at);
    if (length == 0) {
      return {"not valid UTF-8 (byte 0x" + hex(static_cast<unsigned char>(text[at]), 2) + ")", at};
    }
    at += length;
  }
  return {};
}

// Appends bytes [begin, end) of valid UTF-8 `utf8`, converted to code page
// 936, to `output`, or says which character the code page lacks. Runs of ASCII
// are copied as they are; iconv sees only the stretches between them, which
// hold whole characters.
Refusal append_cp936(Converter& converter, std::string_view utf8, std::size_t begin,
                     std::size_t end, std::string& output) {
  const std::string_view part = utf8.substr(0, end);
  for (std::size_t at = begin; at < end;) {
    const std::size_t ascii_end = ascii_run_end(part, at);
    output.append(part.substr(at, ascii_end - at));
    if (ascii_end == end) break;
    std::size_t other_end = ascii_end + 1;
    while (other_end < end && static_cast<unsigned char>(part[other_end]) >= 0x80) ++other_end;
    int error = 0;
    const std::size_t stopped =
        converter.convert(part.substr(0, other_end), ascii_end, output, error);
    if (error != 0) {
      return {"character U+" + hex(code_point_at(utf8, stopped), 4) +
                  " cannot be written in code page 936",
              stopped};
    }
    at = other_end;
  }
  return {};
}

Refusal to_cp936(std::string_view utf8, std::string& output) {
  Converter converter("CP936", "UTF-8");
  output.reserve(utf8.size());
  return append_cp936(converter, utf8, 0, utf8.size(), output);
}

ConvertedText refused_line(std::string_view text, const Refusal& refusal) {
  return {{}, "line " + std::to_string(line_of(text, refusal.at)) + ": " + refusal.problem};
}

}  // namespace

ConvertedText url_list_from_utf8(std::string_view input) {
  if (input.starts_with(byte_order_mark)) input.remove_prefix(byte_order_mark.size());
  if (Refusal refusal = utf8_refusal(input); !refusal.problem.empty()) {
    return refused_line(input, refusal);
  }

  // The last line's break separates nothing; every other LF, with or without
  // its CR, becomes one CR LF. Lines are joined and converted in one pass, so
  // long lists cost linear time and no copy of their own.
  if (input.ends_with('\n')) input.remove_suffix(input.ends_with("\r\n") ? 2 : 1);
  std::string output;
  output.reserve(input.size() +
                 static_cast<std::size_t>(std::count(input.begin(), input.end(), '\n')));
  Converter converter("CP936", "UTF-8");
  for (std::size_t line_start = 0;;) {
    const std::size_t newline = input.find('\n', line_start);
    std::size_t line_end = newline == npos ? input.size() : newline;
    if (line_end > line_start && input[line_end - 1] == '\r') --line_end;
    if (newline == npos) line_end = input.size();  // a lone CR at the very end stays
    if (Refusal refusal = append_cp936(converter, input, line_start, line_end, output);
        !refusal.problem.empty()) {
      return refused_line(input, refusal);
    }
    if (newline == npos) break;
    output.append("\r\n");
    line_start = newline + 1;
  }
  // Valid UTF-8 holds no zero byte, nor does its conversion.
  return {Text(std::move(output), text_internal::WithoutZero{}), {}};
}

ConvertedText text_from_utf8(std::string_view input) {
  Refusal refusal = utf8_refusal(input);
  std::string output;
  if (refusal.problem.empty()) refusal = to_cp936(input, output);
  if (!refusal.problem.empty()) return {{}, refusal.problem};
  return {Text(std::move(output)), {}};
}

std::string utf8_for_terminal(std::string_view cp936, bool keep_line_breaks) {
  Converter converter("UTF-8", "CP936");
  std::string converted;
  converted.reserve(cp936.size() * 3 / 2);
  int error = 0;
  for (std::size_t at = 0; at < cp936.size();) {
    at = converter.convert(cp936, at, converted, error);
    if (at < cp936.size()) {
      // Not a character of the code page (or a first byte cut off at the end).
      converted.append(replacement_character);
      ++at;
    }
  }
  // UTF-8 keeps every control character as its one ASCII byte.
  std::string shown;
  shown.reserve(converted.size());
  for (char byte : converted) {
    auto value = static_cast<unsigned char>(byte);
    bool control = value < 0x20 || value == 0x7F;
    if (control && !(keep_line_breaks && (byte == '\n' || byte == '\t'))) {
      shown.append(replacement_character);
    } else {
      shown.push_back(byte);
    }
  }
  return shown;
}

}  // namespace lorvane
