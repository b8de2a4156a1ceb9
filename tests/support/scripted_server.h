// A scripted HTTP or HTTPS server on 127.0.0.1 for the tests of the window and
// of the command-line programs: it answers every GET and POST with the status
// and body it was last told to, and records what came. For the hang-up
// server and a refused port, see tests/support/test_servers.h.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace httplib {
class Server;
}

namespace lorvane::test {

struct RecordedRequest {
  std::string method;
  std::string target;  // path and query, as sent
  std::string content_type;
  std::string body;  // exactly the bytes that arrived
};

// One scripted answer: its status, body and extra header lines.
struct ScriptedReply {
  int status = 200;
  std::string body;
  std::vector<std::pair<std::string, std::string>> headers;
};

// PEM texts of a certificate and its key, for an https server that shows a
// certificate of the test's choosing.
struct ServerCertificate {
  std::string certificate_pem;
  std::string key_pem;
};

// Header lines that add at least `bytes` bytes to a response's header block,
// as a long Content-Security-Policy and tracing headers do: lines of under
// 2 KiB each, so that no stack cuts a line short.
std::vector<std::pair<std::string, std::string>> long_header_lines(std::size_t bytes);

// Listens from construction to destruction at a port of the system's choosing.
// The https one shows a self-signed certificate for 127.0.0.1, made at start:
// its clients are expected to accept it unverified. Throws std::runtime_error
// when it cannot start.
class ScriptedServer {
 public:
  enum class Scheme { http, https };

  explicit ScriptedServer(Scheme scheme = Scheme::http, int status = 200, std::string body = {});
  // An https server that shows `certificate`.
  explicit ScriptedServer(const ServerCertificate& certificate);
  ~ScriptedServer();
  ScriptedServer(const ScriptedServer&) = delete;
  ScriptedServer& operator=(const ScriptedServer&) = delete;

  int port() const { return port_; }
  // "http://127.0.0.1:PORT" (or "https://…") followed by `path`.
  std::string address(std::string_view path) const;

  using HeaderLines = std::vector<std::pair<std::string, std::string>>;

  // The reply to every request from now on, with these header lines besides
  // the server's own.
  void reply_with(int status, std::string body, HeaderLines lines = {});
  // The next POSTs get these answers in turn; then the reply above again.
  void reply_in_turn(std::vector<ScriptedReply> replies);
  // A GET of `path` (without the query) gets this answer from now on.
  void serve(const std::string& path, ScriptedReply reply);
  // From the `count`-th POST on (1: the next one), each POST is recorded and
  // then waits, unanswered, until release() (or the server's end).
  void hold_from(std::size_t count);
  void release();
  // Waits until `count` requests have arrived; false when `timeout` passes first.
  bool wait_for_requests(std::size_t count, std::chrono::milliseconds timeout) const;
  // Every request so far, in order of arrival.
  std::vector<RecordedRequest> requests() const;

 private:
  Scheme scheme_;
  std::unique_ptr<httplib::Server> server_;
  std::thread thread_;
  std::atomic<bool> listening_ended_{false};
  int port_ = 0;
  void start();

  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  int status_;
  std::string reply_;
  HeaderLines lines_;
  std::vector<ScriptedReply> in_turn_;
  std::map<std::string, ScriptedReply> paths_;
  std::size_t posts_ = 0;
  std::size_t hold_from_ = 0;  // 0: nothing held
  bool released_ = false;
  std::vector<RecordedRequest> requests_;
};

}  // namespace lorvane::test
