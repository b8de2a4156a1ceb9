#include "platform/curl/transfer.h"

#include <curl/curl.h>
#include <linux/tcp.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <climits>
#include <cstring>
#include <mutex>
#include <string_view>
#include <vector>

namespace lorvane::platform::curl_backend {
namespace {

// The process's one cookie store, shared by every request that keeps cookies.
// It lives in memory only: no cookie jar file is ever named.
struct CookieStore {
  CURLSH* share = nullptr;
  std::array<std::mutex, CURL_LOCK_DATA_LAST> locks;
};

void lock_store(CURL*, curl_lock_data data, curl_lock_access, void* store) {
  static_cast<CookieStore*>(store)->locks[data].lock();
}

void unlock_store(CURL*, curl_lock_data data, void* store) {
  static_cast<CookieStore*>(store)->locks[data].unlock();
}

// Initialises libcurl once, thread-safely; null when that failed. Deliberately
// never torn down: requests may still run while static objects are destroyed.
CookieStore* cookie_store() {
  static CookieStore* const store = []() -> CookieStore* {
    if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) return nullptr;
    auto* made = new CookieStore;
    made->share = curl_share_init();
    if (made->share == nullptr) return nullptr;
    curl_share_setopt(made->share, CURLSHOPT_LOCKFUNC, lock_store);
    curl_share_setopt(made->share, CURLSHOPT_UNLOCKFUNC, unlock_store);
    curl_share_setopt(made->share, CURLSHOPT_USERDATA, made);
    curl_share_setopt(made->share, CURLSHOPT_SHARE, CURL_LOCK_DATA_COOKIE);
    return made;
  }();
  return store;
}

bool starts_with_ignoring_case(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() &&
         std::equal(prefix.begin(), prefix.end(), text.begin(), [](char a, char b) {
           return std::tolower(static_cast<unsigned char>(a)) ==
                  std::tolower(static_cast<unsigned char>(b));
         });
}

bool is_https(std::string_view url) { return starts_with_ignoring_case(url, "https://"); }

// The status code of a block that begins with "HTTP/x.y NNN"; 0 when unreadable.
int status_of(std::string_view block) {
  const auto space = block.find(' ');
  if (!block.starts_with("HTTP/") || space == std::string_view::npos) return 0;
  int status = 0;
  for (std::size_t i = space + 1; i < block.size() && i < space + 4; ++i) {
    if (!std::isdigit(static_cast<unsigned char>(block[i]))) return 0;
    status = status * 10 + (block[i] - '0');
  }
  return status;
}

// Received body bytes held for the reader before the connection is paused.
constexpr std::size_t kPauseAt = 256 * 1024;

// Statuses whose Location is followed, as browsers and WinINet do.
bool is_followed_redirect(int status) {
  return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

// Where the block's Location line points, resolved against `base`; empty
// when there is no usable Location. Read from the header block itself:
// libcurl works its redirect URL out only once the whole response has come,
// and the redirect is decided as soon as the headers are in.
std::string redirect_target(std::string_view base, std::string_view block) {
  std::string location;
  for (std::size_t start = 0; start < block.size();) {
    std::size_t end = block.find("\r\n", start);
    if (end == std::string_view::npos) end = block.size();
    const std::string_view line = block.substr(start, end - start);
    start = end + 2;
    if (!starts_with_ignoring_case(line, "Location:")) continue;
    std::string_view value = line.substr(9);
    while (!value.empty() && (value.front() == ' ' || value.front() == '\t'))
      value.remove_prefix(1);
    while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.remove_suffix(1);
    location = value;
    break;
  }
  if (location.empty()) return {};

  std::string target;
  CURLU* url = curl_url();
  if (url == nullptr) return {};
  const std::string base_url(base);
  char* resolved = nullptr;
  if (curl_url_set(url, CURLUPART_URL, base_url.c_str(), 0) == CURLUE_OK &&
      curl_url_set(url, CURLUPART_URL, location.c_str(), CURLU_NON_SUPPORT_SCHEME) == CURLUE_OK &&
      curl_url_get(url, CURLUPART_URL, &resolved, 0) == CURLUE_OK) {
    target = resolved;
  }
  curl_free(resolved);
  curl_url_cleanup(url);
  return target;
}

// A caller's header line as libcurl must be handed it to send it unchanged:
// libcurl takes "Name:" with nothing after it as "send no such line", and
// writes "Name;" as the line "Name:" instead.
std::string line_for_libcurl(const std::string& line) {
  const auto colon = line.find(':');
  if (colon == std::string::npos || colon == 0 ||
      line.find_first_not_of(" \t", colon + 1) != std::string::npos) {
    return line;
  }
  return line.substr(0, colon) + ";";
}

// libcurl's sockets, opened and closed through these so that the list of a
// hop's open sockets (the callbacks' data) is always known.
curl_socket_t open_socket(void* sockets, curlsocktype, curl_sockaddr* address) {
  const curl_socket_t socket =
      ::socket(address->family, address->socktype | SOCK_CLOEXEC, address->protocol);
  if (socket != CURL_SOCKET_BAD)
    static_cast<std::vector<curl_socket_t>*>(sockets)->push_back(socket);
  return socket;
}

int close_socket(void* sockets, curl_socket_t socket) {
  auto& open = *static_cast<std::vector<curl_socket_t>*>(sockets);
  open.erase(std::remove(open.begin(), open.end(), socket), open.end());
  return ::close(socket);
}

}  // namespace

struct Transfer::Curl {
  CURLM* multi = nullptr;
  CURL* easy = nullptr;
  // The sockets libcurl has open for this hop, opened and closed through us
  // so that their byte counts can be read while the transfer runs.
  std::vector<curl_socket_t> sockets;
  curl_slist* headers = nullptr;
  curl_slist* proxy_headers = nullptr;
  CURLcode result = CURLE_OK;

  ~Curl() { clear(); }

  void clear() {
    if (easy != nullptr) {
      if (multi != nullptr) curl_multi_remove_handle(multi, easy);
      curl_easy_cleanup(easy);
      easy = nullptr;
    }
    if (multi != nullptr) {
      curl_multi_cleanup(multi);
      multi = nullptr;
    }
    curl_slist_free_all(headers);
    curl_slist_free_all(proxy_headers);
    headers = nullptr;
    proxy_headers = nullptr;
    result = CURLE_OK;
  }
};

Transfer::Transfer(RequestSetup setup) : setup_(std::move(setup)), curl_(new Curl) {}

Transfer::~Transfer() = default;

bool Transfer::start() {
  started_ = true;
  std::string url = setup_.url;
  for (int redirects = 0;; ++redirects) {
    if (!begin_hop(url) || !wait_for_headers()) {
      fail();
      return false;
    }
    const int status = status_of(raw_headers_);
    if (!setup_.follow_redirects || !is_followed_redirect(status)) return true;

    const std::string next = redirect_target(url, raw_headers_);
    if (next.empty()) return true;
    const bool to_https = is_https(next);
    if (!to_https && !starts_with_ignoring_case(next, "http://")) return true;  // ftp:, file:, ...
    if (to_https != is_https(url) &&
        !(to_https ? setup_.redirect_to_https : setup_.redirect_to_http)) {
      return true;
    }
    if (redirects == kMaxRedirects) {
      fail();
      failure_.curl_code = CURLE_TOO_MANY_REDIRECTS;
      return false;
    }

    // 307 and 308 repeat the request as it was; the older codes turn a POST
    // (303: anything but HEAD) into a GET without a body.
    const bool to_get = (status == 303 && setup_.verb != "HEAD") ||
                        ((status == 301 || status == 302) && setup_.verb == "POST");
    if (to_get) {
      setup_.verb = "GET";
      setup_.body.clear();
    }
    end_hop();
    url = next;
  }
}

// Keeps why the hop failed, then lets go of it.
void Transfer::fail() {
  failed_ = true;
  raw_headers_.clear();
  failure_.curl_code = curl_->result != CURLE_OK ? curl_->result : CURLE_FAILED_INIT;
  if (curl_->easy != nullptr) {
    long verify_result = 0;
    if (curl_easy_getinfo(curl_->easy, CURLINFO_SSL_VERIFYRESULT, &verify_result) == CURLE_OK) {
      failure_.verify_result = verify_result;
    }
  }
  curl_->clear();
}

bool Transfer::begin_hop(const std::string& url) {
  CookieStore* store = cookie_store();
  if (store == nullptr) return false;
  curl_->multi = curl_multi_init();
  curl_->easy = curl_easy_init();
  if (curl_->multi == nullptr || curl_->easy == nullptr) return false;
  CURL* easy = curl_->easy;

  curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
  if (!setup_.target.empty() && url == setup_.url) {
    // Through a proxy in the clear the target is the whole URL.
    const bool proxied = !is_https(url) && !setup_.proxies.http.empty();
    curl_easy_setopt(easy, CURLOPT_REQUEST_TARGET, proxied ? url.c_str() : setup_.target.c_str());
  }
  curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
  curl_easy_setopt(easy, CURLOPT_PATH_AS_IS, 1L);  // the path goes out as the caller wrote it
  curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L);
  curl_easy_setopt(easy, CURLOPT_BUFFERSIZE, 256L * 1024);

  // Time-outs of our own, since the program sets none: connecting (name,
  // TCP, TLS, a proxy's tunnel) has connect_timeout_ms; after that, drive()
  // ends a transfer that moves no byte for progress_timeout_ms. There is no
  // limit on the total time.
  curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS,
                   setup_.connect_timeout_ms == kNoTimeLimit
                       ? LONG_MAX
                       : static_cast<long>(setup_.connect_timeout_ms));
  restart_progress_clock();

  curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, setup_.verify_peer ? 1L : 0L);
  curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, setup_.verify_host ? 2L : 0L);
  if (!setup_.ca_file.empty()) {
    curl_easy_setopt(easy, CURLOPT_CAINFO, setup_.ca_file.c_str());
    curl_easy_setopt(easy, CURLOPT_CAPATH, nullptr);
  }

  // An empty proxy switches libcurl's reading of http_proxy and friends off,
  // so that direct means direct. An empty no-proxy list sends loopback
  // targets through the proxy as well.
  const std::string& proxy = is_https(url) ? setup_.proxies.https : setup_.proxies.http;
  curl_easy_setopt(easy, CURLOPT_PROXY, proxy.c_str());
  curl_easy_setopt(easy, CURLOPT_NOPROXY, "");
  curl_easy_setopt(easy, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
  curl_easy_setopt(easy, CURLOPT_HEADEROPT, static_cast<long>(CURLHEADER_SEPARATE));
  curl_->proxy_headers = curl_slist_append(nullptr, "Proxy-Connection:");
  curl_easy_setopt(easy, CURLOPT_PROXYHEADER, curl_->proxy_headers);

  if (!setup_.agent.empty()) curl_easy_setopt(easy, CURLOPT_USERAGENT, setup_.agent.c_str());
  // The caller's lines, then empty entries that keep libcurl from adding
  // "Accept: */*", "Expect: 100-continue" and a form Content-Type of its own.
  // A caller's line of the same name still goes out: libcurl sends the lines
  // that have a value and only looks at the first of a name for its own.
  for (const auto& line : setup_.header_lines) {
    curl_->headers = curl_slist_append(curl_->headers, line_for_libcurl(line).c_str());
  }
  for (const char* suppressed : {"Accept:", "Expect:", "Content-Type:"}) {
    curl_->headers = curl_slist_append(curl_->headers, suppressed);
  }
  curl_easy_setopt(easy, CURLOPT_HTTPHEADER, curl_->headers);

  if (setup_.use_cookies) {
    curl_easy_setopt(easy, CURLOPT_SHARE, store->share);
    curl_easy_setopt(easy, CURLOPT_COOKIEFILE, "");  // the engine on, reading no file
  }

  // HEAD goes out as a custom verb rather than with CURLOPT_NOBODY, which
  // would drop a body that the caller hands over; the response body that
  // libcurl would then wait for is never asked for (see read()).
  const std::string& verb = setup_.verb;
  const bool has_body = !setup_.body.empty() || verb == "POST";
  if (verb == "GET") {
    curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
  } else {
    if (has_body) {
      curl_easy_setopt(easy, CURLOPT_POSTFIELDSIZE_LARGE,
                       static_cast<curl_off_t>(setup_.body.size()));
      curl_easy_setopt(easy, CURLOPT_POSTFIELDS, setup_.body.data());
    }
    if (verb != "POST") curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, verb.c_str());
  }

  curl_easy_setopt(easy, CURLOPT_OPENSOCKETFUNCTION, open_socket);
  curl_easy_setopt(easy, CURLOPT_OPENSOCKETDATA, &curl_->sockets);
  curl_easy_setopt(easy, CURLOPT_CLOSESOCKETFUNCTION, close_socket);
  curl_easy_setopt(easy, CURLOPT_CLOSESOCKETDATA, &curl_->sockets);
  curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, on_header);
  curl_easy_setopt(easy, CURLOPT_HEADERDATA, this);
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, on_body);
  curl_easy_setopt(easy, CURLOPT_WRITEDATA, this);
  return curl_multi_add_handle(curl_->multi, easy) == CURLM_OK;
}

void Transfer::end_hop() {
  curl_->clear();
  done_ = false;
  headers_complete_ = false;
  received_ = 0;
  moved_ = 0;
  paused_ = false;
  header_lines_.clear();
  raw_headers_.clear();
  pending_.clear();
  pending_offset_ = 0;
}

bool Transfer::wait_for_headers() {
  while (!headers_complete_ && !done_) drive();
  return headers_complete_;
}

// One round of network work: whatever libcurl can do now, and when that
// brought nothing, a wait of up to a second for the sockets.
void Transfer::drive() {
  const std::size_t before = pending_.size();
  const bool had_headers = headers_complete_;
  int running = 0;
  if (curl_multi_perform(curl_->multi, &running) != CURLM_OK) {
    done_ = true;
    curl_->result = CURLE_FAILED_INIT;
    return;
  }
  int queued = 0;
  while (CURLMsg* message = curl_multi_info_read(curl_->multi, &queued)) {
    if (message->msg == CURLMSG_DONE) {
      done_ = true;
      curl_->result = message->data.result;
    }
  }
  if (done_) return;
  if (stalled()) {
    done_ = true;
    curl_->result = CURLE_OPERATION_TIMEDOUT;
    return;
  }
  if (pending_.size() == before && headers_complete_ == had_headers) {
    curl_multi_poll(curl_->multi, nullptr, 0, 200, nullptr);
  }
}

// Counted in what the connection's socket moved both ways (TLS records,
// header bytes of a line not yet complete, the request going out) and, where
// the socket cannot tell, in what reached our callbacks.
std::uint64_t Transfer::bytes_moved() const {
  std::uint64_t moved = received_;
  for (const curl_socket_t socket : curl_->sockets) {
    tcp_info info{};
    socklen_t length = sizeof info;
    if (getsockopt(socket, IPPROTO_TCP, TCP_INFO, &info, &length) == 0 &&
        length >= offsetof(tcp_info, tcpi_bytes_received) + sizeof info.tcpi_bytes_received) {
      moved += info.tcpi_bytes_acked + info.tcpi_bytes_received;
    }
  }
  curl_off_t sent = 0;
  if (curl_easy_getinfo(curl_->easy, CURLINFO_SIZE_UPLOAD_T, &sent) == CURLE_OK && sent > 0) {
    moved += static_cast<std::uint64_t>(sent);
  }
  return moved;
}

// Whether a connected transfer has moved no byte for progress_timeout_ms of
// waiting. Until the connection is made, the connect time-out is libcurl's.
bool Transfer::stalled() {
  if (setup_.progress_timeout_ms == kNoTimeLimit) return false;
  const auto now = std::chrono::steady_clock::now();
  curl_off_t connected_after = 0;
  curl_easy_getinfo(curl_->easy, CURLINFO_PRETRANSFER_TIME_T, &connected_after);
  const std::uint64_t moved = bytes_moved();
  if (connected_after == 0 || moved != moved_) {
    moved_ = moved;
    last_progress_ = now;
    return false;
  }
  return now - last_progress_ >= std::chrono::milliseconds(setup_.progress_timeout_ms);
}

// Time spent away from the network (the reader busy elsewhere, a paused
// connection) is no time without progress.
void Transfer::restart_progress_clock() { last_progress_ = std::chrono::steady_clock::now(); }

std::size_t Transfer::read(char* buffer, std::size_t size, bool& failed) {
  std::size_t given = 0;
  restart_progress_clock();
  // A response to HEAD has no body, whatever its Content-Length says.
  const bool body_expected = setup_.verb != "HEAD";
  while (started_ && !failed_ && body_expected && given < size) {
    if (pending_offset_ < pending_.size()) {
      const std::size_t piece = std::min(size - given, pending_.size() - pending_offset_);
      std::memcpy(buffer + given, pending_.data() + pending_offset_, piece);
      given += piece;
      pending_offset_ += piece;
      continue;
    }
    pending_.clear();
    pending_offset_ = 0;
    if (paused_) {
      // Resuming hands over the piece held back at once, or pauses again.
      paused_ = false;
      curl_easy_pause(curl_->easy, CURLPAUSE_CONT);
      continue;
    }
    if (done_) break;
    drive();
  }
  failed = !started_ || failed_ || (body_expected && done_ && curl_->result != CURLE_OK);
  return given;
}

std::size_t Transfer::on_header(char* data, std::size_t size, std::size_t count, void* self) {
  auto& transfer = *static_cast<Transfer*>(self);
  const std::size_t length = size * count;
  transfer.received_ += length;
  // Lines after the final block are trailers of a chunked body: not ours.
  if (transfer.headers_complete_) return length;

  std::string_view line(data, length);
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
  if (line.starts_with("HTTP/")) transfer.header_lines_.clear();
  if (!line.empty()) {
    transfer.header_lines_.append(line).append("\r\n");
    return length;
  }
  // The empty line ends a block. An interim 1xx block gives way to the next.
  const int status = status_of(transfer.header_lines_);
  if (status >= 100 && status < 200) {
    transfer.header_lines_.clear();
  } else {
    transfer.raw_headers_ = std::move(transfer.header_lines_) + "\r\n";
    transfer.header_lines_.clear();
    transfer.headers_complete_ = true;
  }
  return length;
}

std::size_t Transfer::on_body(char* data, std::size_t size, std::size_t count, void* self) {
  auto& transfer = *static_cast<Transfer*>(self);
  // Enough is waiting to be read: libcurl keeps this piece and stops taking
  // bytes off the connection until read() asks for more. Memory then stays at
  // a few pieces whatever the body's size.
  if (transfer.pending_.size() - transfer.pending_offset_ >= kPauseAt) {
    transfer.paused_ = true;
    return CURL_WRITEFUNC_PAUSE;
  }
  transfer.received_ += size * count;
  transfer.pending_.append(data, size * count);
  return size * count;
}

}  // namespace lorvane::platform::curl_backend
