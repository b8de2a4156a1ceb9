#include "web/url.h"

#include <gtest/gtest.h>

#include <cstdint>

#include "tests/support/text_printers.h"

namespace lorvane {
namespace {

struct UrlCase {
  const char* url;
  const char* host;
  const char* host_with_port;
  std::int32_t port;
  const char* path;
};

constexpr UrlCase url_cases[] = {
    {"HTTPS://Srv:8443/A/b?x=1", "srv", "srv:8443", 8443, "/A/b?x=1"},
    {"https://srv/x", "srv", "srv", 443, "/x"},
    {"http://srv/x", "srv", "srv", 80, "/x"},
    {"HTTP://SRV/Path", "srv", "srv", 80, "/Path"},
    // No scheme counts as http.
    {"srv/x", "srv", "srv", 80, "/x"},
    {"srv:8080/x", "srv", "srv:8080", 8080, "/x"},
    {"srv", "srv", "srv", 80, "/"},
    {"http://srv", "srv", "srv", 80, "/"},
    {"http://srv/", "srv", "srv", 80, "/"},
    {"", "", "", 80, "/"},
    // A query without "/" in front stays in the host.
    {"http://srv?x=1", "srv?x=1", "srv?x=1", 80, "/"},
    {"http://srv/a?next=http://other/b", "srv", "srv", 80, "/a?next=http://other/b"},
    // Ports that are not numbers read as 0; a number followed by junk reads.
    {"http://srv:abc/", "srv", "srv:abc", 0, "/"},
    {"http://srv:/", "srv", "srv:", 0, "/"},
    {"http://srv:81x/", "srv", "srv:81x", 81, "/"},
    // Full-width digits (code page 936) read like ASCII ones.
    {"http://srv:\xA3\xB8\xA3\xB1/", "srv", "srv:\xA3\xB8\xA3\xB1", 81, "/"},
    // The port is after the last colon, the host before the first one, so an
    // IPv6 literal is not understood.
    {"http://[::1]:8080/x", "[", "[::1]:8080", 8080, "/x"},
    // A URL without scheme that holds "http://" further on takes its host
    // from there, and the path from that host's first occurrence.
    {"go/?u=http://Other:81/y", "other", "other:81", 81, "/y"},
    {"srv/x?u=http://srv/y", "srv", "srv", 80, "/x?u=http://srv/y"},
    // Only ASCII letters are lowered: 0x41 as a second byte stays.
    {"http://\xB0\x41XY/\xB0\x61Z", "\xB0\x41xy", "\xB0\x41xy", 80, "/\xB0\x61Z"},
    // Hosts that also occur inside the scheme: the path starts behind the host.
    {"http://s/x", "s", "s", 80, "/x"},
    {"HTTPS://t:8443/a", "t", "t:8443", 8443, "/a"},
    {"http://http/index", "http", "http", 80, "/index"},
    {"http:///x", "", "", 80, "/x"},
    // A host that only begins with "https" is no https scheme.
    {"https.example/x", "https.example", "https.example", 80, "/x"},
};

TEST(Url, TakesUrlsApart) {
  for (const UrlCase& c : url_cases) {
    SCOPED_TRACE(c.url);
    EXPECT_EQ(url_host(c.url), Text(c.host));
    EXPECT_EQ(url_host(c.url, /*keep_port=*/true), Text(c.host_with_port));
    EXPECT_EQ(url_port(c.url), c.port);
    EXPECT_EQ(url_path(c.url), Text(c.path));
  }
}

}  // namespace
}  // namespace lorvane
