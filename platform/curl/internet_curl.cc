// The Internet functions of platform/internet.h on libcurl. Handles are our
// own objects; each child copies what it needs from its parent, so handles
// may be closed in any order.
#include <curl/curl.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "platform/curl/proxy_list.h"
#include "platform/curl/transfer.h"
#include "platform/internet.h"
#include "platform/internet_error.h"

namespace lorvane::platform {
namespace {

using curl_backend::ProxyChoice;
using curl_backend::RequestSetup;
using curl_backend::Transfer;

constexpr BOOL kTrue = 1;
constexpr BOOL kFalse = 0;
// WinINet's "the length is that of a zero-terminated text".
constexpr DWORD kZeroTerminated = 0xFFFFFFFF;

enum class Kind { kInternet, kConnection, kRequest };

struct Handle {
  explicit Handle(Kind kind) : kind(kind) {}
  virtual ~Handle() = default;
  const Kind kind;
};

// The handles given out and not yet closed. A handle is looked up here before
// its object is touched, so a closed or foreign one is refused like a wrong
// handle, never read or freed twice.
class LiveHandles {
 public:
  HINTERNET add(std::unique_ptr<Handle> handle) {
    const std::lock_guard lock(mutex_);
    return *handles_.insert(handle.release()).first;
  }

  Handle* find(HINTERNET handle) const {
    const std::lock_guard lock(mutex_);
    const auto at = handles_.find(static_cast<Handle*>(handle));
    return at == handles_.end() ? nullptr : *at;
  }

  bool remove(HINTERNET handle) {
    Handle* found = nullptr;
    {
      const std::lock_guard lock(mutex_);
      const auto at = handles_.find(static_cast<Handle*>(handle));
      if (at == handles_.end()) return false;
      found = *at;
      handles_.erase(at);
    }
    delete found;
    return true;
  }

 private:
  mutable std::mutex mutex_;
  std::unordered_set<Handle*> handles_;
};

LiveHandles& live_handles() {
  static LiveHandles* const handles = new LiveHandles;  // never torn down, like the cookie store
  return *handles;
}

// What an internet handle holds, and each handle opened under it copies.
struct Session {
  std::string agent;
  ProxyChoice proxies;
};

// What a connection handle holds, and each request opened under it copies.
struct Connection {
  Session session;
  std::string host;
  INTERNET_PORT port = 0;
};

struct InternetHandle : Handle {
  static constexpr Kind kKind = Kind::kInternet;
  InternetHandle() : Handle(kKind) {}
  Session session;
};

struct ConnectionHandle : Handle {
  static constexpr Kind kKind = Kind::kConnection;
  ConnectionHandle() : Handle(kKind) {}
  Connection connection;
};

struct RequestHandle : Handle {
  static constexpr Kind kKind = Kind::kRequest;
  RequestHandle() : Handle(kKind) {}
  Connection connection;
  std::string verb;
  std::string path;
  DWORD flags = 0;
  DWORD security_flags = 0;
  std::vector<std::string> own_lines;  // from the referrer and accept types
  std::unique_ptr<Transfer> transfer;
};

// The object behind a handle of the wanted kind, or null for a null handle
// or one of another kind.
template <typename Wanted>
Wanted* handle_cast(HINTERNET handle) {
  Handle* base = live_handles().find(handle);
  return base != nullptr && base->kind == Wanted::kKind ? static_cast<Wanted*>(base) : nullptr;
}

// The options set on a null handle: they hold for every request of the
// process from the next HttpSendRequestA on.
struct ProcessOptions {
  bool verify_certificates = false;
  std::string ca_file;
  std::uint32_t connect_timeout_ms = curl_backend::kDefaultConnectTimeoutMs;
  std::uint32_t receive_timeout_ms = curl_backend::kDefaultProgressTimeoutMs;
};

class ProcessSettings {
 public:
  ProcessOptions get() const {
    const std::lock_guard lock(mutex_);
    return options_;
  }

  // One place for every option of the process; false for one it does not know
  // or a value of the wrong size.
  bool set(DWORD option, const void* buffer, DWORD buffer_length) {
    const std::lock_guard lock(mutex_);
    switch (option) {
      case LORVANE_OPTION_VERIFY_CERTIFICATES: {
        if (buffer == nullptr || buffer_length < sizeof(DWORD)) return false;
        DWORD value = 0;
        std::memcpy(&value, buffer, sizeof value);
        options_.verify_certificates = value != 0;
        return true;
      }
      case LORVANE_OPTION_CA_FILE:
        if (buffer == nullptr && buffer_length != 0) return false;
        options_.ca_file.assign(static_cast<const char*>(buffer), buffer_length);
        return true;
      case INTERNET_OPTION_CONNECT_TIMEOUT:
        return read_milliseconds(buffer, buffer_length, options_.connect_timeout_ms);
      case INTERNET_OPTION_RECEIVE_TIMEOUT:
        return read_milliseconds(buffer, buffer_length, options_.receive_timeout_ms);
      default:
        return false;
    }
  }

 private:
  // A 4-byte count of milliseconds; 0 is no time-out at all and is refused.
  static bool read_milliseconds(const void* buffer, DWORD buffer_length, std::uint32_t& into) {
    if (buffer == nullptr || buffer_length != sizeof(DWORD)) return false;
    DWORD value = 0;
    std::memcpy(&value, buffer, sizeof value);
    if (value == 0) return false;
    into = value;
    return true;
  }

  mutable std::mutex mutex_;
  ProcessOptions options_;
};

ProcessSettings& process_settings() {
  static ProcessSettings* const settings = new ProcessSettings;  // never torn down
  return *settings;
}

thread_local DWORD last_error = 0;

// WinINet's number for why a transfer got no response.
DWORD error_of(const curl_backend::TransferFailure& failure) {
  // OpenSSL's X509_V_ERR_UNSPECIFIED (which libcurl leaves when its own host
  // name check fails after the chain verified), X509_V_ERR_CERT_NOT_YET_VALID,
  // X509_V_ERR_CERT_HAS_EXPIRED, X509_V_ERR_HOSTNAME_MISMATCH and
  // X509_V_ERR_IP_ADDRESS_MISMATCH.
  constexpr long kUnspecified = 1;
  constexpr long kNotYetValid = 9;
  constexpr long kExpired = 10;
  constexpr long kHostNameMismatch = 62;
  constexpr long kAddressMismatch = 64;
  switch (failure.curl_code) {
    case CURLE_OK:
      return 0;
    case CURLE_PEER_FAILED_VERIFICATION:
      // The chain verified and the host name did not match (checked by
      // OpenSSL or by libcurl after it), or the chain did not.
      if (failure.verify_result == 0 || failure.verify_result == kUnspecified ||
          failure.verify_result == kHostNameMismatch || failure.verify_result == kAddressMismatch) {
        return ERROR_INTERNET_SEC_CERT_CN_INVALID;
      }
      if (failure.verify_result == kNotYetValid || failure.verify_result == kExpired) {
        return ERROR_INTERNET_SEC_CERT_DATE_INVALID;
      }
      return ERROR_INTERNET_INVALID_CA;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CACERT_BADFILE:
      return ERROR_INTERNET_SECURITY_CHANNEL_ERROR;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
      return ERROR_INTERNET_NAME_NOT_RESOLVED;
    case CURLE_OPERATION_TIMEDOUT:
      return ERROR_INTERNET_TIMEOUT;
    case CURLE_COULDNT_CONNECT:
      return ERROR_INTERNET_CANNOT_CONNECT;
    default:
      return ERROR_INTERNET_CONNECTION_ABORTED;
  }
}

std::string text_or_empty(const char* text) { return text == nullptr ? std::string() : text; }

// Spaces and control bytes cannot stand in a request line; everything else of
// the object name goes out as written.
std::string escaped_path(std::string_view path) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string escaped = path.starts_with('/') ? "" : "/";
  for (const char c : path) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte <= 0x20 || byte == 0x7F) {
      escaped += '%';
      escaped += kHex[byte >> 4];
      escaped += kHex[byte & 0x0F];
    } else {
      escaped += c;
    }
  }
  return escaped;
}

// Whether `host` can only be read as a host name in the URL that libcurl is
// given. A "@", "/", "?" or "#" would end the name early and send the request
// elsewhere (to the part after "@", with the part in front as a user name);
// WinINet looks such a name up whole and finds no server. Other bytes that
// no host name holds, libcurl refuses itself.
bool is_plain_host(std::string_view host) {
  return host.find_first_of("@/?#") == std::string_view::npos;
}

// The header block's lines; CR LF separates them (a lone LF is taken as
// well), and empty lines, such as the one a block that begins with "\r\n"
// has in front, are not lines at all.
std::vector<std::string> header_lines(std::string_view block) {
  std::vector<std::string> lines;
  while (!block.empty()) {
    const auto end = block.find('\n');
    auto line = block.substr(0, end);
    block = end == std::string_view::npos ? std::string_view() : block.substr(end + 1);
    if (line.ends_with('\r')) line.remove_suffix(1);
    if (!line.empty()) lines.emplace_back(line);
  }
  return lines;
}

}  // namespace

HINTERNET InternetOpenA(const char* agent, DWORD access_type, const char* proxy,
                        const char* /*proxy_bypass*/, DWORD /*flags*/) {
  auto internet = std::make_unique<InternetHandle>();
  internet->session.agent = text_or_empty(agent);
  // Every other access type means the system's settings, which on Linux are
  // none: a direct connection.
  if (access_type == INTERNET_OPEN_TYPE_PROXY) {
    internet->session.proxies = curl_backend::parse_proxy_list(text_or_empty(proxy));
  }
  return live_handles().add(std::move(internet));
}

HINTERNET InternetConnectA(HINTERNET internet, const char* server_name, INTERNET_PORT server_port,
                           const char* /*user_name*/, const char* /*password*/, DWORD service,
                           DWORD /*flags*/, std::uintptr_t /*context*/) {
  const auto* parent = handle_cast<InternetHandle>(internet);
  if (parent == nullptr || service != INTERNET_SERVICE_HTTP || server_name == nullptr ||
      *server_name == '\0') {
    return nullptr;
  }
  auto connection = std::make_unique<ConnectionHandle>();
  connection->connection = {parent->session, server_name, server_port};
  return live_handles().add(std::move(connection));
}

HINTERNET HttpOpenRequestA(HINTERNET connect, const char* verb, const char* object_name,
                           const char* /*version*/, const char* referrer, const char** accept_types,
                           DWORD flags, std::uintptr_t /*context*/) {
  const auto* parent = handle_cast<ConnectionHandle>(connect);
  if (parent == nullptr) return nullptr;
  auto request = std::make_unique<RequestHandle>();
  request->connection = parent->connection;
  request->verb = verb == nullptr || *verb == '\0' ? "GET" : verb;
  request->path = text_or_empty(object_name);
  request->flags = flags;
  if (referrer != nullptr && *referrer != '\0') {
    request->own_lines.push_back(std::string("Referer: ") + referrer);
  }
  if (accept_types != nullptr && *accept_types != nullptr) {
    std::string accept = "Accept: ";
    for (const char** type = accept_types; *type != nullptr; ++type) {
      if (type != accept_types) accept += ", ";
      accept += *type;
    }
    request->own_lines.push_back(std::move(accept));
  }
  return live_handles().add(std::move(request));
}

DWORD last_internet_error() { return last_error; }

BOOL InternetSetOptionA(HINTERNET internet, DWORD option, void* buffer, DWORD buffer_length) {
  if (internet == nullptr) {
    return process_settings().set(option, buffer, buffer_length) ? kTrue : kFalse;
  }
  auto* request = handle_cast<RequestHandle>(internet);
  if (request == nullptr || option != INTERNET_OPTION_SECURITY_FLAGS || buffer == nullptr ||
      buffer_length < sizeof(DWORD)) {
    return kFalse;
  }
  std::memcpy(&request->security_flags, buffer, sizeof(DWORD));
  return kTrue;
}

BOOL HttpSendRequestA(HINTERNET request_handle, const char* headers, DWORD headers_length,
                      void* optional, DWORD optional_length) {
  last_error = 0;
  auto* request = handle_cast<RequestHandle>(request_handle);
  if (request == nullptr) return kFalse;
  if (!is_plain_host(request->connection.host)) {
    request->transfer.reset();  // reads then report 0, the header query nothing
    last_error = ERROR_INTERNET_NAME_NOT_RESOLVED;
    return kFalse;
  }

  const bool secure = (request->flags & INTERNET_FLAG_SECURE) != 0;
  const DWORD ignored = request->security_flags;
  const INTERNET_PORT port =
      request->connection.port != 0 ? request->connection.port : (secure ? 443 : 80);
  const bool ipv6_literal = request->connection.host.find(':') != std::string::npos;

  RequestSetup setup;
  setup.url = std::string(secure ? "https://" : "http://") +
              (ipv6_literal ? "[" + request->connection.host + "]" : request->connection.host) +
              ":" + std::to_string(port) + escaped_path(request->path);
  if (request->path.find('#') != std::string::npos) setup.target = escaped_path(request->path);
  setup.verb = request->verb;
  setup.agent = request->connection.session.agent;
  setup.header_lines = request->own_lines;
  if (headers != nullptr) {
    const std::size_t length =
        headers_length == kZeroTerminated ? std::strlen(headers) : headers_length;
    for (auto& line : header_lines(std::string_view(headers, length))) {
      setup.header_lines.push_back(std::move(line));
    }
  }
  if (optional != nullptr && optional_length > 0 && setup.verb != "GET") {
    setup.body.assign(static_cast<const char*>(optional), optional_length);
  }
  setup.proxies = request->connection.session.proxies;
  setup.use_cookies = (request->flags & INTERNET_FLAG_NO_COOKIES) == 0;
  setup.follow_redirects = (request->flags & INTERNET_FLAG_NO_AUTO_REDIRECT) == 0;
  setup.redirect_to_https =
      ((request->flags | ignored) & SECURITY_FLAG_IGNORE_REDIRECT_TO_HTTPS) != 0;
  setup.redirect_to_http =
      ((request->flags | ignored) & SECURITY_FLAG_IGNORE_REDIRECT_TO_HTTP) != 0;
  // With OpenSSL an untrusted issuer, an expired certificate and a wrong
  // usage all fail the one peer verification; only the host name check can be
  // switched off apart.
  // A process that asked for verification gets it whatever the flags say.
  const ProcessOptions process = process_settings().get();
  setup.verify_peer =
      process.verify_certificates || (ignored & SECURITY_FLAG_IGNORE_UNKNOWN_CA) == 0;
  setup.verify_host =
      process.verify_certificates || (ignored & SECURITY_FLAG_IGNORE_CERT_CN_INVALID) == 0;
  setup.ca_file = process.ca_file;
  setup.connect_timeout_ms = process.connect_timeout_ms;
  setup.progress_timeout_ms = process.receive_timeout_ms;

  request->transfer = std::make_unique<Transfer>(std::move(setup));
  if (request->transfer->start()) return kTrue;
  last_error = error_of(request->transfer->failure());
  return kFalse;
}

BOOL InternetReadFile(HINTERNET file, void* buffer, DWORD number_of_bytes_to_read,
                      DWORD* number_of_bytes_read) {
  if (number_of_bytes_read == nullptr) return kFalse;
  *number_of_bytes_read = 0;
  auto* request = handle_cast<RequestHandle>(file);
  if (request == nullptr || request->transfer == nullptr || buffer == nullptr) return kFalse;
  bool failed = false;
  *number_of_bytes_read = static_cast<DWORD>(
      request->transfer->read(static_cast<char*>(buffer), number_of_bytes_to_read, failed));
  return *number_of_bytes_read > 0 || !failed ? kTrue : kFalse;
}

BOOL HttpQueryInfoA(HINTERNET request_handle, DWORD info_level, void* buffer, DWORD* buffer_length,
                    DWORD* /*index*/) {
  const auto* request = handle_cast<RequestHandle>(request_handle);
  if (request == nullptr || info_level != HTTP_QUERY_RAW_HEADERS_CRLF || buffer_length == nullptr ||
      request->transfer == nullptr || request->transfer->raw_headers().empty()) {
    return kFalse;
  }
  // As WinINet does: the block and its zero only when both fit, else the
  // length needed (the zero included), leaving the buffer alone.
  const std::string& block = request->transfer->raw_headers();
  if (buffer == nullptr || block.size() + 1 > *buffer_length) {
    *buffer_length = static_cast<DWORD>(block.size() + 1);
    return kFalse;
  }
  std::memcpy(buffer, block.data(), block.size());
  static_cast<char*>(buffer)[block.size()] = '\0';
  *buffer_length = static_cast<DWORD>(block.size());
  return kTrue;
}

BOOL InternetCloseHandle(HINTERNET internet) {
  return live_handles().remove(internet) ? kTrue : kFalse;
}

}  // namespace lorvane::platform
