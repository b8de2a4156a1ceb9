// Readable test failures for text values: bytes outside printable ASCII are
// shown as \xHH escapes, so two-byte characters and stray bytes are visible.
#pragma once

#include <cstdio>
#include <ostream>
#include <string_view>

#include "text/values.h"

namespace lorvane {
namespace test_printing {

inline void print_escaped(std::string_view bytes, std::ostream* out) {
  *out << '"';
  bool after_hex = false;
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    // Splits the literal after a hex escape so that "\xB0" "a" is not read as
    // one escape \xB0a.
    const bool hex_digit =
        (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
    if (after_hex && hex_digit) *out << "\" \"";
    after_hex = false;
    if (byte == '"' || byte == '\\') {
      *out << '\\' << c;
    } else if (byte == '\r') {
      *out << "\\r";
    } else if (byte == '\n') {
      *out << "\\n";
    } else if (byte >= 0x20 && byte < 0x7F) {
      *out << c;
    } else {
      char hex[5];
      std::snprintf(hex, sizeof hex, "\\x%02X", byte);
      *out << hex;
      after_hex = true;
    }
  }
  *out << '"';
}

}  // namespace test_printing

inline void PrintTo(const Text& text, std::ostream* out) {
  test_printing::print_escaped(text.view(), out);
}

inline void PrintTo(const Bytes& data, std::ostream* out) {
  *out << "Bytes(" << data.view().size() << ") ";
  test_printing::print_escaped(data.view(), out);
}

inline void PrintTo(const TextList& list, std::ostream* out) {
  *out << '{';
  const char* separator = "";
  for (const Text& member : list.members()) {
    *out << separator;
    test_printing::print_escaped(member.view(), out);
    separator = ", ";
  }
  *out << '}';
}

}  // namespace lorvane
