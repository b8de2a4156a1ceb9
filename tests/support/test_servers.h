// Loopback servers for the network tests: an HTTP and an HTTPS server of our
// own (so that some answers can be malformed on purpose) that record every
// request byte for byte, and a real forward proxy (tinyproxy).
//
// Routes, the same on both servers. A path may carry a token in front,
// "/t/TOKEN/route", which files the recorded request under TOKEN; cookies that
// the routes set are scoped to "/t/TOKEN/" so that tests do not meet each
// other's cookies.
//   /echo                 200, body "echo"
//   /flag/X               200, body X
//   /status/N             status N, body "status N"
//   /cookies              Set-Cookie lines «a=1; path=…», «b=2», «set-cookie: c=3»,
//                         «Set-Cookie:d=4»
//   /empty-cookies        two lines «Set-Cookie: ; x»
//   /set-cookie?NAME=V    sets the cookie NAME=V
//   /redirect/N?to=URL    status N with Location URL (percent-decoded)
//   /hops/N               N redirects in a row, then 200 "done"
//   /loop                 redirects to itself forever
//   /redirect-ftp         302 to an ftp: URL
//   /redirect-slow-body/N?to=URL  as /redirect/N, but the body follows the head
//                         200 ms later, in a packet of its own
//   /big-headers          a header block of over 6000 bytes with a Set-Cookie line
//   /drop                 Content-Length 100000, then 1000 bytes "x" and the connection closed
//   /large?bytes=N        N bytes, 'a' to 'z' over and over, streamed
//   /continue             a "100 Continue" block before the 200 response
//   /gzip                 "Content-Encoding: gzip" on bytes that are not gzip
//   /chunked              body "chunked" in chunked transfer coding
//   /lf                   status and header lines ended by LF alone
// Faults:
//   /reset/status-line    a reset (RST) before anything is sent
//   /reset/headers        part of the head, then a reset
//   /reset/body           the head and 1000 of 100000 body bytes, then a reset
//   /silent               nothing at all, until the client goes away
//   /stall                the head and 3 of 10 body bytes, then nothing
//   /trickle              the head and body a byte a second at the end: two
//                         bytes inside a header line, then the two of the body "cd"
//   /header-block?bytes=N a header block of exactly N bytes (status line and
//                         lines of at most 1000 bytes, the empty line included), body "body"
//   /header-line?bytes=N  one header line with a value of N bytes, body "body"
//   /empty                200 with an empty body
//   /garbage-status       a status line that is not HTTP's, then a head and "body"
// Control routes (not recorded):
//   /_requests?token=T    the requests recorded under T, each as
//                         "SCHEME LENGTH\n" + the raw bytes + "\n"
//   /_refused_port        refused_port() below, for tests in another process
// Anything else: 404.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <thread>

namespace lorvane::test {

// Both servers on 127.0.0.1, each on a port of the system's choosing, each
// answering in threads of its own until destroyed. The HTTPS server's
// certificate is self-signed, made at start for the host name
// "wrong-name.example". Throws std::runtime_error when a server cannot start.
class TestServers {
 public:
  TestServers();
  ~TestServers();
  TestServers(const TestServers&) = delete;
  TestServers& operator=(const TestServers&) = delete;

  int http_port() const;
  int https_port() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// tinyproxy from the system, listening on 127.0.0.1 only and admitting only
// 127.0.0.1, with no upstream proxy, CONNECT allowed to `connect_port`, its
// log in a temporary file. Stopped (and its files removed) when destroyed.
// Throws std::runtime_error when it cannot start.
class ForwardProxy {
 public:
  explicit ForwardProxy(int connect_port);
  ~ForwardProxy();
  ForwardProxy(const ForwardProxy&) = delete;
  ForwardProxy& operator=(const ForwardProxy&) = delete;

  int port() const { return port_; }
  std::string log() const;

 private:
  int port_ = 0;
  int pid_ = -1;
  std::string folder_;
};

// A port on 127.0.0.1 where connections are refused: a socket of this process
// holds it bound, without listening, until the process ends, so that no other
// server can take the port in the meantime. The same port at every call.
int refused_port();

// A port on 127.0.0.1 that listens and never accepts, with its queue taken
// by a connection of its own: a further connection's handshake gets no answer
// (the system drops it), so connecting to it hangs until the client gives up.
class UnansweredPort {
 public:
  UnansweredPort();
  ~UnansweredPort();
  UnansweredPort(const UnansweredPort&) = delete;
  UnansweredPort& operator=(const UnansweredPort&) = delete;

  int port() const { return port_; }

 private:
  int listener_ = -1;
  int filler_ = -1;
  int port_ = 0;
};

// A server on 127.0.0.1 at a port of the system's choosing that accepts every
// connection and closes it at once: a connection is made, but no response
// ever comes.
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

}  // namespace lorvane::test
