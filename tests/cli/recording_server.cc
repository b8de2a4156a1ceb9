#include "tests/cli/recording_server.h"

#include <arpa/inet.h>
#include <httplib.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

namespace lorvane::testing {
namespace {

// A socket bound to 127.0.0.1 at a free port; the port is written to `port`.
int bound_loopback_socket(int& port) {
  int socket_handle = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (socket_handle < 0 ||
      bind(socket_handle, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
      getsockname(socket_handle, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    throw std::runtime_error("cannot bind a loopback socket");
  }
  port = ntohs(address.sin_port);
  return socket_handle;
}

}  // namespace

RecordingServer::RecordingServer() : server_(std::make_unique<httplib::Server>()) {
  // The body is read through a content reader so that it arrives unparsed,
  // whatever its length and content type.
  server_->Post(".*", [this](const httplib::Request& request, httplib::Response& response,
                             const httplib::ContentReader& read_content) {
    RecordedRequest recorded{
        request.method, request.target, request.get_header_value("Content-Type"), {}};
    read_content([&](const char* data, std::size_t length) {
      recorded.body.append(data, length);
      return true;
    });
    std::lock_guard lock(mutex_);
    requests_.push_back(std::move(recorded));
    response.status = status_;
    if (!reply_.empty()) response.set_content(reply_, "application/json");
  });
  port_ = server_->bind_to_any_port("127.0.0.1");
  if (port_ <= 0) throw std::runtime_error("cannot start the recording server");
  // The socket listens from here on; connections wait until the thread accepts.
  thread_ = std::thread([this] {
    server_->listen_after_bind();
    listening_ended_ = true;
  });
}

RecordingServer::~RecordingServer() {
  // stop() does nothing until the server runs: wait for that, briefly.
  while (!server_->is_running() && !listening_ended_) std::this_thread::yield();
  server_->stop();
  thread_.join();
}

std::string RecordingServer::address(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + path;
}

void RecordingServer::reply_with(int status, std::string body) {
  std::lock_guard lock(mutex_);
  status_ = status;
  reply_ = std::move(body);
}

std::vector<RecordedRequest> RecordingServer::requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

HangingUpServer::HangingUpServer() {
  socket_ = bound_loopback_socket(port_);
  if (listen(socket_, 16) != 0) throw std::runtime_error("cannot listen");
  thread_ = std::thread([this] {
    while (!stopping_) {
      pollfd watched{socket_, POLLIN, 0};
      if (poll(&watched, 1, 50) <= 0) continue;
      int connection = accept4(socket_, nullptr, nullptr, SOCK_CLOEXEC);
      if (connection < 0) continue;
      ++connections_;
      close(connection);
    }
  });
}

HangingUpServer::~HangingUpServer() {
  stopping_ = true;
  thread_.join();
  close(socket_);
}

int refused_port() {
  int port = 0;
  close(bound_loopback_socket(port));
  return port;
}

}  // namespace lorvane::testing
