// A connection to a loopback server that sends exactly the bytes a test
// gives, when it gives them: requests cut short, trickled or malformed.
#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace lorvane::testing {

struct RawResponse {
  int status = 0;
  std::string head;  // the status line and header lines
  std::string body;  // as long as its Content-Length
};

class RawConnection {
 public:
  // Connects to 127.0.0.1:`port`, with `tls` through a TLS handshake that
  // accepts any certificate. Throws when that fails.
  explicit RawConnection(int port, bool tls = false);
  ~RawConnection();
  RawConnection(const RawConnection&) = delete;
  RawConnection& operator=(const RawConnection&) = delete;

  // False once the server no longer takes bytes.
  bool send(std::string_view bytes);
  // Closes the sending side: the server reads the end after what was sent.
  void finish_sending();

  // The next response, read within `within`; none when the server closed,
  // or did not answer whole in time.
  std::optional<RawResponse> receive_response(std::chrono::milliseconds within);
  // Whether the server closed the connection (reading what it still sent)
  // within `within`.
  bool closed_by_server(std::chrono::milliseconds within);

 private:
  // Reads what came into `pending_`; false at the end, on a failure or when
  // `until` passed.
  bool receive_more(std::chrono::steady_clock::time_point until);

  int sock_ = -1;
  struct Tls;
  std::unique_ptr<Tls> tls_;
  std::string pending_;
};

}  // namespace lorvane::testing
