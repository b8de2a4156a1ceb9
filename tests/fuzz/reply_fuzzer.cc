// Reading a reply: whatever the raw header block and the body, the outcome
// is one of the three, the result line is one line and begins with the
// outcome's label, and the values are cut out as the reply rules say.
//
// Input: switches, then raw header block \0 body (the body may hold zero
// bytes). switches: 0, or the platform reported a block too large to read
// (of 5000 bytes and more, by the value).
#include <cstdint>
#include <string>

#include "app/submission.h"
#include "tests/fuzz/fuzz_support.h"
#include "tests/fuzz/reference_text.h"
#include "text/text.h"

namespace {

using lorvane::Bytes;
using lorvane::SubmitOutcome;
using lorvane::Text;
using lorvane::fuzz::escaped;
using lorvane::fuzz::number;
namespace ref = lorvane::fuzz::reference;

// "提交成功：", " 剩余额度：", "提交失败：", "无法连接接口"
const std::string accepted_label = "\xCC\xE1\xBD\xBB\xB3\xC9\xB9\xA6\xA3\xBA";
const std::string remaining_label = " \xCA\xA3\xD3\xE0\xB6\xEE\xB6\xC8\xA3\xBA";
const std::string failed_label = "\xCC\xE1\xBD\xBB\xCA\xA7\xB0\xDC\xA3\xBA";
const std::string cannot_connect = "\xCE\xDE\xB7\xA8\xC1\xAC\xBD\xD3\xBD\xD3\xBF\xDA";

// The bytes after the first `key` up to the first "," or "}" behind it, white
// space in front of a closing "}" left out; empty without key or end.
std::string field(const std::string& reply, const std::string& key) {
  const std::int32_t found = ref::find_text(reply, key, std::nullopt, false);
  if (found < 0) return {};
  const std::int32_t begin = found + static_cast<std::int32_t>(key.size());
  const std::int32_t comma = ref::find_text(reply, ",", begin, false);
  const std::int32_t brace = ref::find_text(reply, "}", begin, false);
  if (comma < 0 && brace < 0) return {};
  std::int32_t end = comma;
  if (comma < 0 || (brace >= 0 && brace < comma)) {
    end = brace;
    while (end > begin &&
           std::string_view(" \t\r\n").find(reply[end - 2]) != std::string_view::npos)
      --end;
  }
  return reply.substr(begin - 1, end - begin);
}

std::string one_line(std::string text) {
  for (char& byte : text) {
    if (byte == '\r' || byte == '\n') byte = ' ';
  }
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const lorvane::fuzz::Input input(data, size, 1, 2);
  const std::string headers = input.text(0);
  const Bytes body{std::string(input.field(1))};
  const std::uint32_t oversized = input.option(0) == 0 ? 0 : 4999 + input.option(0) * 997u;
  const lorvane::SubmitResult result = lorvane::read_reply(Text(headers), oversized, body);
  const std::string line(result.result_line.view());
  const std::string reply(result.reply.view());

  FUZZ_CHECK(
      result.outcome == SubmitOutcome::accepted || result.outcome == SubmitOutcome::refused ||
          result.outcome == SubmitOutcome::no_response,
      "the outcome is one of the three", {"outcome", number(static_cast<int>(result.outcome))});
  FUZZ_CHECK(line.find_first_of("\r\n") == std::string::npos, "the result line is one line",
             {"headers", escaped(headers)}, {"body", escaped(body.view())},
             {"line", escaped(line)});
  FUZZ_CHECK(reply == std::string(lorvane::bytes_to_text(body).view()),
             "the reply is the body as text", {"body", escaped(body.view())},
             {"reply", escaped(reply)});
  FUZZ_CHECK(result.status_line.view().find_first_of("\r\n") == std::string_view::npos,
             "the status line is one line", {"status", escaped(result.status_line.view())});

  const std::string success = "success\":";
  switch (result.outcome) {
    case SubmitOutcome::accepted:
      FUZZ_CHECK(ref::find_text(reply, success, std::nullopt, false) != -1,
                 "an accepted reply holds the key", {"reply", escaped(reply)});
      FUZZ_CHECK(line == one_line(accepted_label + field(reply, success) + remaining_label +
                                  field(reply, "remain\":")),
                 "an accepted reply shows its two values", {"reply", escaped(reply)},
                 {"line", escaped(line)});
      break;
    case SubmitOutcome::refused: {
      FUZZ_CHECK(ref::find_text(reply, success, std::nullopt, false) == -1,
                 "a refused reply lacks the key", {"reply", escaped(reply)});
      const std::string shown = reply.empty() ? std::string(result.status_line.view()) : reply;
      FUZZ_CHECK(line == failed_label + one_line(shown),
                 "a refusal shows the reply or the status line", {"headers", escaped(headers)},
                 {"reply", escaped(reply)}, {"line", escaped(line)});
      break;
    }
    case SubmitOutcome::no_response:
      FUZZ_CHECK(line == failed_label + cannot_connect, "no response shows that nothing came",
                 {"line", escaped(line)});
      FUZZ_CHECK(body.empty() && oversized == 0 && !headers.starts_with("HTTP/"),
                 "a response that came (a block, a block too large, or body bytes) is never taken "
                 "for none",
                 {"headers", escaped(headers)}, {"body", escaped(body.view())},
                 {"oversized", number(oversized)});
      break;
  }

  // reply_field on its own, with the text fields as keys.
  const std::string key = input.text(0);
  FUZZ_CHECK(lorvane::reply_field(Text(reply), Text(key)).view() == field(reply, key),
             "reply_field cuts up to the first \",\" or \"}\"", {"reply", escaped(reply)},
             {"key", escaped(key)},
             {"value", escaped(lorvane::reply_field(Text(reply), Text(key)).view())},
             {"expected", escaped(field(reply, key))});
  return 0;
}
