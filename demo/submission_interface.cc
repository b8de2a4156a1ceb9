#include "demo/submission_interface.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <vector>

namespace lorvane::demo {
namespace {

char lower(char byte) { return byte >= 'A' && byte <= 'Z' ? static_cast<char>(byte + 32) : byte; }

bool same_host(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                            [](char x, char y) { return lower(x) == lower(y); });
}

bool starts_with_ignoring_case(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && same_host(text.substr(0, prefix.size()), prefix);
}

bool host_byte(char byte) {
  return (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
         (byte >= '0' && byte <= '9') || byte == '-' || byte == '.';
}

// The host of an http or https URL, or none when the line is no such URL:
// a scheme, a host of letters, digits, "-" and ".", an optional port of 1 to
// 5 digits, then nothing or a path, query or fragment; no spaces or control
// characters anywhere.
std::optional<std::string_view> url_host(std::string_view line) {
  if (std::any_of(line.begin(), line.end(), [](char byte) {
        auto value = static_cast<unsigned char>(byte);
        return value <= 0x20 || value == 0x7F;
      })) {
    return std::nullopt;
  }
  std::string_view rest;
  if (starts_with_ignoring_case(line, "http://")) {
    rest = line.substr(7);
  } else if (starts_with_ignoring_case(line, "https://")) {
    rest = line.substr(8);
  } else {
    return std::nullopt;
  }
  std::string_view authority = rest.substr(0, rest.find_first_of("/?#"));
  std::string_view host = authority.substr(0, authority.find(':'));
  if (host.empty() || !std::all_of(host.begin(), host.end(), host_byte)) return std::nullopt;
  if (host.size() < authority.size()) {
    std::string_view port = authority.substr(host.size() + 1);
    if (port.empty() || port.size() > 5 ||
        !std::all_of(port.begin(), port.end(),
                     [](char byte) { return byte >= '0' && byte <= '9'; }) ||
        std::stoi(std::string(port)) > 65535) {
      return std::nullopt;
    }
  }
  return host;
}

// The non-empty lines of a body; a CR in front of an LF belongs to the break.
std::vector<std::string_view> body_lines(std::string_view body) {
  std::vector<std::string_view> lines;
  std::size_t start = 0;
  while (start <= body.size()) {
    std::size_t end = body.find('\n', start);
    if (end == std::string_view::npos) end = body.size();
    std::string_view line = body.substr(start, end - start);
    if (line.ends_with('\r')) line.remove_suffix(1);
    if (!line.empty()) lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

std::string json_list(const std::vector<std::string_view>& lines) {
  std::string list = "[";
  for (std::string_view line : lines) {
    if (list.size() > 1) list += ',';
    list += json_string(line);
  }
  return list + "]";
}

void append_unit(std::string& out, unsigned unit) {
  char escape[8];
  std::snprintf(escape, sizeof escape, "\\u%04X", unit & 0xFFFF);
  out += escape;
}

}  // namespace

Answer SubmissionInterface::submit(const std::optional<std::string>& site,
                                   const std::optional<std::string>& token, std::string_view body,
                                   std::int64_t day) {
  if (!token || *token != demo_token) return refusal(401, "token is not valid");
  if (!site || site->empty()) return refusal(400, "site error");
  std::vector<std::string_view> lines = body_lines(body);
  if (lines.empty()) return refusal(400, "empty content");
  if (lines.size() > most_lines_per_request) {
    return refusal(400,
                   "only " + std::to_string(most_lines_per_request) + " urls are allowed once");
  }

  std::int64_t accepted = 0;
  std::vector<std::string_view> not_same_site;
  std::vector<std::string_view> not_valid;
  for (std::string_view line : lines) {
    std::optional<std::string_view> host = url_host(line);
    if (!host) {
      not_valid.push_back(line);
    } else if (!same_host(*host, *site)) {
      not_same_site.push_back(line);
    } else {
      ++accepted;
    }
  }

  std::int64_t remain = 0;
  {
    std::lock_guard lock(mutex_);
    if (day != day_) {
      day_ = day;
      used_today_ = 0;
    }
    remain = daily_quota_ - used_today_;
    if (remain <= 0 || accepted > remain) return refusal(400, "over quota");
    used_today_ += accepted;
    remain -= accepted;
  }

  std::string reply =
      "{\"remain\":" + std::to_string(remain) + ",\"success\":" + std::to_string(accepted);
  if (!not_same_site.empty()) reply += ",\"not_same_site\":" + json_list(not_same_site);
  if (!not_valid.empty()) reply += ",\"not_valid\":" + json_list(not_valid);
  return {200, reply + "}"};
}

Answer refusal(int status, std::string_view message) {
  return {status,
          "{\"error\":" + std::to_string(status) + ",\"message\":" + json_string(message) + "}"};
}

Answer not_found() { return refusal(404, "not found"); }

std::string json_string(std::string_view cp936) {
  std::string out = "\"";
  // Most strings (the URLs of a list) are printable ASCII: no converter for them.
  bool ascii = std::all_of(cp936.begin(), cp936.end(), [](char byte) {
    auto value = static_cast<unsigned char>(byte);
    return value >= 0x20 && value < 0x7F;
  });
  iconv_t converter = ascii ? reinterpret_cast<iconv_t>(-1) : iconv_open("UTF-16BE", "CP936");
  bool can_convert = converter != reinterpret_cast<iconv_t>(-1);
  for (std::size_t at = 0; at < cp936.size();) {
    auto byte = static_cast<unsigned char>(cp936[at]);
    if (byte >= 0x20 && byte < 0x7F) {
      if (byte == '"' || byte == '\\') out += '\\';
      out += static_cast<char>(byte);
      ++at;
      continue;
    }
    // One character at a time: an ASCII control byte, the single byte 0x80,
    // or a two-byte character.
    std::size_t step =
        byte >= 0x81 && byte <= 0xFE ? std::min<std::size_t>(2, cp936.size() - at) : 1;
    // iconv's signature is not const-correct; it never writes through `in`.
    char* in = const_cast<char*>(cp936.data() + at);
    std::size_t in_left = step;
    char units[8];
    char* out_units = units;
    std::size_t out_left = sizeof units;
    bool converted =
        can_convert &&
        iconv(converter, &in, &in_left, &out_units, &out_left) != static_cast<std::size_t>(-1) &&
        in_left == 0 && out_left <= sizeof units - 2;
    if (!converted) {
      // No character of the code page: one byte shown as U+FFFD.
      if (can_convert) iconv(converter, nullptr, nullptr, nullptr, nullptr);
      append_unit(out, 0xFFFD);
      ++at;
      continue;
    }
    for (std::size_t i = 0; i + 1 < sizeof units - out_left; i += 2) {
      append_unit(out, (static_cast<unsigned>(static_cast<unsigned char>(units[i])) << 8) |
                           static_cast<unsigned char>(units[i + 1]));
    }
    at += step;
  }
  if (can_convert) iconv_close(converter);
  return out + "\"";
}

}  // namespace lorvane::demo
