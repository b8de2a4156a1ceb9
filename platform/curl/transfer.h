// One HTTP exchange on libcurl with WinINet's manners: our own redirect loop,
// the final response's raw header block, and a body handed out piece by piece
// as the caller reads it.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/curl/proxy_list.h"

namespace lorvane::platform::curl_backend {

// Redirects followed before a request counts as failed.
inline constexpr int kMaxRedirects = 10;

// The time-outs of a request unless the process sets others.
inline constexpr std::uint32_t kDefaultConnectTimeoutMs = 60'000;
inline constexpr std::uint32_t kDefaultProgressTimeoutMs = 30'000;
inline constexpr std::uint32_t kNoTimeLimit = 0xFFFFFFFF;

struct RequestSetup {
  std::string url;  // scheme://host:port/path
  // The first request's target when the URL would lose part of the path:
  // libcurl cuts a "#" and what follows from a URL, while the object name goes
  // out whole. Empty: the path of `url`.
  std::string target;
  std::string verb;
  std::string agent;                      // the User-Agent line; none when empty
  std::vector<std::string> header_lines;  // sent as they are, in this order
  std::string body;
  ProxyChoice proxies;  // both empty: a direct connection
  bool use_cookies = true;
  bool follow_redirects = true;
  bool redirect_to_https = false;  // http -> https allowed
  bool redirect_to_http = false;   // https -> http allowed
  bool verify_peer = true;
  bool verify_host = true;
  std::string ca_file;  // trusted certificates in place of the system's; empty: the system's
  // Milliseconds that connecting may take, and that a connected transfer may
  // go without moving a byte; kNoTimeLimit for none.
  std::uint32_t connect_timeout_ms = kDefaultConnectTimeoutMs;
  std::uint32_t progress_timeout_ms = kDefaultProgressTimeoutMs;
};

// Why a transfer ended without a response: libcurl's result code and, for a
// certificate that did not verify, OpenSSL's verification result.
struct TransferFailure {
  int curl_code = 0;       // CURLcode; 0 when nothing failed
  long verify_result = 0;  // X509_V_OK (0) or an X509_V_ERR_... value
};

class Transfer {
 public:
  explicit Transfer(RequestSetup setup);
  ~Transfer();
  Transfer(const Transfer&) = delete;
  Transfer& operator=(const Transfer&) = delete;

  // Sends the request and follows its redirects; returns once the final
  // response's header block has arrived (true), or when that cannot happen
  // (false: no connection, refused, time-out, too many redirects).
  bool start();

  // Copies up to `size` further body bytes into `buffer`, waiting for the
  // network as needed; fewer only at the end of the body. 0 once the body is
  // done or the transfer failed; `failed` tells the two apart.
  std::size_t read(char* buffer, std::size_t size, bool& failed);

  // The final response's status line and header lines, each ended by CR LF,
  // then the empty line; empty when no response arrived.
  const std::string& raw_headers() const { return raw_headers_; }

  // Why start() returned false; all zero after a success.
  const TransferFailure& failure() const { return failure_; }

 private:
  struct Curl;

  bool begin_hop(const std::string& url);
  void end_hop();
  void fail();
  bool wait_for_headers();
  void drive();
  bool stalled();
  std::uint64_t bytes_moved() const;
  void restart_progress_clock();

  static std::size_t on_header(char* data, std::size_t size, std::size_t count, void* self);
  static std::size_t on_body(char* data, std::size_t size, std::size_t count, void* self);

  RequestSetup setup_;
  std::unique_ptr<Curl> curl_;
  bool started_ = false;
  bool failed_ = false;
  bool done_ = false;
  bool headers_complete_ = false;
  bool paused_ = false;       // libcurl holds a body piece back until asked
  std::string header_lines_;  // the block being received
  std::string raw_headers_;
  std::string pending_;  // body bytes received and not yet read
  std::size_t pending_offset_ = 0;
  TransferFailure failure_;
  // Bytes of the response seen by our callbacks, and when the connection last
  // moved a byte while we waited for it.
  std::uint64_t received_ = 0;
  std::uint64_t moved_ = 0;
  std::chrono::steady_clock::time_point last_progress_;
};

}  // namespace lorvane::platform::curl_backend
