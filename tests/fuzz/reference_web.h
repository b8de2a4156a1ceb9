// The header block, cookie collection and cookie merge written the plain way
// from their rules, on top of reference_text.h: the yardstick of the web
// fuzzers.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "tests/fuzz/reference_text.h"

namespace lorvane::fuzz::reference {

inline constexpr char default_agent[] = "Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)";

inline Bytes capitalize_first(const Bytes& s) {
  if (s.empty()) return s;
  Bytes copy = s;
  if (copy[0] >= 'a' && copy[0] <= 'z') copy[0] = static_cast<char>(copy[0] - 0x20);
  return copy;
}

// Every "-"-separated piece of a header name capitalised; every "-" stays.
inline Bytes capitalize_name(const Bytes& name) {
  Bytes result;
  std::size_t piece = 0;
  for (std::size_t pos = 0; pos < name.size(); pos += step(name, pos)) {
    if (name[pos] != '-') continue;
    result += capitalize_first(name.substr(piece, pos - piece)) + "-";
    piece = pos + 1;
  }
  return result + capitalize_first(name.substr(piece));
}

inline Bytes normalize_header_names(const Bytes& headers) {
  Bytes result;
  for (const Bytes& line : split_text(headers, Bytes("\r\n"), std::nullopt)) {
    const std::int32_t colon = find_text(line, ":", std::nullopt, false);
    if (colon == -1) continue;
    const auto name_length = static_cast<std::size_t>(colon - 1);
    result += capitalize_name(line.substr(0, name_length)) + line.substr(name_length) + "\r\n";
  }
  return result.empty() ? result : result.substr(0, result.size() - 2);
}

inline Bytes header_value(const Bytes& line) {
  const std::int32_t colon = find_text(line, ":", std::nullopt, false);
  if (colon == -1) return {};
  return trim_text(line.substr(static_cast<std::size_t>(colon)));
}

inline Bytes choose_user_agent(const Bytes& headers) {
  if (find_text(headers, "User-Agent:", std::nullopt, true) == -1) return default_agent;
  const Bytes agent =
      trim_text(extract_between(headers + "\r\n", "User-Agent:", "\r\n", std::nullopt, false));
  return agent.empty() ? header_value(headers) : agent;
}

inline Bytes add_default_headers(Bytes headers, const Bytes& url, std::int32_t method) {
  const auto names = [&headers](const char* sought) {
    return find_text(headers, sought, std::nullopt, true) != -1;
  };
  if (headers.empty()) headers = "Accept: */*";
  if (!names("Accept:")) headers += "\r\nAccept: */*";
  if (!names("Referer:")) headers += "\r\nReferer: " + url;
  if (!names("Accept-Language:")) headers += "\r\nAccept-Language: zh-cn";
  if (method == 1 && !names("Content-Type:")) {
    headers += "\r\nContent-Type: application/x-www-form-urlencoded";
  }
  return headers;
}

inline Bytes add_cookie_header(const Bytes& headers, const Bytes& cookies) {
  if (cookies.empty()) return headers;
  if (find_text(cookies, "Cookie:", std::nullopt, false) != -1) return headers + "\r\n" + cookies;
  return headers + "\r\nCookie: " + cookies;
}

inline Bytes cookie_name(const Bytes& cookie) {
  const std::int32_t equals = find_text(cookie, "=", std::nullopt, false);
  if (equals == -1) return trim_text(cookie);
  return trim_text(cookie.substr(0, static_cast<std::size_t>(equals - 1)));
}

// A linear scan of the names, as the rule has it.
inline bool has_cookie_name(const std::vector<Bytes>& cookies, const Bytes& name) {
  for (const Bytes& cookie : cookies) {
    if (cookie_name(cookie) == name) return true;
  }
  return false;
}

struct Merged {
  Bytes result;
  Bytes sent;      // the sent variable afterwards
  Bytes received;  // the received variable afterwards
};

inline Merged merge_cookies(const Bytes& sent_in, const Bytes& received_in) {
  const Bytes sent = remove_spaces(sent_in);
  const Bytes received = remove_spaces(received_in);
  const std::vector<Bytes> sent_list = split_text(sent, Bytes(";"), std::nullopt);
  std::vector<Bytes> list = split_text(received, Bytes(";"), std::nullopt);
  for (const Bytes& cookie : sent_list) {
    if (!has_cookie_name(list, cookie_name(cookie))) list.push_back(cookie);
  }
  Bytes merged;
  for (const Bytes& cookie : list) {
    const Bytes last_eight = cookie.size() > 8 ? cookie.substr(cookie.size() - 8) : cookie;
    if (last_eight == "=deleted") continue;
    merged += cookie + "; ";
  }
  if (merged.size() >= 2) merged.resize(merged.size() - 2);
  merged = join_unique(merged, "; ");
  return {merged, merged, received};
}

// The cookie text of a raw response header block: one entry per line named
// exactly "Set-Cookie" (before its first ": "), its value up to the first ";".
inline Bytes collect_cookies(const Bytes& raw_headers) {
  Bytes cookies;
  for (const Bytes& line : split_text(raw_headers, Bytes("\r\n"), std::nullopt)) {
    if (text_before(line, ": ", std::nullopt, false) != "Set-Cookie") continue;
    Bytes entry;
    if (find_text(line, ";", std::nullopt, false) != -1) {
      entry = trim_text(extract_between(line, "Set-Cookie:", ";", std::nullopt, false));
    } else {
      entry =
          trim_text(replace_text(line, "Set-Cookie:", "", std::nullopt, std::nullopt, false).text);
    }
    cookies += entry + "; ";
  }
  if (cookies.size() >= 2) cookies.resize(cookies.size() - 2);
  return cookies;
}

}  // namespace lorvane::fuzz::reference
