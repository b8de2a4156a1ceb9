#include "web/url.h"

#include <algorithm>

#include "text/text.h"

namespace lorvane {

Text url_host(const Text& url, bool keep_port) {
  Text prepared = to_lower(url);
  if (compare_texts(text_right(prepared, 1), "/") != 0) prepared = concat_text(prepared, "/");

  Text host;
  if (compare_texts(text_left(prepared, 8), "https://") == 0) {
    host = extract_between(prepared, "https://", "/");
  } else {
    if (find_text(prepared, "http://") == -1) prepared = concat_text("http://", prepared);
    host = extract_between(prepared, "http://", "/");
  }

  if (keep_port) return host;
  const std::int32_t colon = find_text(host, ":");
  return colon == -1 ? host : text_left(host, colon - 1);
}

std::int32_t url_port(const Text& url) {
  const Text host = url_host(url, /*keep_port=*/true);
  const std::int32_t colon = find_text_last(host, ":");
  if (colon != -1) return text_to_int(text_right(host, text_len(host) - colon));
  // The scheme decides, as it does for the host: a URL without scheme whose
  // host merely begins with "https" is http.
  return compare_texts(text_left(to_lower(url), 8), "https://") == 0 ? 443 : 80;
}

Text url_path(const Text& url) {
  const Text host = url_host(url);

  // The host is looked for behind a leading scheme: a host such as «s» or
  // «http» would otherwise be found inside the scheme itself, and the path
  // would start at the scheme's "//". An empty host is "found" at byte 1,
  // hence the floor.
  const Text scheme = to_lower(text_left(url, 8));
  std::int32_t after_scheme = 1;
  if (compare_texts(scheme, "https://") == 0) {
    after_scheme = 9;
  } else if (compare_texts(text_left(scheme, 7), "http://") == 0) {
    after_scheme = 8;
  }
  const std::int32_t host_at = find_text(url, host, after_scheme, /*ignore_case=*/true);
  const std::int32_t slash = find_text(url, "/", std::max(host_at, after_scheme), true);

  if (slash == -1) return "/";
  return text_right(url, text_len(url) - slash + 1);
}

}  // namespace lorvane
