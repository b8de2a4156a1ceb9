// The curl backend's requests, byte for byte: the request line, Host,
// User-Agent, the caller's lines as given, Content-Length when there is a
// body, the empty line, the body. Nothing else.
#include "tests/net/servers.h"

namespace lorvane::net_test {

testing::AssertionResult wire_matches(const RecordedRequest& request, const Expected& expected) {
  std::string wire = expected.verb + " " + expected.target + " HTTP/1.1\r\n";
  wire += "Host: " + expected.host + "\r\n";
  if (!expected.agent.empty()) wire += "User-Agent: " + expected.agent + "\r\n";
  for (const auto& line : expected.lines) wire += line + "\r\n";
  if (expected.has_body) wire += "Content-Length: " + std::to_string(expected.body.size()) + "\r\n";
  wire += "\r\n" + expected.body;
  if (request.raw == wire) return testing::AssertionSuccess();
  return testing::AssertionFailure() << "arrived:\n"
                                     << testing::PrintToString(request.raw) << "\nexpected:\n"
                                     << testing::PrintToString(wire);
}

}  // namespace lorvane::net_test
