// A small HTTP server on 127.0.0.1 for the submit button's tests: it records
// every request as it arrived (head and body) and answers each with one fixed
// body, so that a test chooses the interface's reply. Winsock, one thread,
// one connection at a time, port chosen by the system.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace lorvane::testing {

class ReplyServer {
 public:
  // `header_lines`, each ended by CR LF, go out after the server's own lines.
  explicit ReplyServer(std::string reply_body, std::string header_lines = {});
  ~ReplyServer();
  ReplyServer(const ReplyServer&) = delete;
  ReplyServer& operator=(const ReplyServer&) = delete;

  int port() const { return port_; }
  // Every request so far, the raw bytes: request line, header lines, empty line, body.
  std::vector<std::string> requests() const;

 private:
  void serve();
  void answer(std::uintptr_t connection);

  std::string reply_body_;
  std::string header_lines_;
  std::uintptr_t listener_;  // a SOCKET; winsock2.h stays out of this header
  int port_ = 0;
  std::atomic<bool> stopping_{false};
  mutable std::mutex mutex_;
  std::vector<std::string> requests_;
  std::thread thread_;
};

// The body of a raw request (what follows the empty line).
std::string request_body(const std::string& raw);
// The request line of a raw request, without CR LF.
std::string request_line(const std::string& raw);

}  // namespace lorvane::testing
