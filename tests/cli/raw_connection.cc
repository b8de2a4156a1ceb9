#include "tests/cli/raw_connection.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <stdexcept>

namespace lorvane::testing {

struct RawConnection::Tls {
  SSL_CTX* context = nullptr;
  SSL* session = nullptr;
  ~Tls() {
    if (session != nullptr) SSL_free(session);
    if (context != nullptr) SSL_CTX_free(context);
  }
};

RawConnection::RawConnection(int port, bool tls) {
  sock_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (sock_ < 0 || connect(sock_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    if (sock_ >= 0) ::close(sock_);
    throw std::runtime_error("cannot connect to port " + std::to_string(port));
  }
  if (!tls) return;
  tls_ = std::make_unique<Tls>();
  tls_->context = SSL_CTX_new(TLS_client_method());
  if (tls_->context != nullptr) tls_->session = SSL_new(tls_->context);
  if (tls_->session == nullptr || SSL_set_fd(tls_->session, sock_) != 1 ||
      SSL_connect(tls_->session) != 1) {
    tls_.reset();
    ::close(sock_);
    throw std::runtime_error("no TLS handshake on port " + std::to_string(port));
  }
}

RawConnection::~RawConnection() {
  tls_.reset();
  ::close(sock_);
}

bool RawConnection::send(std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t sent = 0;
    if (tls_) {
      sent = SSL_write(tls_->session, bytes.data(), static_cast<int>(bytes.size()));
    } else {
      sent = ::send(sock_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
      if (sent < 0 && errno == EINTR) continue;
    }
    if (sent <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(sent));
  }
  return true;
}

void RawConnection::finish_sending() { ::shutdown(sock_, SHUT_WR); }

bool RawConnection::receive_more(std::chrono::steady_clock::time_point until) {
  while (true) {
    if (!tls_ || SSL_pending(tls_->session) == 0) {
      auto left =
          std::chrono::ceil<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
      if (left.count() <= 0) return false;
      pollfd watched{sock_, POLLIN, 0};
      int ready = poll(&watched, 1, static_cast<int>(left.count()));
      if (ready < 0 && errno == EINTR) continue;
      if (ready <= 0) return false;
    }
    char buffer[16384];
    ssize_t got = tls_ ? SSL_read(tls_->session, buffer, sizeof buffer)
                       : ::recv(sock_, buffer, sizeof buffer, 0);
    if (got < 0 && !tls_ && errno == EINTR) continue;
    if (got <= 0) return false;
    pending_.append(buffer, static_cast<std::size_t>(got));
    return true;
  }
}

std::optional<RawResponse> RawConnection::receive_response(std::chrono::milliseconds within) {
  auto until = std::chrono::steady_clock::now() + within;
  std::size_t head_end;
  while ((head_end = pending_.find("\r\n\r\n")) == std::string::npos) {
    if (!receive_more(until)) return std::nullopt;
  }
  RawResponse response;
  response.head = pending_.substr(0, head_end + 2);
  if (response.head.rfind("HTTP/1.1 ", 0) != 0) return std::nullopt;
  response.status = std::atoi(response.head.c_str() + 9);
  std::size_t length = 0;
  std::size_t field = response.head.find("\r\nContent-Length: ");
  if (field != std::string::npos)
    length = std::strtoul(response.head.c_str() + field + 18, nullptr, 10);
  while (pending_.size() < head_end + 4 + length) {
    if (!receive_more(until)) return std::nullopt;
  }
  response.body = pending_.substr(head_end + 4, length);
  pending_.erase(0, head_end + 4 + length);
  return response;
}

bool RawConnection::closed_by_server(std::chrono::milliseconds within) {
  auto until = std::chrono::steady_clock::now() + within;
  while (receive_more(until)) {
  }
  return std::chrono::steady_clock::now() < until;
}

}  // namespace lorvane::testing
