#include "cli/sitemap.h"

#include <libxml/parser.h>
#include <libxml/xmlreader.h>
#include <zlib.h>

#include <array>
#include <cstring>
#include <memory>
#include <mutex>

namespace lorvane {
namespace {

constexpr std::string_view gzip_magic = "\x1F\x8B";

std::string_view trimmed(std::string_view text) {
  constexpr std::string_view blanks = " \t\r\n";
  const auto first = text.find_first_not_of(blanks);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(blanks) - first + 1);
}

struct ReaderFree {
  void operator()(xmlTextReader* reader) const { xmlFreeTextReader(reader); }
};

std::string_view local_name(xmlTextReader* reader) {
  const xmlChar* name = xmlTextReaderConstLocalName(reader);
  return name == nullptr ? std::string_view() : reinterpret_cast<const char*>(name);
}

// The parser's first complaint, with its line.
struct FirstError {
  std::string message;
  int line = 0;
};

void keep_first_error(void* into, xmlError* error) {
  auto& first = *static_cast<FirstError*>(into);
  if (error == nullptr || !first.message.empty() || error->level < XML_ERR_ERROR) return;
  first.message = std::string(trimmed(error->message != nullptr ? error->message : "error"));
  first.line = error->line;
}

// Days since 1970-01-01 of a proleptic Gregorian date (H. Hinnant's algorithm).
long long days_from_civil(long long year, unsigned month, unsigned day) {
  year -= month <= 2;
  const long long era = (year >= 0 ? year : year - 399) / 400;
  const auto year_of_era = static_cast<unsigned>(year - era * 400);
  const unsigned day_of_year = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const unsigned day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
  return era * 146097 + static_cast<long long>(day_of_era) - 719468;
}

bool is_leap(long long year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

// Reads exactly `count` digits at `at` into `value`.
bool digits(std::string_view text, std::size_t& at, std::size_t count, int& value) {
  if (at + count > text.size()) return false;
  value = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const char c = text[at + i];
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  at += count;
  return true;
}

bool literal(std::string_view text, std::size_t& at, char expected) {
  if (at >= text.size() || text[at] != expected) return false;
  ++at;
  return true;
}

}  // namespace

std::optional<std::string> gunzip_if_gzip(std::string_view bytes, std::size_t most,
                                          std::string& problem) {
  if (!bytes.starts_with(gzip_magic)) {
    if (bytes.size() > most) {
      problem = "larger than " + std::to_string(most >> 20) + " MiB";
      return std::nullopt;
    }
    return std::string(bytes);
  }
  z_stream stream{};
  if (inflateInit2(&stream, 16 + MAX_WBITS) != Z_OK) {
    problem = "cannot start gzip decompression";
    return std::nullopt;
  }
  std::string output;
  std::array<unsigned char, 64 * 1024> buffer{};
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
  stream.avail_in = static_cast<uInt>(bytes.size());
  int status = Z_OK;
  for (;;) {
    stream.next_out = buffer.data();
    stream.avail_out = static_cast<uInt>(buffer.size());
    status = inflate(&stream, Z_NO_FLUSH);
    output.append(reinterpret_cast<const char*>(buffer.data()), buffer.size() - stream.avail_out);
    if (output.size() > most) {
      problem = "larger than " + std::to_string(most >> 20) + " MiB when decompressed";
      inflateEnd(&stream);
      return std::nullopt;
    }
    if (status == Z_STREAM_END) {
      // Another member may follow, as "cat a.gz b.gz" makes.
      if (stream.avail_in == 0) break;
      if (inflateReset(&stream) != Z_OK) break;
      continue;
    }
    if (status == Z_BUF_ERROR && stream.avail_in == 0) {
      problem = "truncated gzip data";
      inflateEnd(&stream);
      return std::nullopt;
    }
    if (status != Z_OK) {
      problem = std::string("corrupt gzip data") + (stream.msg != nullptr ? ": " : "") +
                (stream.msg != nullptr ? stream.msg : "");
      inflateEnd(&stream);
      return std::nullopt;
    }
  }
  inflateEnd(&stream);
  return output;
}

Sitemap read_sitemap(std::string_view bytes) {
  Sitemap sitemap;
  const std::optional<std::string> content =
      gunzip_if_gzip(bytes, most_sitemap_bytes, sitemap.problem);
  if (!content) return sitemap;

  static std::once_flag initialised;
  std::call_once(initialised, [] { xmlInitParser(); });

  // A streaming reader: memory grows with the entries kept, not with the
  // document. No network, no external subset or entity loaded, no entity
  // substituted, and libxml2's default limits on depth and text sizes (no
  // XML_PARSE_HUGE).
  constexpr int options = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING;
  const std::unique_ptr<xmlTextReader, ReaderFree> reader(xmlReaderForMemory(
      content->data(), static_cast<int>(content->size()), "sitemap.xml", nullptr, options));
  if (!reader) {
    sitemap.problem = "out of memory";
    return sitemap;
  }
  FirstError error;
  xmlTextReaderSetStructuredErrorHandler(reader.get(), keep_first_error, &error);

  const char* item_name = nullptr;
  SitemapEntry entry;
  std::string* field = nullptr;  // the <loc> or <lastmod> being read
  bool has_location = false;
  bool in_item = false;  // inside a <url> or <sitemap> of the root
  int status = 0;
  while ((status = xmlTextReaderRead(reader.get())) == 1) {
    const int type = xmlTextReaderNodeType(reader.get());
    const int depth = xmlTextReaderDepth(reader.get());
    if (type == XML_READER_TYPE_DOCUMENT_TYPE) {
      sitemap.problem = "holds a document type declaration, which sitemaps do not have";
      sitemap.entries.clear();
      return sitemap;
    }
    if (type == XML_READER_TYPE_ELEMENT) {
      const std::string_view name = local_name(reader.get());
      if (depth == 0) {
        if (name == "urlset") {
          item_name = "url";
        } else if (name == "sitemapindex") {
          sitemap.kind = Sitemap::Kind::index;
          item_name = "sitemap";
        } else {
          sitemap.problem = "is neither a <urlset> nor a <sitemapindex>";
          return sitemap;
        }
      } else if (depth == 1 && name == item_name) {
        entry = {};
        has_location = false;
        in_item = xmlTextReaderIsEmptyElement(reader.get()) != 1;
      } else if (depth == 2 && in_item) {
        if (name == "loc" && !has_location) {
          field = &entry.location;
          has_location = true;
        } else if (name == "lastmod" && entry.lastmod.empty()) {
          field = &entry.lastmod;
        }
        if (xmlTextReaderIsEmptyElement(reader.get()) == 1) field = nullptr;
      }
      continue;
    }
    if ((type == XML_READER_TYPE_TEXT || type == XML_READER_TYPE_CDATA ||
         type == XML_READER_TYPE_SIGNIFICANT_WHITESPACE || type == XML_READER_TYPE_WHITESPACE) &&
        field != nullptr && depth == 3) {
      if (const xmlChar* value = xmlTextReaderConstValue(reader.get())) {
        field->append(reinterpret_cast<const char*>(value));
      }
      continue;
    }
    if (type == XML_READER_TYPE_END_ELEMENT) {
      if (depth == 2 && field != nullptr) {
        *field = std::string(trimmed(*field));
        field = nullptr;
      } else if (depth == 1 && in_item) {
        if (!entry.location.empty()) sitemap.entries.push_back(std::move(entry));
        entry = {};
        in_item = false;
      }
    }
  }
  if (status != 0 || !error.message.empty()) {
    sitemap.problem = error.message.empty()
                          ? std::string("not well-formed XML")
                          : "not well-formed XML (line " + std::to_string(error.line) + ": " +
                                error.message + ")";
    sitemap.entries.clear();
    return sitemap;
  }
  if (item_name == nullptr) sitemap.problem = "is neither a <urlset> nor a <sitemapindex>";
  return sitemap;
}

std::optional<LastmodTime> read_lastmod(std::string_view text) {
  text = trimmed(text);
  std::size_t at = 0;
  int year = 0;
  int month = 1;
  int day = 1;
  if (!digits(text, at, 4, year)) return std::nullopt;
  if (at < text.size()) {
    if (!literal(text, at, '-') || !digits(text, at, 2, month) || month < 1 || month > 12) {
      return std::nullopt;
    }
  }
  if (at < text.size()) {
    static constexpr std::array<int, 12> lengths = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const int length = lengths[static_cast<std::size_t>(month - 1)] + (month == 2 && is_leap(year));
    if (!literal(text, at, '-') || !digits(text, at, 2, day) || day < 1 || day > length) {
      return std::nullopt;
    }
  }
  LastmodTime time;
  time.days = days_from_civil(year, static_cast<unsigned>(month), static_cast<unsigned>(day));
  time.seconds = time.days * 86400;
  if (at == text.size()) return time;

  // A time of day, with its zone.
  if (at != 10 || (text[at] != 'T' && text[at] != 't' && text[at] != ' ')) return std::nullopt;
  ++at;
  int hour = 0;
  int minute = 0;
  int second = 0;
  if (!digits(text, at, 2, hour) || hour > 23 || !literal(text, at, ':') ||
      !digits(text, at, 2, minute) || minute > 59) {
    return std::nullopt;
  }
  if (at < text.size() && text[at] == ':') {
    ++at;
    // 60: a leap second, as RFC 3339 allows.
    if (!digits(text, at, 2, second) || second > 60) return std::nullopt;
    if (at < text.size() && text[at] == '.') {
      ++at;
      const std::size_t first = at;
      while (at < text.size() && text[at] >= '0' && text[at] <= '9') ++at;
      if (at == first) return std::nullopt;
    }
  }
  long long offset = 0;
  if (at < text.size() && (text[at] == 'Z' || text[at] == 'z')) {
    ++at;
  } else if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
    const int sign = text[at] == '-' ? -1 : 1;
    ++at;
    int offset_hours = 0;
    int offset_minutes = 0;
    if (!digits(text, at, 2, offset_hours) || offset_hours > 23 || !literal(text, at, ':') ||
        !digits(text, at, 2, offset_minutes) || offset_minutes > 59) {
      return std::nullopt;
    }
    offset = sign * (offset_hours * 3600LL + offset_minutes * 60LL);
  } else {
    return std::nullopt;  // a time needs its zone
  }
  if (at != text.size()) return std::nullopt;
  time.has_time = true;
  time.seconds += hour * 3600LL + minute * 60LL + second - offset;
  return time;
}

bool on_or_after(const LastmodTime& lastmod, const LastmodTime& since) {
  if (!since.has_time) return lastmod.days >= since.days;
  return lastmod.seconds >= since.seconds;
}

}  // namespace lorvane
