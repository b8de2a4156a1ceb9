// The servers of a native test run: those named by LORVANE_TEST_SERVERS when
// it is set, else our own, started inside the test process at first use and
// stopped when it exits.
#include <openssl/ssl.h>

#include <cstdlib>
#include <memory>
#include <mutex>
#include <stdexcept>

#include "tests/net/servers.h"
#include "tests/support/test_servers.h"

namespace lorvane::net_test {
namespace {

struct Running {
  std::mutex mutex;
  std::unique_ptr<test::TestServers> servers;
  std::unique_ptr<test::ForwardProxy> proxy;
};

Running& running() {
  // OpenSSL frees its state at exit in a handler of its own, registered when
  // it is first set up. Set up before the holder, it runs after the holder's
  // destructor has joined the server threads; set up later (by the first
  // server), it ran first and stranded the TLS state of the threads still
  // running, which LeakSanitizer reported.
  [[maybe_unused]] static const bool tls_ready = OPENSSL_init_ssl(0, nullptr) == 1;
  static Running instance;
  return instance;
}

const char* given_spec() { return std::getenv("LORVANE_TEST_SERVERS"); }

}  // namespace

const Servers& servers() {
  static const Servers ports = [] {
    if (const char* spec = given_spec()) {
      const PortSpec given = parse_port_spec(spec);
      return Servers{given.http, given.https};
    }
    Running& ours = running();
    std::lock_guard lock(ours.mutex);
    ours.servers = std::make_unique<test::TestServers>();
    return Servers{ours.servers->http_port(), ours.servers->https_port()};
  }();
  return ports;
}

int proxy_port() {
  static const int port = [] {
    if (const char* spec = given_spec()) return parse_port_spec(spec).proxy;
    const int https_port = servers().https_port;
    Running& ours = running();
    std::lock_guard lock(ours.mutex);
    ours.proxy = std::make_unique<test::ForwardProxy>(https_port);
    return ours.proxy->port();
  }();
  return port;
}

}  // namespace lorvane::net_test
