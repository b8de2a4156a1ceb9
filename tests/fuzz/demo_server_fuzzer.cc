// The demo interface fed raw bytes as one connection's worth of requests,
// through the server's own request handling (routes, refusals, keep-alive,
// the request log) without a network. Whatever the bytes, the demo answers
// or closes: what it writes back is a series of whole HTTP/1.1 responses,
// one logged line per response, no line of the log holds a control byte,
// and a JSON answer is valid JSON. A well-formed POST of the bytes as the
// URL list gets exactly one answer, 200 or 400, with a JSON object.
//
// Input: the bytes of the connection.
#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <vector>

#include "demo/demo_server.h"
#include "demo/submission_interface.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

using lorvane::fuzz::escaped;
using lorvane::fuzz::number;

std::vector<std::string>& log_lines() {
  static std::vector<std::string> lines;
  return lines;
}

lorvane::demo::DemoServer& server() {
  static lorvane::demo::SubmissionInterface submissions(1'000'000'000);
  static lorvane::demo::DemoServer demo(
      submissions, "http", [](const std::string& line) { log_lines().push_back(line); });
  return demo;
}

struct Response {
  int status = 0;
  std::string head;
  std::string body;
  bool body_left_out = false;  // an answer to HEAD
};

// The responses in `bytes`, each with a Content-Length; false when the bytes
// are not such a series.
bool read_responses(std::string_view bytes, std::vector<Response>& responses) {
  while (!bytes.empty()) {
    if (!bytes.starts_with("HTTP/1.1 ") || bytes.size() < 13) return false;
    Response response;
    for (std::size_t i = 9; i < 12; ++i) {
      if (bytes[i] < '0' || bytes[i] > '9') return false;
      response.status = response.status * 10 + (bytes[i] - '0');
    }
    const std::size_t end = bytes.find("\r\n\r\n");
    if (end == std::string_view::npos) return false;
    response.head = std::string(bytes.substr(0, end + 2));
    bytes.remove_prefix(end + 4);
    std::size_t length = 0;
    const std::size_t field = response.head.find("\r\nContent-Length: ");
    if (field != std::string::npos) length = std::stoul(response.head.substr(field + 18));
    // The answer to a HEAD request names the length of a body it leaves out.
    if (length > 0 && (bytes.empty() || bytes.starts_with("HTTP/1.1 "))) {
      length = 0;
      response.body_left_out = true;
    }
    if (length > bytes.size()) return false;
    response.body = std::string(bytes.substr(0, length));
    bytes.remove_prefix(length);
    responses.push_back(std::move(response));
  }
  return true;
}

std::vector<Response> checked_answer(std::string_view request) {
  log_lines().clear();
  const std::string answer = server().answer_connection(request);
  std::vector<Response> responses;
  FUZZ_CHECK(read_responses(answer, responses), "the demo writes whole HTTP/1.1 responses",
             {"request", escaped(request)}, {"answer", escaped(answer)});
  FUZZ_CHECK(log_lines().size() == responses.size(), "one line of the log per response",
             {"request", escaped(request)},
             {"responses", number(static_cast<long long>(responses.size()))},
             {"lines", number(static_cast<long long>(log_lines().size()))});
  for (const std::string& line : log_lines()) {
    for (char byte : line) {
      const auto value = static_cast<unsigned char>(byte);
      FUZZ_CHECK(value >= 0x20 && value != 0x7F, "the log holds no control byte",
                 {"request", escaped(request)}, {"line", escaped(line)});
    }
  }
  for (const Response& response : responses) {
    FUZZ_CHECK(response.status >= 100 && response.status <= 599, "a status is between 100 and 599",
               {"head", escaped(response.head)});
    if (!response.body_left_out &&
        response.head.find("Content-Type: application/json") != std::string::npos) {
      FUZZ_CHECK(nlohmann::json::accept(response.body), "a JSON answer is valid JSON",
                 {"request", escaped(request)}, {"body", escaped(response.body)});
    }
  }
  return responses;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  checked_answer(bytes);

  const std::string post =
      "POST /urls?site=www.example.com&token=lorvane-demo HTTP/1.1\r\nHost: 127.0.0.1\r\n"
      "Content-Type: application/x-www-form-urlencoded\r\nConnection: close\r\n"
      "Content-Length: " +
      std::to_string(size) + "\r\n\r\n" + std::string(bytes);
  const std::vector<Response> responses = checked_answer(post);
  FUZZ_CHECK(responses.size() == 1 && (responses[0].status == 200 || responses[0].status == 400) &&
                 nlohmann::json::parse(responses[0].body, nullptr, false).is_object(),
             "a well-formed POST gets one JSON answer, 200 or 400", {"body", escaped(bytes)},
             {"responses", number(static_cast<long long>(responses.size()))});
  return 0;
}
