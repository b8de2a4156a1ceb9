#include "tests/windows/window/reply_server.h"

// winsock2.h comes before anything that brings windows.h.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <cctype>
#include <stdexcept>

namespace lorvane::testing {
namespace {

// The Content-Length value of a head, or 0.
std::size_t content_length(const std::string& head) {
  std::string lower(head);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  const std::size_t at = lower.find("\r\ncontent-length:");
  if (at == std::string::npos) return 0;
  return static_cast<std::size_t>(std::strtoul(head.c_str() + at + 17, nullptr, 10));
}

void send_all(SOCKET connection, const std::string& bytes) {
  std::size_t sent = 0;
  while (sent < bytes.size()) {
    const int count =
        send(connection, bytes.data() + sent, static_cast<int>(bytes.size() - sent), 0);
    if (count <= 0) return;
    sent += static_cast<std::size_t>(count);
  }
}

}  // namespace

ReplyServer::ReplyServer(std::string reply_body, std::string header_lines)
    : reply_body_(std::move(reply_body)), header_lines_(std::move(header_lines)) {
  WSADATA data;
  if (WSAStartup(MAKEWORD(2, 2), &data) != 0) throw std::runtime_error("WSAStartup failed");
  const SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  int length = sizeof(address);
  if (listener == INVALID_SOCKET ||
      bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
      listen(listener, 8) != 0 ||
      getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    if (listener != INVALID_SOCKET) closesocket(listener);
    WSACleanup();
    throw std::runtime_error("the reply server cannot listen on 127.0.0.1");
  }
  listener_ = listener;
  port_ = ntohs(address.sin_port);
  thread_ = std::thread(&ReplyServer::serve, this);
}

ReplyServer::~ReplyServer() {
  stopping_ = true;
  thread_.join();
  closesocket(static_cast<SOCKET>(listener_));
  WSACleanup();
}

std::vector<std::string> ReplyServer::requests() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_;
}

void ReplyServer::serve() {
  const auto listener = static_cast<SOCKET>(listener_);
  while (!stopping_) {
    // Waits a little at a time, so that the destructor is heard.
    fd_set ready;
    FD_ZERO(&ready);
    FD_SET(listener, &ready);
    timeval wait{0, 50000};
    if (select(0, &ready, nullptr, nullptr, &wait) <= 0) continue;
    const SOCKET connection = accept(listener, nullptr, nullptr);
    if (connection == INVALID_SOCKET) continue;
    answer(connection);
    closesocket(connection);
  }
}

void ReplyServer::answer(std::uintptr_t socket_handle) {
  const auto connection = static_cast<SOCKET>(socket_handle);
  std::string raw;
  char buffer[4096];
  std::size_t head_end = std::string::npos;
  while (true) {
    if (head_end == std::string::npos) head_end = raw.find("\r\n\r\n");
    if (head_end != std::string::npos &&
        raw.size() >= head_end + 4 + content_length(raw.substr(0, head_end + 2))) {
      break;
    }
    const int count = recv(connection, buffer, sizeof(buffer), 0);
    if (count <= 0) return;
    raw.append(buffer, static_cast<std::size_t>(count));
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    requests_.push_back(raw);
  }
  send_all(connection, "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: " +
                           std::to_string(reply_body_.size()) + "\r\nConnection: close\r\n" +
                           header_lines_ + "\r\n" + reply_body_);
  shutdown(connection, SD_SEND);
}

std::string request_body(const std::string& raw) {
  const std::size_t end = raw.find("\r\n\r\n");
  return end == std::string::npos ? std::string() : raw.substr(end + 4);
}

std::string request_line(const std::string& raw) { return raw.substr(0, raw.find("\r\n")); }

}  // namespace lorvane::testing
