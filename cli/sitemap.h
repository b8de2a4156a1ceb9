// Reading a sitemap (urlset) or sitemap index from its bytes, as fetched or
// read from a file: pure functions over bytes, with no network and no files.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lorvane {

// The largest document read, after decompression: the sitemap protocol's own
// limit is 50 MB.
inline constexpr std::size_t most_sitemap_bytes = 50u << 20;

struct SitemapEntry {
  std::string location;  // <loc>, trimmed, entities decoded, UTF-8
  std::string lastmod;   // <lastmod> trimmed; empty when absent
};

struct Sitemap {
  enum class Kind { urlset, index };
  Kind kind = Kind::urlset;
  // Of a urlset its pages, of an index its sitemaps, in document order;
  // entries without a <loc> (or with an empty one) are left out.
  std::vector<SitemapEntry> entries;
  std::string problem;  // empty when the document was read; otherwise why not
};

// Reads `bytes`: gzip content (by its magic bytes, whatever the name) is
// decompressed first, then parsed as XML without network access, without
// loading or substituting any entity beyond XML's own and character
// references. A document type declaration is refused, as are a root that is
// neither <urlset> nor <sitemapindex> (in any namespace), malformed XML and
// more than most_sitemap_bytes of content.
Sitemap read_sitemap(std::string_view bytes);

// `bytes` decompressed when they begin with the gzip magic bytes (several
// members in a row are read in turn), else unchanged. None, with the reason
// in `problem`, for corrupt or truncated gzip data or more than `most` bytes
// of output.
std::optional<std::string> gunzip_if_gzip(std::string_view bytes, std::size_t most,
                                          std::string& problem);

// A point in time read from a W3C datetime as sitemaps write <lastmod>
// (YYYY, YYYY-MM, YYYY-MM-DD, or a date with "T" hh:mm[:ss[.fraction]] and
// "Z" or ±hh:mm) or from an RFC 3339 time.
struct LastmodTime {
  long long days = 0;     // the date as written, in days since 1970-01-01
  long long seconds = 0;  // the instant in seconds since 1970-01-01 UTC;
                          // a date alone counts from its midnight UTC
  bool has_time = false;  // a time of day was given
};

// None when `text` is no such date or time.
std::optional<LastmodTime> read_lastmod(std::string_view text);

// Whether a page with `lastmod` is kept by the filter `since`: a date-only
// `since` compares the dates as written, a `since` with a time compares
// instants.
bool on_or_after(const LastmodTime& lastmod, const LastmodTime& since);

}  // namespace lorvane
