#include "cli/push_reply.h"

#include <array>
#include <cctype>
#include <cstring>
#include <ctime>
#include <nlohmann/json.hpp>

namespace lorvane {
namespace {

using Json = nlohmann::json;

// The deepest nesting of arrays and objects, counted without parsing, so that
// a hostile reply cannot make the parser build a deep tree.
int nesting_depth(std::string_view body) {
  int depth = 0;
  int deepest = 0;
  bool in_string = false;
  for (std::size_t i = 0; i < body.size(); ++i) {
    const char c = body[i];
    if (in_string) {
      if (c == '\\') {
        ++i;
      } else if (c == '"') {
        in_string = false;
      }
    } else if (c == '"') {
      in_string = true;
    } else if (c == '[' || c == '{') {
      deepest = std::max(deepest, ++depth);
    } else if (c == ']' || c == '}') {
      --depth;
    }
  }
  return deepest;
}

std::optional<long long> whole_number(const Json& value) {
  if (value.is_number_integer()) return value.get<long long>();
  if (value.is_number_float()) {
    const double number = value.get<double>();
    if (number >= -9e18 && number <= 9e18) return static_cast<long long>(number);
    return std::nullopt;
  }
  if (value.is_string()) {
    const std::string& text = value.get_ref<const std::string&>();
    if (text.empty() || text.size() > 18) return std::nullopt;
    long long number = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
      if (i == 0 && text[i] == '-' && text.size() > 1) continue;
      if (text[i] < '0' || text[i] > '9') return std::nullopt;
      number = number * 10 + (text[i] - '0');
    }
    return text[0] == '-' ? -number : number;
  }
  return std::nullopt;
}

std::vector<std::string> string_list(const Json& object, const char* key) {
  std::vector<std::string> list;
  const auto found = object.find(key);
  if (found == object.end() || !found->is_array()) return list;
  for (const Json& item : *found) {
    if (item.is_string()) list.push_back(item.get<std::string>());
  }
  return list;
}

bool starts_with_ignoring_case(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(text[i])) !=
        std::tolower(static_cast<unsigned char>(prefix[i]))) {
      return false;
    }
  }
  return true;
}

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

// An HTTP date in its preferred form, "Sun, 06 Nov 1994 08:49:37 GMT".
std::optional<long long> http_date(std::string_view text) {
  static constexpr std::array<const char*, 12> months = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  const std::string copy(text);
  int day = 0;
  int year = 0;
  int hour = 0;
  int minute = 0;
  int second = 0;
  char month_name[4] = {};
  char zone[4] = {};
  if (std::sscanf(copy.c_str(), "%*3s, %2d %3s %4d %2d:%2d:%2d %3s", &day, month_name, &year, &hour,
                  &minute, &second, zone) != 7 ||
      std::strcmp(zone, "GMT") != 0) {
    return std::nullopt;
  }
  int month = -1;
  for (std::size_t i = 0; i < months.size(); ++i) {
    if (std::strcmp(months[i], month_name) == 0) month = static_cast<int>(i);
  }
  if (month < 0 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60) {
    return std::nullopt;
  }
  std::tm broken{};
  broken.tm_year = year - 1900;
  broken.tm_mon = month;
  broken.tm_mday = day;
  broken.tm_hour = hour;
  broken.tm_min = minute;
  broken.tm_sec = second;
  return static_cast<long long>(timegm(&broken));
}

}  // namespace

PushReply read_push_reply(std::string_view body) {
  PushReply reply;
  if (body.size() > most_reply_bytes || nesting_depth(body) > most_reply_depth) return reply;
  const Json parsed = Json::parse(body.begin(), body.end(), nullptr, /*allow_exceptions=*/false);
  if (!parsed.is_object()) return reply;
  reply.json = true;
  if (const auto found = parsed.find("success"); found != parsed.end()) {
    reply.has_success = true;
    reply.success = whole_number(*found).value_or(0);
  }
  if (const auto found = parsed.find("remain"); found != parsed.end()) {
    reply.remain = whole_number(*found);
  }
  reply.not_same_site = string_list(parsed, "not_same_site");
  reply.not_valid = string_list(parsed, "not_valid");
  if (const auto found = parsed.find("error"); found != parsed.end()) {
    reply.error = whole_number(*found);
  }
  if (const auto found = parsed.find("message"); found != parsed.end() && found->is_string()) {
    reply.message = found->get<std::string>();
  }
  return reply;
}

ReplyVerdict judge_reply(int status, const PushReply& reply) {
  if (reply.has_success) return ReplyVerdict::accepted;
  if (status == 0 || status == 429 || (status >= 500 && status <= 599)) return ReplyVerdict::retry;
  if (status == 400 && reply.message == "over quota") return ReplyVerdict::over_quota;
  return ReplyVerdict::refused;
}

int status_of_headers(std::string_view raw_headers) {
  if (!raw_headers.starts_with("HTTP/")) return 0;
  const auto space = raw_headers.find(' ');
  if (space == std::string_view::npos || space + 4 > raw_headers.size()) return 0;
  int status = 0;
  for (std::size_t i = space + 1; i < space + 4; ++i) {
    if (!std::isdigit(static_cast<unsigned char>(raw_headers[i]))) return 0;
    status = status * 10 + (raw_headers[i] - '0');
  }
  return status;
}

std::optional<long long> retry_after_seconds(std::string_view raw_headers, long long now) {
  for (std::size_t start = 0; start < raw_headers.size();) {
    std::size_t end = raw_headers.find("\r\n", start);
    if (end == std::string_view::npos) end = raw_headers.size();
    const std::string_view line = raw_headers.substr(start, end - start);
    start = end + 2;
    if (!starts_with_ignoring_case(line, "Retry-After:")) continue;
    const std::string_view value = trimmed(line.substr(12));
    if (value.empty()) return std::nullopt;
    if (value.size() <= 12 && value.find_first_not_of("0123456789") == std::string_view::npos) {
      long long seconds = 0;
      for (const char digit : value) seconds = seconds * 10 + (digit - '0');
      return seconds;
    }
    const std::optional<long long> date = http_date(value);
    if (!date) return std::nullopt;
    return *date > now ? *date - now : 0;
  }
  return std::nullopt;
}

}  // namespace lorvane
