// The servers of a run in another process than theirs (the Windows tests
// under Wine): the ports come from LORVANE_TEST_SERVERS, which the wrapper
// that started lorvane-test-server and tinyproxy sets.
#include <cstdlib>
#include <stdexcept>

#include "tests/net/servers.h"

namespace lorvane::net_test {
namespace {

PortSpec given_ports() {
  const char* spec = std::getenv("LORVANE_TEST_SERVERS");
  if (spec == nullptr) {
    throw std::runtime_error("LORVANE_TEST_SERVERS (\"http=P https=P proxy=P\") is not set");
  }
  return parse_port_spec(spec);
}

}  // namespace

const Servers& servers() {
  static const Servers ports = [] {
    const PortSpec given = given_ports();
    return Servers{given.http, given.https};
  }();
  return ports;
}

int proxy_port() {
  static const int port = given_ports().proxy;
  return port;
}

}  // namespace lorvane::net_test
