// Loopback servers for the command-line tests: one that records what arrives
// and answers as told, and one that hangs up without answering.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace httplib {
class Server;
}

namespace lorvane::testing {

struct RecordedRequest {
  std::string method;
  std::string target;  // path and query, as sent
  std::string content_type;
  std::string body;  // exactly the bytes that arrived
};

// An HTTP server on 127.0.0.1 at a free port that records every request and
// answers each with the status and body last given to reply_with.
class RecordingServer {
 public:
  RecordingServer();
  ~RecordingServer();
  RecordingServer(const RecordingServer&) = delete;
  RecordingServer& operator=(const RecordingServer&) = delete;

  int port() const { return port_; }
  // "http://127.0.0.1:PORT" followed by `path`.
  std::string address(const std::string& path = "/urls?site=www.example.com&token=t") const;

  void reply_with(int status, std::string body);
  std::vector<RecordedRequest> requests() const;

 private:
  std::unique_ptr<httplib::Server> server_;
  std::thread thread_;
  std::atomic<bool> listening_ended_{false};
  int port_ = 0;
  mutable std::mutex mutex_;
  int status_ = 200;
  std::string reply_ = "{\"remain\":99,\"success\":2}";
  std::vector<RecordedRequest> requests_;
};

// A server on 127.0.0.1 at a free port that accepts connections and closes
// them at once: a connection is made, but no response ever comes.
class HangingUpServer {
 public:
  HangingUpServer();
  ~HangingUpServer();
  HangingUpServer(const HangingUpServer&) = delete;
  HangingUpServer& operator=(const HangingUpServer&) = delete;

  int port() const { return port_; }
  int connections() const { return connections_; }

 private:
  int socket_ = -1;
  int port_ = 0;
  std::atomic<bool> stopping_{false};
  std::atomic<int> connections_{0};
  std::thread thread_;
};

// A port on 127.0.0.1 where nothing listens (bound once, then released).
int refused_port();

}  // namespace lorvane::testing
