// A scripted HTTP or HTTPS server on 127.0.0.1 for the tests of the window and
// of the command-line programs: it answers every GET and POST with the status
// and body it was last told to, and records what came. For the hang-up
// server and a refused port, see tests/support/test_servers.h.
#pragma once

#include <atomic>
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

// Listens from construction to destruction at a port of the system's choosing.
// The https one shows a self-signed certificate for 127.0.0.1, made at start:
// its clients are expected to accept it unverified. Throws std::runtime_error
// when it cannot start.
class ScriptedServer {
 public:
  enum class Scheme { http, https };

  explicit ScriptedServer(Scheme scheme = Scheme::http, int status = 200, std::string body = {});
  ~ScriptedServer();
  ScriptedServer(const ScriptedServer&) = delete;
  ScriptedServer& operator=(const ScriptedServer&) = delete;

  int port() const { return port_; }
  // "http://127.0.0.1:PORT" (or "https://…") followed by `path`.
  std::string address(std::string_view path) const;

  // The reply to every request from now on.
  void reply_with(int status, std::string body);
  // Every request so far, in order of arrival.
  std::vector<RecordedRequest> requests() const;

 private:
  Scheme scheme_;
  std::unique_ptr<httplib::Server> server_;
  std::thread thread_;
  std::atomic<bool> listening_ended_{false};
  int port_ = 0;
  mutable std::mutex mutex_;
  int status_;
  std::string reply_;
  std::vector<RecordedRequest> requests_;
};

}  // namespace lorvane::test
