// The demo's HTTP server: the routes of the submission interface on
// cpp-httplib, with connections of its own making so that each one is
// bounded in time and size and a stop ends all of them at once.
#pragma once

#include <httplib.h>
#include <openssl/ssl.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>

#include "demo/submission_interface.h"

namespace lorvane::demo {

// The largest request body taken, after any chunked framing is removed.
inline constexpr std::size_t most_body_bytes = 16 << 20;

// How long a connection may take. A client that misses a bound is cut off;
// a request cut off counts nothing.
struct ConnectionLimits {
  // Without a byte moving either way, and waiting for the next request on a
  // kept-alive connection.
  std::chrono::milliseconds idle{5000};
  // One request, from its first byte to the last byte of its answer, however
  // steadily its bytes trickle in (the TLS handshake is held to it as well).
  std::chrono::milliseconds request{10000};
  // Connections served at once; further ones wait for a free thread.
  std::size_t most_threads = 1024;
  // At a stop, how long an answer already under way may take to go out
  // before its connection is cut as well.
  std::chrono::milliseconds stop_grace{250};
};

// Receives each line of the request log, without its line break.
using LogSink = std::function<void(const std::string& line)>;

// The first value of `name` in the query of the request target,
// percent-decoded; none when absent. Read from the target itself: a
// form-encoded body must never supply the site or token.
std::optional<std::string> query_parameter(const std::string& target, std::string_view name);

// One listener of the demo interface: POST /urls, GET /abc.txt and the
// refusals. Every listener may share one SubmissionInterface, and so one
// quota. Logs one line per answered request.
class DemoServer : public httplib::Server {
 public:
  // `scheme` names the listener in the log ("http", "https"). With `tls`
  // (borrowed; it must outlive the server) every connection is https.
  DemoServer(SubmissionInterface& submissions, std::string scheme, LogSink log,
             SSL_CTX* tls = nullptr, ConnectionLimits limits = {});
  ~DemoServer() override;
  DemoServer(const DemoServer&) = delete;
  DemoServer& operator=(const DemoServer&) = delete;

  // The bytes the server writes back for `request_bytes` taken as what came
  // on one connection (its requests in turn, as keep-alive allows), without
  // a network. The requests are logged as usual.
  std::string answer_connection(std::string_view request_bytes);

  // Stops serving: no further connection is taken, and every open one
  // stops reading (a request whose body has not come whole counts nothing)
  // but may still send an answer under way. listen_after_bind() returns soon
  // after cut_lingering_connections(). Call it from another thread than the
  // listener's once is_running() has been true.
  void shut_down();
  // After shut_down(): waits up to `stop_grace` from it for the connections
  // to end, then cuts the rest (answers to clients that do not read them).
  void cut_lingering_connections();

  // After a bind: lets many connections wait to be taken instead of the
  // library's five, so that a burst of clients is not turned away for a
  // second while threads start.
  void lengthen_backlog();

 private:
  class Requests;
  class Connection;
  class Replay;

  bool process_and_close_socket(socket_t sock) override;
  // Answers the requests of one connection in turn; false when one failed.
  bool serve_requests(Requests& requests);
  // Answers a request whose first line never came whole (408), and logs it.
  void answer_cut_off(Requests& requests);
  void add_routes();
  std::string log_line(const httplib::Request& request, const httplib::Response& response) const;

  SubmissionInterface& submissions_;
  std::string scheme_;
  LogSink log_;
  SSL_CTX* tls_;
  ConnectionLimits limits_;

  std::mutex connections_mutex_;
  std::condition_variable connections_ended_;
  std::set<socket_t> connections_;  // open, and not yet closing
  std::atomic<bool> stopping_ = false;
  std::chrono::steady_clock::time_point grace_ends_;
};

}  // namespace lorvane::demo
