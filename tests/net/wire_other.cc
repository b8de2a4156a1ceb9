// Requests of a platform whose own lines are not known byte for byte (the
// Windows Internet functions): the request line, the caller's lines in their
// order and side by side, the body, Host, User-Agent and Content-Length must
// be as expected; further lines are the platform's own and are allowed.
#include <algorithm>

#include "tests/net/servers.h"

namespace lorvane::net_test {
namespace {

std::vector<std::string> lines_of(const std::string& head) {
  std::vector<std::string> lines;
  std::size_t position = 0;
  while (position < head.size()) {
    const std::size_t end = head.find("\r\n", position);
    lines.push_back(head.substr(position, end - position));
    if (end == std::string::npos) break;
    position = end + 2;
  }
  return lines;
}

bool contains(const std::vector<std::string>& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

}  // namespace

testing::AssertionResult wire_matches(const RecordedRequest& request, const Expected& expected) {
  const auto failure = [&](const std::string& what) {
    return testing::AssertionFailure() << what << " in:\n" << testing::PrintToString(request.raw);
  };
  if (request.request_line() != expected.verb + " " + expected.target + " HTTP/1.1") {
    return failure("request line");
  }
  const std::vector<std::string> lines = lines_of(request.head());
  if (!contains(lines, "Host: " + expected.host)) return failure("Host line");
  if (!expected.agent.empty() && !contains(lines, "User-Agent: " + expected.agent)) {
    return failure("User-Agent line");
  }
  if (!expected.lines.empty() && std::search(lines.begin(), lines.end(), expected.lines.begin(),
                                             expected.lines.end()) == lines.end()) {
    return failure("the caller's lines");
  }
  const bool has_length =
      contains(lines, "Content-Length: " + std::to_string(expected.body.size()));
  if (expected.has_body != has_length) return failure("Content-Length line");
  if (request.body() != expected.body) return failure("body");
  return testing::AssertionSuccess();
}

}  // namespace lorvane::net_test
