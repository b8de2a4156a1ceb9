// What the demo's request log shows of a request's bytes.
#pragma once

#include <string>
#include <string_view>

namespace lorvane::demo {

// `bytes` (a method, path, query value or header value of a request) as
// harmless UTF-8 text on one line of a terminal:
// - printable ASCII as it is, except "\" written as "\\";
// - when `bytes` is valid UTF-8, its characters beyond ASCII as they are,
//   except the C1 controls (U+0080 to U+009F) and the marks that break or
//   reorder a line (U+061C, U+200E, U+200F, U+2028 to U+202E, U+2066 to
//   U+2069), whose bytes are written as below;
// - otherwise its two-byte characters of code page 936, as Lorvane sends
//   them, converted to UTF-8;
// - every other byte (control characters, DEL, bytes of no character) as
//   "\xNN", two upper-case hexadecimal digits.
// So an escape byte followed by "[2J" is logged as the six characters
// "\x1B[2J", and no result holds a byte below 0x20 or 0x7F.
std::string log_text(std::string_view bytes);

}  // namespace lorvane::demo
