// The sitemap reader of lorvane-push. Any bytes: a document read holds only
// entries with a non-empty, trimmed location, and a document refused holds
// none. A urlset or index written from the input's fields (plain or gzipped)
// gives back exactly those locations, in order. Memory stays bounded however
// deep, large or compressed the document (scripts/fuzz.sh runs this target
// with the limits of tests/fuzz/options.txt).
//
// Input: switches, then the bytes (as they are, and as fields cut at zero
// bytes for the written document).
//   switches bit 0: gzip the written document   bit 1: a sitemap index

#include <cstdint>
#include <string>
#include <vector>

#include "cli/sitemap.h"
#include "tests/fuzz/fuzz_support.h"
#include "tests/support/gzip.h"

namespace {

using lorvane::fuzz::escaped;
using lorvane::fuzz::number;
using lorvane::test::gzipped;

constexpr std::string_view blanks = " \t\r\n";

std::string trimmed(std::string_view text) {
  const auto first = text.find_first_not_of(blanks);
  if (first == std::string_view::npos) return {};
  return std::string(text.substr(first, text.find_last_not_of(blanks) - first + 1));
}

void check_read(const lorvane::Sitemap& sitemap, std::string_view bytes) {
  if (!sitemap.problem.empty()) {
    FUZZ_CHECK(sitemap.entries.empty(), "a refused document gives no entries",
               {"bytes", escaped(bytes)}, {"problem", sitemap.problem});
    return;
  }
  for (const lorvane::SitemapEntry& entry : sitemap.entries) {
    FUZZ_CHECK(!entry.location.empty() && entry.location == trimmed(entry.location) &&
                   entry.lastmod == trimmed(entry.lastmod),
               "locations and dates are trimmed, and no location is empty",
               {"bytes", escaped(bytes)}, {"location", escaped(entry.location)});
  }
}

// A field as XML text: printable ASCII, tabs and line breaks kept (CR as a
// character reference, which XML keeps), markup characters escaped, other
// bytes as one Chinese character.
std::string as_xml_text(std::string_view field, std::string& value) {
  std::string xml;
  xml.reserve(field.size() * 3);
  for (char c : field) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x80) {
      xml += "\xE6\x96\x87";
      value += "\xE6\x96\x87";
    } else if (c == '<' || c == '&' || c == '>') {
      xml += c == '<' ? "&lt;" : c == '&' ? "&amp;" : "&gt;";
      value += c;
    } else if (c == '\r') {
      xml += "&#13;";
      value += c;
    } else if (byte >= 0x20 || c == '\t' || c == '\n') {
      xml += c;
      value += c;
    }
  }
  return xml;
}

void check_written(const std::uint8_t* data, std::size_t size) {
  const lorvane::fuzz::Input input(data, size, 1, 64);
  const bool index = input.flag(0, 1);
  std::string document = index ? "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<sitemapindex "
                                 "xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\">"
                               : "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<urlset "
                                 "xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\">";
  std::vector<std::string> expected;
  for (std::size_t i = 0; i < 64; ++i) {
    if (i > 0 && input.field(i).empty()) continue;
    std::string value;
    const std::string xml = as_xml_text(input.field(i), value);
    document += index ? "<sitemap><loc>" + xml + "</loc></sitemap>\n"
                      : "<url><loc>" + xml + "</loc><priority>1</priority></url>\n";
    if (!trimmed(value).empty()) expected.push_back(trimmed(value));
  }
  document += index ? "</sitemapindex>" : "</urlset>";
  const std::string bytes = input.flag(0, 0) ? gzipped(document) : document;
  const lorvane::Sitemap sitemap = lorvane::read_sitemap(bytes);
  std::vector<std::string> locations;
  for (const lorvane::SitemapEntry& entry : sitemap.entries) locations.push_back(entry.location);
  FUZZ_CHECK(
      sitemap.problem.empty() && locations == expected &&
          sitemap.kind == (index ? lorvane::Sitemap::Kind::index : lorvane::Sitemap::Kind::urlset),
      "a written sitemap gives back its locations", {"document", escaped(document)},
      {"problem", sitemap.problem}, {"entries", number(static_cast<long long>(locations.size()))},
      {"expected", number(static_cast<long long>(expected.size()))});
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  check_read(lorvane::read_sitemap(bytes), bytes);
  if (size > 0) check_read(lorvane::read_sitemap(bytes.substr(1)), bytes.substr(1));
  if (size <= 4096) check_written(data, size);

  // Dates of <lastmod>: a date alone is its midnight, and every time is on
  // or after itself.
  const std::string text(bytes.substr(0, 40));
  if (const std::optional<lorvane::LastmodTime> time = lorvane::read_lastmod(text)) {
    FUZZ_CHECK(time->has_time || time->seconds == time->days * 86400,
               "a date alone counts from its midnight", {"text", escaped(text)});
    FUZZ_CHECK(lorvane::on_or_after(*time, *time), "a time is on or after itself",
               {"text", escaped(text)});
  }
  return 0;
}
