// A small HTTP or HTTPS server on 127.0.0.1 with a port chosen by the system:
// answers every GET and POST with one scripted reply and records what came.
#pragma once

#include <arpa/inet.h>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace lorvane::test {

struct ReceivedRequest {
  std::string method;
  std::string path;
  std::string body;
};

class LoopbackServer {
 public:
  enum class Scheme { http, https };

  explicit LoopbackServer(Scheme scheme, int status = 200, std::string body = {})
      : status_(status), body_(std::move(body)) {
    if (scheme == Scheme::https) {
      server_ = std::make_unique<httplib::SSLServer>(LORVANE_TEST_CERTIFICATE, LORVANE_TEST_KEY);
    } else {
      server_ = std::make_unique<httplib::Server>();
    }
    auto answer = [this](const httplib::Request& request, httplib::Response& response) {
      std::lock_guard lock(mutex_);
      requests_.push_back({request.method, request.path, request.body});
      response.status = status_;
      response.set_content(body_, "text/plain");
    };
    server_->Get(".*", answer);
    server_->Post(".*", answer);
    port_ = server_->bind_to_any_port("127.0.0.1");
    thread_ = std::thread([this] { server_->listen_after_bind(); });
    // stop() only reaches a server that has begun to listen.
    while (!server_->is_running()) std::this_thread::yield();
  }

  ~LoopbackServer() {
    server_->stop();
    thread_.join();
  }

  LoopbackServer(const LoopbackServer&) = delete;
  LoopbackServer& operator=(const LoopbackServer&) = delete;

  int port() const { return port_; }

  std::vector<ReceivedRequest> requests() const {
    std::lock_guard lock(mutex_);
    return requests_;
  }

 private:
  std::unique_ptr<httplib::Server> server_;
  int port_ = 0;
  int status_;
  std::string body_;
  std::thread thread_;
  mutable std::mutex mutex_;
  std::vector<ReceivedRequest> requests_;
};

// A loopback port on which nothing listens: bound by the system, then let go.
inline int closed_port() {
  const int probe = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ::bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address);
  ::getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length);
  ::close(probe);
  return ntohs(address.sin_port);
}

}  // namespace lorvane::test
