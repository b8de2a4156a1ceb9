// The demo site's own sitemaps, for trying lorvane-push with no account: an
// index at /sitemap.xml naming two sitemaps of sample articles, one of them
// gzipped, each page with its lastmod date.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace lorvane::demo {

struct SitemapDocument {
  std::string content_type;
  std::string body;
};

// The index's path; the sitemaps it names are under /sitemaps/.
inline constexpr std::string_view sitemap_index_path = "/sitemap.xml";

// The document served at `path`, with the index naming its sitemaps under
// `base` (the scheme and host the request came to, "http://127.0.0.1:8470");
// none for a path that is no sitemap of the demo. The pages are on
// www.example.com, the site of the demo's printed interface address.
std::optional<SitemapDocument> demo_sitemap(std::string_view path, const std::string& base);

}  // namespace lorvane::demo
