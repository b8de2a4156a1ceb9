// URL decomposition. Any input: the host is lower case, holds no "/" where a
// character begins, and with its port cut off is the beginning of the host
// with port; the path begins with "/" and ends the URL; the port is the
// number after the host's last ":" or the scheme's default. A URL made of a
// scheme, a host without "/" and a path: the parts come back as they went in.
//
// Input: options, then host \0 rest.
//   options bits 0-1: the scheme of the made URL: none, "http://",
//                     "https://", "HTTPS://"
#include <cstdint>
#include <string>

#include "tests/fuzz/fuzz_support.h"
#include "tests/fuzz/reference_text.h"
#include "text/text.h"
#include "web/url.h"

namespace {

using lorvane::Text;
using lorvane::fuzz::escaped;
using lorvane::fuzz::number;
namespace ref = lorvane::fuzz::reference;

void check_any_url(const std::string& url) {
  const Text u(url);
  const std::string host(lorvane::url_host(u).view());
  const std::string host_port(lorvane::url_host(u, true).view());
  const std::string path(lorvane::url_path(u).view());
  const std::int32_t port = lorvane::url_port(u);

  FUZZ_CHECK(host_port.starts_with(host) && ref::find_text(host, ":", std::nullopt, false) == -1,
             "the host without its port is the host with port up to its first \":\"",
             {"url", escaped(url)}, {"host", escaped(host)}, {"host_port", escaped(host_port)});
  FUZZ_CHECK(ref::find_text(host_port, "/", std::nullopt, false) == -1,
             "the host holds no \"/\" where a character begins", {"url", escaped(url)},
             {"host_port", escaped(host_port)});
  FUZZ_CHECK(ref::change_case(host_port, false) == host_port, "the host is lower case",
             {"url", escaped(url)}, {"host_port", escaped(host_port)});
  FUZZ_CHECK(path.starts_with("/") && (path == "/" || url.ends_with(path)),
             "the path begins with \"/\" and is the end of the URL", {"url", escaped(url)},
             {"path", escaped(path)});

  const std::int32_t colon = ref::find_text_last(host_port, ":", std::nullopt, false);
  const bool https = ref::change_case(url.substr(0, 8), false) == "https://";
  const std::int32_t expected =
      colon != -1 ? ref::text_to_int(host_port.substr(static_cast<std::size_t>(colon)))
                  : (https ? 443 : 80);
  FUZZ_CHECK(port == expected, "the port is the number after the host's last \":\", or the default",
             {"url", escaped(url)}, {"port", number(port)}, {"expected", number(expected)});
}

// Keeps whole characters without any "/" byte.
std::string as_host(std::string_view bytes) {
  std::string host;
  for (char byte : bytes) {
    if (byte != '/') host += byte;
  }
  std::size_t pos = 0;
  while (pos < host.size()) pos += ref::step(host, pos);
  if (pos > host.size()) host.pop_back();  // a lone first byte at the end
  return host;
}

void check_made_url(const std::string& scheme, const std::string& host, const std::string& path) {
  const std::string url = scheme + host + path;
  const std::string lowered = ref::change_case(host + path, false);
  // Without a scheme, an "http://" further on is taken for the scheme, and a
  // host that begins with "https:" followed by a path of "//" makes one.
  if (scheme.empty() && (ref::find_text(lowered, "http://", std::nullopt, false) != -1 ||
                         lowered.starts_with("https://"))) {
    return;
  }
  const Text u(url);
  const std::string expected_host_port = ref::change_case(host, false);
  const std::int32_t colon = ref::find_text(expected_host_port, ":", std::nullopt, false);
  const std::string expected_host =
      colon == -1 ? expected_host_port
                  : expected_host_port.substr(0, static_cast<std::size_t>(colon - 1));
  FUZZ_CHECK(lorvane::url_host(u, true).view() == expected_host_port,
             "the host comes back lower-cased", {"url", escaped(url)},
             {"host", escaped(std::string(lorvane::url_host(u, true).view()))},
             {"expected", escaped(expected_host_port)});
  FUZZ_CHECK(lorvane::url_host(u).view() == expected_host, "the host without its port comes back",
             {"url", escaped(url)}, {"host", escaped(std::string(lorvane::url_host(u).view()))},
             {"expected", escaped(expected_host)});
  FUZZ_CHECK(lorvane::url_path(u).view() == path, "the path comes back as written",
             {"url", escaped(url)}, {"path", escaped(std::string(lorvane::url_path(u).view()))},
             {"expected", escaped(path)});
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const lorvane::fuzz::Input input(data, size, 1, 2);
  check_any_url(input.text(0) + input.text(1));
  static const char* const schemes[] = {"", "http://", "https://", "HTTPS://"};
  check_made_url(schemes[input.option(0) & 3], as_host(input.text(0)), "/" + input.text(1));
  return 0;
}
