// Reading a WinINet proxy list ("http=host:port https=host:port", or a bare
// address for every scheme) into the proxy that each scheme uses.
#pragma once

#include <string>
#include <string_view>

namespace lorvane::platform::curl_backend {

// Each member is a proxy URL for libcurl ("http://host:port"), or empty for a
// direct connection.
struct ProxyChoice {
  std::string http;
  std::string https;

  friend bool operator==(const ProxyChoice&, const ProxyChoice&) = default;
};

// Entries are separated by spaces or ";". "scheme=address" names the proxy of
// one scheme (only http and https are used; others such as socks or ftp are
// skipped); a bare address serves every scheme that has no entry of its own.
// The first entry for a scheme wins. An address without a port gets port 80,
// the port WinINet assumes (libcurl's own default would be 1080).
ProxyChoice parse_proxy_list(std::string_view list);

}  // namespace lorvane::platform::curl_backend
