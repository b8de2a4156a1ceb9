#include "web/headers.h"

#include "text/text.h"

namespace lorvane {
namespace {

// The header name with every "-"-separated piece capitalised. Every "-" is
// kept, a trailing one included, so the pieces are cut here rather than with
// split_text, which would drop an empty last piece.
Text capitalize_name(const Text& name) {
  if (find_text(name, "-") == -1) return capitalize_first(name);
  Text result;
  std::int32_t piece_start = 1;
  while (true) {
    const std::int32_t dash = find_text(name, "-", piece_start);
    if (dash == -1) break;
    result =
        concat_text(result, capitalize_first(text_mid(name, piece_start, dash - piece_start)), "-");
    piece_start = dash + 1;
  }
  return concat_text(result, capitalize_first(text_mid(name, piece_start, text_len(name))));
}

}  // namespace

Text capitalize_first(const Text& text) {
  return concat_text(to_upper(text_left(text, 1)), text_mid(text, 2, text_len(text)));
}

Text normalize_header_names(const Text& headers) {
  Text result;
  const TextList lines = split_text(headers, Text("\r\n"));
  for (const Text& line : lines.members()) {
    const std::int32_t colon = find_text(line, ":");
    if (colon == -1) continue;
    const Text name = text_mid(line, 1, colon - 1);
    result =
        concat_text(result, capitalize_name(name), text_mid(line, colon, text_len(line)), "\r\n");
  }
  return text_left(result, text_len(result) - 2);
}

Text header_value(const Text& line) {
  const std::int32_t colon = find_text(line, ":");
  if (colon == -1) return Text();
  return trim_text(text_right(line, text_len(line) - colon));
}

Text choose_user_agent(const Text& headers) {
  if (find_text(headers, "User-Agent:", std::nullopt, /*ignore_case=*/true) == -1) {
    return default_user_agent;
  }
  const Text agent =
      trim_text(extract_between(concat_text(headers, "\r\n"), "User-Agent:", "\r\n"));
  return agent.empty() ? header_value(headers) : agent;
}

void add_default_headers(Text& headers, const Text& url, std::int32_t method) {
  const auto names = [&headers](const char* sought) {
    return find_text(headers, sought, std::nullopt, /*ignore_case=*/true) != -1;
  };
  // Without a line break in front: row one then finds its own line.
  if (headers.empty()) headers = "Accept: */*";
  if (!names("Accept:")) headers = concat_text(headers, "\r\nAccept: */*");
  if (!names("Referer:")) headers = concat_text(headers, "\r\nReferer: ", url);
  if (!names("Accept-Language:")) headers = concat_text(headers, "\r\nAccept-Language: zh-cn");
  if (method == 1 && !names("Content-Type:")) {
    headers = concat_text(headers, "\r\nContent-Type: application/x-www-form-urlencoded");
  }
}

void add_cookie_header(Text& headers, const Text& send_cookies) {
  if (send_cookies.empty()) return;
  if (find_text(send_cookies, "Cookie:") != -1) {
    headers = concat_text(headers, "\r\n", send_cookies);
  } else {
    headers = concat_text(headers, "\r\nCookie: ", send_cookies);
  }
}

}  // namespace lorvane
