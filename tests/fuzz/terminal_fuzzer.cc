// The terminal conversions of lorvane-submit. Whatever the bytes, what goes
// to the terminal is valid UTF-8 and holds no control character (line feeds
// and tabs only when asked for); UTF-8 that is taken comes back the same from
// code page 936; a URL list comes out as its lines joined with CR LF.
//
// Input: the bytes (a zero byte included, which must be refused).
#include <cstdint>
#include <string>
#include <string_view>

#include "cli/terminal_text.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

using lorvane::fuzz::escaped;
constexpr std::string_view replacement = "\xEF\xBF\xBD";

// Code points of well-formed UTF-8, or -1 at the first malformed sequence.
bool for_each_code_point(std::string_view text, auto&& take) {
  for (std::size_t at = 0; at < text.size();) {
    const auto lead = static_cast<unsigned char>(text[at]);
    std::size_t length = lead < 0x80                    ? 1
                         : lead >= 0xC2 && lead <= 0xDF ? 2
                         : lead >= 0xE0 && lead <= 0xEF ? 3
                         : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                        : 0;
    if (length == 0 || at + length > text.size()) return false;
    std::uint32_t value = length == 1 ? lead : lead & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i) {
      const auto byte = static_cast<unsigned char>(text[at + i]);
      if ((byte & 0xC0) != 0x80) return false;
      value = (value << 6) | (byte & 0x3F);
    }
    static constexpr std::uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
    if (value < least[length] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
      return false;
    take(value);
    at += length;
  }
  return true;
}

bool is_control(std::uint32_t code_point) {
  return code_point < 0x20 || (code_point >= 0x7F && code_point <= 0x9F);
}

void check_for_terminal(std::string_view cp936, bool keep_line_breaks) {
  const std::string shown = lorvane::utf8_for_terminal(cp936, keep_line_breaks);
  bool control = false;
  const bool valid = for_each_code_point(shown, [&](std::uint32_t c) {
    if (is_control(c) && !(keep_line_breaks && (c == '\n' || c == '\t'))) control = true;
  });
  FUZZ_CHECK(valid, "the terminal gets valid UTF-8", {"input", escaped(cp936)},
             {"shown", escaped(shown)});
  FUZZ_CHECK(!control, "no control character reaches the terminal", {"input", escaped(cp936)},
             {"keep_line_breaks", keep_line_breaks ? "yes" : "no"}, {"shown", escaped(shown)});
  FUZZ_CHECK(shown.size() <= 3 * cp936.size(),
             "each byte gives at most three bytes on the terminal", {"input", escaped(cp936)});
}

// `utf8` as the terminal shows it: control characters as U+FFFD, line feeds
// and tabs kept.
std::string as_shown(std::string_view utf8) {
  std::string shown;
  for (char byte : utf8) {
    const auto value = static_cast<unsigned char>(byte);
    if ((value < 0x20 || value == 0x7F) && byte != '\n' && byte != '\t') {
      shown += replacement;
    } else {
      shown += byte;
    }
  }
  return shown;
}

bool has_c1_control(std::string_view utf8) {
  bool found = false;
  for_each_code_point(utf8, [&](std::uint32_t c) { found = found || (c >= 0x80 && c <= 0x9F); });
  return found;
}

void check_round_trip(std::string_view utf8) {
  const lorvane::ConvertedText converted = lorvane::text_from_utf8(utf8);
  if (!converted.problem.empty()) {
    FUZZ_CHECK(converted.text.empty(), "a refused value gives no text", {"input", escaped(utf8)});
    return;
  }
  FUZZ_CHECK(
      for_each_code_point(utf8, [](std::uint32_t) {}) && utf8.find('\0') == std::string_view::npos,
      "only valid UTF-8 without zero bytes is taken", {"input", escaped(utf8)});
  if (has_c1_control(utf8)) return;  // shown as U+FFFD, so not the same
  const std::string back = lorvane::utf8_for_terminal(converted.text.view(), true);
  FUZZ_CHECK(back == as_shown(utf8), "UTF-8 through code page 936 comes back the same",
             {"input", escaped(utf8)}, {"cp936", escaped(converted.text.view())},
             {"back", escaped(back)});
}

void check_url_list(std::string_view input) {
  const lorvane::ConvertedText converted = lorvane::url_list_from_utf8(input);
  if (!converted.problem.empty()) {
    FUZZ_CHECK(converted.text.empty() && converted.problem.starts_with("line "),
               "a refused list gives no text and names a line", {"input", escaped(input)},
               {"problem", converted.problem});
    return;
  }
  std::string_view lines = input;
  if (lines.starts_with("\xEF\xBB\xBF")) lines.remove_prefix(3);
  if (lines.ends_with("\n")) lines.remove_suffix(lines.ends_with("\r\n") ? 2 : 1);
  std::string joined;
  for (std::size_t at = 0; at < lines.size(); ++at) {
    if (lines[at] == '\r' && at + 1 < lines.size() && lines[at + 1] == '\n') continue;
    joined += lines[at] == '\n' ? std::string("\r\n") : std::string(1, lines[at]);
  }
  const std::string_view text = converted.text.view();
  for (std::size_t at = text.find('\n'); at != std::string_view::npos;
       at = text.find('\n', at + 1)) {
    FUZZ_CHECK(at > 0 && text[at - 1] == '\r', "every line ends with CR LF",
               {"input", escaped(input)}, {"list", escaped(text)});
  }
  if (has_c1_control(joined)) return;
  FUZZ_CHECK(lorvane::utf8_for_terminal(text, true) == as_shown(joined),
             "the list is the lines joined with CR LF", {"input", escaped(input)},
             {"list", escaped(text)});
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  check_for_terminal(bytes, false);
  check_for_terminal(bytes, true);
  check_round_trip(bytes);
  check_url_list(bytes);
  return 0;
}
