#include "platform/curl/proxy_list.h"

#include <algorithm>
#include <cctype>

namespace lorvane::platform::curl_backend {
namespace {

bool equals_ignoring_case(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

bool all_digits(std::string_view text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) {
    return std::isdigit(static_cast<unsigned char>(c)) != 0;
  });
}

// "host", "host:port", "[v6]:port" or "http://host:port" as "http://host:port".
std::string proxy_url(std::string_view address) {
  constexpr std::string_view kHttp = "http://";
  if (address.size() >= kHttp.size() &&
      equals_ignoring_case(address.substr(0, kHttp.size()), kHttp)) {
    address.remove_prefix(kHttp.size());
  }
  if (!address.empty() && address.back() == '/') address.remove_suffix(1);
  if (address.empty()) return {};

  std::string host(address);
  std::string port;
  if (address.front() == '[') {
    const auto close = address.find(']');
    if (close != std::string_view::npos && close + 1 < address.size() &&
        address[close + 1] == ':') {
      host = std::string(address.substr(0, close + 1));
      port = std::string(address.substr(close + 2));
    }
  } else if (std::count(address.begin(), address.end(), ':') > 1) {
    host = "[" + host + "]";  // a bare IPv6 address carries no port
  } else if (const auto colon = address.find(':'); colon != std::string_view::npos) {
    host = std::string(address.substr(0, colon));
    port = std::string(address.substr(colon + 1));
  }
  if (!all_digits(port)) port = "80";
  return "http://" + host + ":" + port;
}

}  // namespace

ProxyChoice parse_proxy_list(std::string_view list) {
  ProxyChoice named;
  std::string every_scheme;
  std::size_t position = 0;
  while (position < list.size()) {
    const auto end = list.find_first_of(" ;\t", position);
    const auto entry = list.substr(position, end == std::string_view::npos ? end : end - position);
    position = end == std::string_view::npos ? list.size() : end + 1;
    if (entry.empty()) continue;

    const auto equals = entry.find('=');
    if (equals == std::string_view::npos) {
      if (every_scheme.empty()) every_scheme = proxy_url(entry);
      continue;
    }
    const auto scheme = entry.substr(0, equals);
    const auto address = entry.substr(equals + 1);
    if (equals_ignoring_case(scheme, "http") && named.http.empty()) {
      named.http = proxy_url(address);
    } else if (equals_ignoring_case(scheme, "https") && named.https.empty()) {
      named.https = proxy_url(address);
    }
  }
  if (named.http.empty()) named.http = every_scheme;
  if (named.https.empty()) named.https = every_scheme;
  return named;
}

}  // namespace lorvane::platform::curl_backend
