// The rules of the demo submission interface, apart from its HTTP server:
// whatever the site, token and body, the answer is one of the documented
// statuses with a JSON body of printable ASCII; an accepted answer accounts
// for every non-empty line (accepted, not of the site, or not valid); and
// the quota is never overdrawn across requests.
//
// Input: switches, then site \0 token \0 body.
//   switches bit 0: site given   bit 1: token given   bit 2: the demo token
//            bit 3: a new day (the quota starts afresh)
#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "demo/submission_interface.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

using lorvane::fuzz::escaped;
using lorvane::fuzz::number;
namespace demo = lorvane::demo;

constexpr std::int64_t quota = 50;

std::size_t non_empty_lines(std::string_view body) {
  std::size_t count = 0;
  std::size_t start = 0;
  while (start <= body.size()) {
    std::size_t end = body.find('\n', start);
    if (end == std::string_view::npos) end = body.size();
    std::string_view line = body.substr(start, end - start);
    if (line.ends_with('\r')) line.remove_suffix(1);
    if (!line.empty()) ++count;
    start = end + 1;
  }
  return count;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // One interface for the whole run, as one demo serves many requests.
  static demo::SubmissionInterface submissions(quota);
  static std::int64_t day = 0;
  static std::int64_t used_today = 0;

  const lorvane::fuzz::Input input(data, size, 1, 3);
  const std::optional<std::string> site =
      input.flag(0, 0) ? std::optional<std::string>(input.field(0)) : std::nullopt;
  std::optional<std::string> token =
      input.flag(0, 1) ? std::optional<std::string>(input.field(1)) : std::nullopt;
  if (input.flag(0, 2)) token = std::string(demo::demo_token);
  const std::string_view body = input.field(2);
  if (input.flag(0, 3)) {
    ++day;
    used_today = 0;
  }

  const demo::Answer answer = submissions.submit(site, token, body, day);
  FUZZ_CHECK(answer.status == 200 || answer.status == 400 || answer.status == 401,
             "the status is 200, 400 or 401", {"status", number(answer.status)});
  for (char byte : answer.body) {
    FUZZ_CHECK(byte >= 0x20 && byte < 0x7F, "the answer is printable ASCII",
               {"body", escaped(answer.body)});
  }
  const nlohmann::json reply = nlohmann::json::parse(answer.body, nullptr, false);
  FUZZ_CHECK(reply.is_object(), "the answer is a JSON object", {"body", escaped(answer.body)});
  if (answer.status != 200) {
    FUZZ_CHECK(
        reply.contains("error") && reply["error"] == answer.status && reply["message"].is_string(),
        "a refusal names its status and a message", {"body", escaped(answer.body)});
    return 0;
  }

  FUZZ_CHECK(token == std::string(demo::demo_token) && site && !site->empty(),
             "only the demo token with a site is served", {"body", escaped(answer.body)});
  const std::int64_t accepted = reply.value("success", std::int64_t{-1});
  const std::int64_t remain = reply.value("remain", std::int64_t{-1});
  std::size_t turned_away = 0;
  for (const char* list : {"not_same_site", "not_valid"}) {
    if (reply.contains(list)) turned_away += reply[list].size();
  }
  FUZZ_CHECK(
      accepted >= 0 && static_cast<std::size_t>(accepted) + turned_away == non_empty_lines(body),
      "every non-empty line is accepted or turned away", {"body", escaped(body)},
      {"answer", escaped(answer.body)});
  used_today += accepted;
  FUZZ_CHECK(used_today <= quota && remain == quota - used_today, "the quota is never overdrawn",
             {"used", number(used_today)}, {"remain", number(remain)});
  return 0;
}
