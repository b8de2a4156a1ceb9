// The text operations on 16 MiB beside what a programmer would write without
// them: memmem, a plain byte loop, a string_view::find loop. Both sides make
// the same result (a position, a new string, a list of strings).
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "bench/side_by_side.h"
#include "text/text.h"

namespace lorvane {
namespace {

using bench::Figures;
using bench::interleaved;
using bench::milliseconds;
using bench::print_at_most;
using bench::timed;

constexpr std::size_t kSize = 16u << 20;
constexpr int kRounds = 15;

// Keeps results from being optimised away.
volatile std::size_t sink;

// URL lines joined by CR LF, as the window sends a list: every tenth holds
// Chinese text (文章 in code page 936), every second is http.
std::string url_lines(bool ascii_only) {
  std::string text;
  text.reserve(kSize + 128);
  for (std::uint32_t line = 1; text.size() < kSize; ++line) {
    text += line % 2 == 0 ? "http://www.example.com/" : "https://www.example.com/";
    if (!ascii_only && line % 10 == 0) text += "\xCE\xC4\xD5\xC2/";
    text += "articles/" + std::to_string(line) + ".html\r\n";
  }
  text.resize(kSize);
  return text;
}

// Chinese text: two-byte characters only, among them ones whose second byte
// is ASCII (B0 61, 81 40), with a line break now and then.
std::string two_byte_text() {
  static const char* const characters[] = {"\xD6\xD0", "\xCE\xC4", "\xCC\xE1", "\xBD\xBB",
                                           "\xB0\x61", "\x81\x40", "\xA1\xA1", "\xCD\xF8",
                                           "\xD6\xB7", "\xC1\xD0", "\xB1\xED", "\xA3\xAC"};
  std::string text;
  text.reserve(kSize + 2);
  for (std::uint32_t i = 0; text.size() < kSize; ++i) {
    text += characters[(i * 7 + i / 13) % 12];
    if (i % 40 == 39) text += "\r\n";
  }
  text.resize(kSize);
  return text;
}

// Lines of mixed ASCII and two-byte text, as a long reply would be.
std::string mixed_lines() {
  std::string text;
  text.reserve(kSize + 128);
  for (std::uint32_t line = 0; text.size() < kSize; ++line) {
    text += "  https://Example.com/Article/" + std::to_string(line);
    text += " \xD6\xD0\xCE\xC4\xA1\xA1\xB0\x61\x81\x40 title\r\n";
  }
  text.resize(kSize);
  return text;
}

void compare_find(const char* figure, const std::string& bytes, std::string_view sought,
                  double target) {
  const Text text(bytes);
  const Text wanted(sought);
  const auto medians = interleaved(
      kRounds, [&] { return timed([&] { sink = find_text(text, wanted) == -1; }); },
      [&] {
        return timed([&] {
          sink = memmem(bytes.data(), bytes.size(), sought.data(), sought.size()) == nullptr;
        });
      });
  print_at_most(figure, medians.lorvane[0], medians.yardstick[0], target, milliseconds);
}

void compare_to_upper(const std::string& bytes) {
  const Text text(bytes);
  const auto medians = interleaved(
      kRounds, [&] { return timed([&] { sink = to_upper(text).view().size(); }); },
      [&] {
        return timed([&] {
          std::string upper(bytes);
          for (char& c : upper) {
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 0x20);
          }
          sink = upper.size();
        });
      });
  print_at_most("to_upper, 16 MiB of mixed lines (vs a plain byte loop)", medians.lorvane[0],
                medians.yardstick[0], 1.5, milliseconds);
}

void compare_replace(const std::string& bytes) {
  const Text text(bytes);
  const std::string_view from = "http://", to = "https://";
  const Text sought(from), replacement(to);
  const auto medians = interleaved(
      kRounds,
      [&] {
        return timed(
            [&] { sink = replace_text(text, sought, replacement, {}, {}, true).view().size(); });
      },
      [&] {
        return timed([&] {
          const std::string_view view = bytes;
          std::string result;
          result.reserve(view.size());
          std::size_t done = 0;
          for (std::size_t at = view.find(from); at != std::string_view::npos;
               at = view.find(from, done)) {
            result.append(view.substr(done, at - done)).append(to);
            done = at + from.size();
          }
          result.append(view.substr(done));
          sink = result.size();
        });
      });
  print_at_most("replace_text, 16 MiB of URL lines (vs a string_view::find loop)",
                medians.lorvane[0], medians.yardstick[0], 1.5, milliseconds);
}

void compare_split(const std::string& bytes) {
  const Text text(bytes);
  const Text delimiter("\r\n");
  const auto medians = interleaved(
      kRounds, [&] { return timed([&] { sink = list_count(split_text(text, delimiter)); }); },
      [&] {
        return timed([&] {
          const std::string_view view = bytes;
          std::vector<std::string> pieces;
          std::size_t start = 0;
          for (std::size_t at = view.find("\r\n"); at != std::string_view::npos;
               at = view.find("\r\n", start)) {
            pieces.emplace_back(view.substr(start, at - start));
            start = at + 2;
          }
          if (start < view.size()) pieces.emplace_back(view.substr(start));
          sink = pieces.size();
        });
      });
  print_at_most("split_text at CR LF, 16 MiB of URL lines (vs a find loop into strings)",
                medians.lorvane[0], medians.yardstick[0], 1.2, milliseconds);
}

}  // namespace
}  // namespace lorvane

int main() {
  using namespace lorvane;
  const std::string ascii = url_lines(true);
  const std::string urls = url_lines(false);
  compare_find("find_text, 16 MiB of ASCII, no match (vs memmem)", ascii, "success\":", 1.3);
  compare_find("find_text, 16 MiB of two-byte text, no match (vs memmem)", two_byte_text(),
               "\xD6\xD0\xA1\xA1\xB0\x61", 3.0);
  compare_to_upper(mixed_lines());
  compare_replace(urls);
  compare_split(urls);
  return 0;
}
