// The JSON reply reader of lorvane-push. Any body: a reply that is no JSON
// object (or beyond the size and depth limits) gives nothing at all; one
// that is gives the fields it holds. The verdict for any status is the one
// its rules give. A reply written from the input's values gives them back.
// Memory stays bounded however deep or large the body (scripts/fuzz.sh runs
// this target with the limits of tests/fuzz/options.txt).
//
// Input: two status bytes, then the body (also cut at zero bytes into the
// message and the listed lines of a written reply).
#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>

#include "cli/push_reply.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

using lorvane::PushReply;
using lorvane::ReplyVerdict;
using lorvane::fuzz::escaped;
using lorvane::fuzz::number;
using Json = nlohmann::json;

void check_verdict(int status, const PushReply& reply) {
  const ReplyVerdict verdict = lorvane::judge_reply(status, reply);
  ReplyVerdict expected = ReplyVerdict::refused;
  if (reply.has_success) {
    expected = ReplyVerdict::accepted;
  } else if (status == 0 || status == 429 || (status >= 500 && status <= 599)) {
    expected = ReplyVerdict::retry;
  } else if (status == 400 && reply.message == "over quota") {
    expected = ReplyVerdict::over_quota;
  }
  FUZZ_CHECK(verdict == expected, "the verdict follows the status and the reply",
             {"status", number(status)}, {"verdict", number(static_cast<int>(verdict))});
}

// Valid UTF-8 only, as nlohmann writes nothing else.
std::string as_utf8(std::string_view field) {
  std::string text;
  for (char c : field)
    text += static_cast<unsigned char>(c) < 0x80 ? std::string(1, c) : "\xE6\x96\x87";
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const lorvane::fuzz::Input input(data, size, 2, 1);
  const std::string_view body = input.field(0);
  const int status = input.option(0) * 4 + (input.option(1) & 3) - 1;  // -1 .. 1020

  const PushReply reply = lorvane::read_push_reply(body);
  if (!reply.json) {
    FUZZ_CHECK(!reply.has_success && !reply.remain && !reply.error && reply.message.empty() &&
                   reply.not_same_site.empty() && reply.not_valid.empty(),
               "a reply that is no JSON object gives nothing", {"body", escaped(body)});
  } else {
    const Json parsed = Json::parse(body, nullptr, false);
    FUZZ_CHECK(parsed.is_object(), "only a JSON object is read as one", {"body", escaped(body)});
    FUZZ_CHECK(reply.has_success == parsed.contains("success"),
               "success is there when the object holds it", {"body", escaped(body)});
    if (parsed.contains("success") && parsed["success"].is_number_integer()) {
      FUZZ_CHECK(reply.success == parsed["success"].get<long long>(),
                 "success is the number written", {"body", escaped(body)});
    }
  }
  check_verdict(status, reply);

  const std::string_view headers = body;
  const int read_status = lorvane::status_of_headers(headers);
  FUZZ_CHECK(read_status >= 0 && read_status <= 999, "a status has three digits",
             {"headers", escaped(headers)});
  if (const auto wait = lorvane::retry_after_seconds(headers, 1'700'000'000)) {
    FUZZ_CHECK(*wait >= 0, "a wait is never negative", {"headers", escaped(headers)});
  }

  // A reply written from the input: its values come back.
  const lorvane::fuzz::Input fields(data, size, 2, 4);
  Json written = {{"remain", static_cast<long long>(status) * 1000003},
                  {"success", static_cast<long long>(input.option(1))},
                  {"message", as_utf8(fields.field(0))},
                  {"not_same_site", Json::array({as_utf8(fields.field(1))})},
                  {"not_valid", Json::array({as_utf8(fields.field(2)), as_utf8(fields.field(3))})}};
  const std::string text = written.dump(input.option(1) & 4 ? 2 : -1);
  const PushReply back = lorvane::read_push_reply(text);
  FUZZ_CHECK(back.json && back.has_success && back.success == input.option(1) &&
                 back.remain == static_cast<long long>(status) * 1000003 &&
                 back.message == as_utf8(fields.field(0)) && back.not_same_site.size() == 1 &&
                 back.not_same_site[0] == as_utf8(fields.field(1)) && back.not_valid.size() == 2 &&
                 back.not_valid[1] == as_utf8(fields.field(3)),
             "a written reply gives back its values", {"reply", escaped(text)});
  return 0;
}
