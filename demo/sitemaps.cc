#include "demo/sitemaps.h"

#include <zlib.h>

namespace lorvane::demo {
namespace {

constexpr char articles_path[] = "/sitemaps/articles.xml";
constexpr char news_path[] = "/sitemaps/news.xml.gz";

struct Page {
  const char* path;
  const char* lastmod;
};

// The sample articles, newest last. "文章" stands in UTF-8, as XML carries it.
constexpr Page articles[] = {
    {"/articles/1.html", "2026-10-05"},
    {"/articles/2.html", "2026-10-19"},
    {"/\xE6\x96\x87\xE7\xAB\xA0/3.html", "2026-11-02"},
    {"/articles/4.html", "2026-11-16"},
    {"/articles/5.html", "2026-11-30"},
    {"/articles/6.html", "2026-12-07T09:30:00+08:00"},
};
constexpr Page news[] = {
    {"/news/1.html", "2026-12-01"},
    {"/news/2.html", "2026-12-03"},
    {"/news/3.html?lang=zh&amp;page=1", "2026-12-08T18:00:00+08:00"},
    {"/news/4.html", "2026-12-10T08:15:00+08:00"},
};

template <std::size_t count>
std::string urlset(const Page (&pages)[count]) {
  std::string xml =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<urlset xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\">\n";
  for (const Page& page : pages) {
    xml += std::string("  <url>\n    <loc>http://www.example.com") + page.path +
           "</loc>\n    <lastmod>" + page.lastmod + "</lastmod>\n  </url>\n";
  }
  return xml + "</urlset>\n";
}

std::string gzipped(const std::string& text) {
  z_stream stream{};
  if (deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, 16 + MAX_WBITS, 8,
                   Z_DEFAULT_STRATEGY) != Z_OK) {
    return {};
  }
  std::string out(deflateBound(&stream, text.size()), '\0');
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
  stream.avail_in = static_cast<uInt>(text.size());
  stream.next_out = reinterpret_cast<Bytef*>(out.data());
  stream.avail_out = static_cast<uInt>(out.size());
  const bool done = deflate(&stream, Z_FINISH) == Z_STREAM_END;
  out.resize(stream.total_out);
  deflateEnd(&stream);
  return done ? out : std::string();
}

}  // namespace

std::optional<SitemapDocument> demo_sitemap(std::string_view path, const std::string& base) {
  if (path == sitemap_index_path) {
    return SitemapDocument{"application/xml",
                           "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                           "<sitemapindex xmlns=\"http://www.sitemaps.org/schemas/sitemap/0.9\">\n"
                           "  <sitemap>\n    <loc>" +
                               base + articles_path +
                               "</loc>\n    <lastmod>2026-12-07</lastmod>\n  </sitemap>\n"
                               "  <sitemap>\n    <loc>" +
                               base + news_path +
                               "</loc>\n    <lastmod>2026-12-10</lastmod>\n  </sitemap>\n"
                               "</sitemapindex>\n"};
  }
  if (path == articles_path) return SitemapDocument{"application/xml", urlset(articles)};
  if (path == news_path) return SitemapDocument{"application/gzip", gzipped(urlset(news))};
  return std::nullopt;
}

}  // namespace lorvane::demo
