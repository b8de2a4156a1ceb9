#include "demo/request_log.h"

#include <iconv.h>

#include <cstdint>
#include <cstdio>
#include <optional>

namespace lorvane::demo {
namespace {

void append_escaped(std::string& out, std::string_view bytes) {
  for (char byte : bytes) {
    char escape[5];
    std::snprintf(escape, sizeof escape, "\\x%02X", static_cast<unsigned char>(byte));
    out += escape;
  }
}

// The length of the well-formed UTF-8 sequence at the start of `text` and
// its code point (no overlong forms, no surrogates, nothing above U+10FFFF);
// none when the bytes there are no such sequence.
std::optional<std::pair<std::size_t, std::uint32_t>> utf8_character(std::string_view text) {
  auto byte = [&](std::size_t at) { return static_cast<unsigned char>(text[at]); };
  unsigned char first = byte(0);
  std::size_t length = 0;
  std::uint32_t code = 0;
  std::uint32_t least = 0;
  if (first < 0x80) return std::pair<std::size_t, std::uint32_t>{1, first};
  if (first >= 0xC2 && first <= 0xDF) {
    length = 2, code = first & 0x1F, least = 0x80;
  } else if (first >= 0xE0 && first <= 0xEF) {
    length = 3, code = first & 0x0F, least = 0x800;
  } else if (first >= 0xF0 && first <= 0xF4) {
    length = 4, code = first & 0x07, least = 0x10000;
  } else {
    return std::nullopt;
  }
  if (text.size() < length) return std::nullopt;
  for (std::size_t at = 1; at < length; ++at) {
    if ((byte(at) & 0xC0) != 0x80) return std::nullopt;
    code = code << 6 | (byte(at) & 0x3F);
  }
  if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return std::nullopt;
  return std::pair{length, code};
}

bool valid_utf8(std::string_view text) {
  while (!text.empty()) {
    auto character = utf8_character(text);
    if (!character) return false;
    text.remove_prefix(character->first);
  }
  return true;
}

// Characters that print nothing but steer the terminal or the line.
bool steering(std::uint32_t code) {
  return (code >= 0x80 && code <= 0x9F) || code == 0x061C || code == 0x200E || code == 0x200F ||
         (code >= 0x2028 && code <= 0x202E) || (code >= 0x2066 && code <= 0x2069);
}

bool printable_ascii(unsigned char byte) { return byte >= 0x20 && byte < 0x7F; }

// One two-byte character of code page 936 in UTF-8; none when `pair` is no
// such character.
std::optional<std::string> cp936_character(iconv_t converter, std::string_view pair) {
  if (converter == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
  auto lead = static_cast<unsigned char>(pair[0]);
  auto trail = static_cast<unsigned char>(pair[1]);
  if (lead < 0x81 || lead > 0xFE || trail < 0x40 || trail == 0x7F || trail > 0xFE) {
    return std::nullopt;
  }
  // iconv's signature is not const-correct; it never writes through `in`.
  char* in = const_cast<char*>(pair.data());
  std::size_t in_left = 2;
  char converted[8];
  char* out = converted;
  std::size_t out_left = sizeof converted;
  if (iconv(converter, &in, &in_left, &out, &out_left) == static_cast<std::size_t>(-1) ||
      in_left != 0) {
    iconv(converter, nullptr, nullptr, nullptr, nullptr);
    return std::nullopt;
  }
  std::string character(converted, sizeof converted - out_left);
  auto decoded = utf8_character(character);
  if (!decoded || decoded->first != character.size() || steering(decoded->second)) {
    return std::nullopt;
  }
  return character;
}

}  // namespace

std::string log_text(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  bool utf8 = valid_utf8(bytes);
  iconv_t converter = utf8 ? reinterpret_cast<iconv_t>(-1) : iconv_open("UTF-8", "CP936");
  for (std::size_t at = 0; at < bytes.size();) {
    auto byte = static_cast<unsigned char>(bytes[at]);
    if (byte == '\\') {
      out += "\\\\";
      ++at;
    } else if (printable_ascii(byte)) {
      out += static_cast<char>(byte);
      ++at;
    } else if (byte < 0x80) {
      append_escaped(out, bytes.substr(at, 1));
      ++at;
    } else if (utf8) {
      auto character = utf8_character(bytes.substr(at));
      std::string_view sequence = bytes.substr(at, character->first);
      if (steering(character->second)) {
        append_escaped(out, sequence);
      } else {
        out += sequence;
      }
      at += sequence.size();
    } else if (auto character = at + 1 < bytes.size()
                                    ? cp936_character(converter, bytes.substr(at, 2))
                                    : std::nullopt) {
      out += *character;
      at += 2;
    } else {
      append_escaped(out, bytes.substr(at, 1));
      ++at;
    }
  }
  if (converter != reinterpret_cast<iconv_t>(-1)) iconv_close(converter);
  return out;
}

}  // namespace lorvane::demo
