// The parts of the server fixture that every platform shares. The control
// routes are read with web_request itself, so nothing here needs sockets.
#include <atomic>
#include <cctype>
#include <cstdio>
#include <random>
#include <stdexcept>
#include <string>

#include "tests/net/servers.h"
#include "text/values.h"
#include "web/web_request.h"

namespace lorvane::net_test {
namespace {

std::string fetch(const std::string& url, const std::string& proxy = {}) {
  const Bytes body = web_request(Text(url), std::nullopt, {}, nullptr, nullptr, nullptr, nullptr,
                                 std::nullopt, nullptr, Text(proxy));
  return std::string(body.view());
}

std::string control_url(std::string_view route) {
  return "http://127.0.0.1:" + std::to_string(servers().http_port) + std::string(route);
}

bool equals_ignoring_case(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

}  // namespace

PortSpec parse_port_spec(std::string_view spec) {
  PortSpec ports;
  while (!spec.empty()) {
    const std::size_t end = spec.find(' ');
    const std::string_view entry = spec.substr(0, end);
    spec = end == std::string_view::npos ? std::string_view() : spec.substr(end + 1);
    const std::size_t equals = entry.find('=');
    if (equals == std::string_view::npos) continue;
    int port = 0;
    try {
      port = std::stoi(std::string(entry.substr(equals + 1)));
    } catch (const std::exception&) {
      continue;
    }
    const std::string_view name = entry.substr(0, equals);
    if (name == "http") ports.http = port;
    if (name == "https") ports.https = port;
    if (name == "proxy") ports.proxy = port;
  }
  return ports;
}

std::string new_token() {
  static std::atomic<unsigned> counter{0};
  std::random_device random;
  char token[32];
  std::snprintf(token, sizeof token, "%08x%08x%04x", random(), random(), counter++ & 0xFFFF);
  return token;
}

std::string http_url(const std::string& token, std::string_view route) {
  return "http://127.0.0.1:" + std::to_string(servers().http_port) + "/t/" + token +
         std::string(route);
}

std::string https_url(const std::string& token, std::string_view route) {
  return "https://127.0.0.1:" + std::to_string(servers().https_port) + "/t/" + token +
         std::string(route);
}

std::string query_encoded(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string encoded;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (std::isalnum(byte) || c == '-' || c == '.' || c == '_' || c == '~' || c == '/') {
      encoded += c;
    } else {
      encoded += '%';
      encoded += kHex[byte >> 4];
      encoded += kHex[byte & 0x0F];
    }
  }
  return encoded;
}

std::string RecordedRequest::request_line() const { return raw.substr(0, raw.find("\r\n")); }

std::string RecordedRequest::head() const {
  const std::size_t start = raw.find("\r\n");
  const std::size_t end = raw.find("\r\n\r\n");
  if (start == std::string::npos || end == std::string::npos) return {};
  return raw.substr(start + 2, end - start);
}

std::string RecordedRequest::body() const {
  const std::size_t end = raw.find("\r\n\r\n");
  return end == std::string::npos ? std::string() : raw.substr(end + 4);
}

bool RecordedRequest::has_header(std::string_view name) const {
  const std::string lines = head();
  std::string_view rest = lines;
  while (!rest.empty()) {
    const std::size_t end = rest.find("\r\n");
    const std::string_view line = rest.substr(0, end);
    const std::size_t colon = line.find(':');
    if (colon != std::string_view::npos && equals_ignoring_case(line.substr(0, colon), name)) {
      return true;
    }
    if (end == std::string_view::npos) break;
    rest.remove_prefix(end + 2);
  }
  return false;
}

std::vector<RecordedRequest> recorded_requests(const std::string& token) {
  const std::string dump = fetch(control_url("/_requests?token=" + token));
  std::vector<RecordedRequest> requests;
  std::size_t position = 0;
  while (position < dump.size()) {
    const std::size_t space = dump.find(' ', position);
    const std::size_t newline = dump.find('\n', position);
    if (space == std::string::npos || newline == std::string::npos || space > newline) break;
    const std::size_t length = std::stoul(dump.substr(space + 1, newline - space - 1));
    RecordedRequest request;
    request.scheme = dump.substr(position, space - position);
    request.raw = dump.substr(newline + 1, length);
    requests.push_back(std::move(request));
    position = newline + 1 + length + 1;
  }
  return requests;
}

int refused_port() {
  static const int port = [] {
    const std::string answer = fetch(control_url("/_refused_port"));
    return answer.empty() ? 0 : std::stoi(answer);
  }();
  return port;
}

long proxy_request_count() {
  const std::string page =
      fetch("http://tinyproxy.stats/", "127.0.0.1:" + std::to_string(proxy_port()));
  constexpr std::string_view kLabel = "Number of requests: ";
  const std::size_t at = page.find(kLabel);
  if (at == std::string::npos) return -1;
  return std::stol(page.substr(at + kLabel.size()));
}

}  // namespace lorvane::net_test
