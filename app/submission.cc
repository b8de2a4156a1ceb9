#include "app/submission.h"

#include <algorithm>
#include <cstdint>
#include <string>

#include "text/operations.h"
#include "web/web_request.h"

namespace lorvane {

namespace {

// "提交成功：", " 剩余额度：", "提交失败：", "无法连接接口"
constexpr char accepted_label[] = "\xCC\xE1\xBD\xBB\xB3\xC9\xB9\xA6\xA3\xBA";
constexpr char remaining_label[] = " \xCA\xA3\xD3\xE0\xB6\xEE\xB6\xC8\xA3\xBA";
constexpr char failed_label[] = "\xCC\xE1\xBD\xBB\xCA\xA7\xB0\xDC\xA3\xBA";
constexpr char cannot_connect[] = "\xCE\xDE\xB7\xA8\xC1\xAC\xBD\xD3\xBD\xD3\xBF\xDA";

constexpr char success_key[] = "success\":";
constexpr char remain_key[] = "remain\":";

// The status line is the first line of the raw header block.
Text status_line_of(const Text& received_headers) {
  const std::string_view block = received_headers.view();
  return Text(block.substr(0, block.find_first_of("\r\n")));
}

// A result line is one line: a reply that spans lines is shown with each line
// break byte as a space.
Text on_one_line(const Text& text) {
  std::string line(text.view());
  std::replace_if(
      line.begin(), line.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
  return Text(std::move(line));
}

}  // namespace

Text reply_field(const Text& reply, const Text& key) {
  const std::int32_t found = find_text(reply, key);
  if (found < 0) return {};
  const std::int32_t begin = found + text_len(key);
  const std::int32_t comma = find_text(reply, ",", begin);
  const std::int32_t brace = find_text(reply, "}", begin);
  if (comma < 0 && brace < 0) return {};
  std::int32_t end = comma;
  if (comma < 0 || (brace >= 0 && brace < comma)) {
    end = brace;
    // A closing brace often stands on its own line or after a space; that
    // white space belongs to the layout, not to the value.
    while (end > begin) {
      const char before = reply.view()[static_cast<std::size_t>(end - 2)];
      if (before != '\r' && before != '\n' && before != '\t' && before != ' ') break;
      --end;
    }
  }
  return text_mid(reply, begin, end - begin);
}

SubmitResult read_reply(const Text& received_headers, std::uint32_t oversized_headers,
                        const Bytes& body) {
  SubmitResult result{.outcome = SubmitOutcome::no_response,
                      .result_line = {},
                      .status_line = {},
                      .reply = bytes_to_text(body)};
  const bool block_read = received_headers.view().starts_with("HTTP/");
  if (!block_read && oversized_headers == 0 && body.empty()) {
    result.result_line = concat_text(failed_label, cannot_connect);
    return result;
  }
  if (block_read) result.status_line = status_line_of(received_headers);
  if (find_text(result.reply, success_key) < 0) {
    result.outcome = SubmitOutcome::refused;
    const Text& shown = result.reply.empty() ? result.status_line : result.reply;
    result.result_line = concat_text(failed_label, on_one_line(shown));
    return result;
  }
  result.outcome = SubmitOutcome::accepted;
  // A value runs to the next "," or "}", line breaks included.
  result.result_line =
      on_one_line(concat_text(accepted_label, reply_field(result.reply, success_key),
                              remaining_label, reply_field(result.reply, remain_key)));
  return result;
}

SubmitExchange post_url_list(const Text& address, const Text& url_list) {
  SubmitExchange exchange;
  exchange.body = web_request(address, 1, url_list, nullptr, nullptr, nullptr,
                              &exchange.received_headers, std::nullopt, nullptr, {}, std::nullopt,
                              std::nullopt, std::nullopt, &exchange.oversized_headers);
  return exchange;
}

SubmitResult submit_urls(const Text& address, const Text& url_list) {
  const SubmitExchange exchange = post_url_list(address, url_list);
  return read_reply(exchange.received_headers, exchange.oversized_headers, exchange.body);
}

}  // namespace lorvane
