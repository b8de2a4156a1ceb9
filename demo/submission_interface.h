// The rules of the demo submission interface, apart from the HTTP server that
// carries them: what a POST of a URL list gets back.
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace lorvane::demo {

// The one token the demo accepts.
inline constexpr std::string_view demo_token = "lorvane-demo";
inline constexpr int default_port = 8470;
inline constexpr std::int64_t default_daily_quota = 100000;
// More lines than this in one request are refused as a whole.
inline constexpr std::size_t most_lines_per_request = 2000;

struct Answer {
  int status;        // HTTP status
  std::string body;  // JSON, ASCII only
};

// A submission interface with a daily quota kept in memory. Safe to call
// from several server threads at once.
class SubmissionInterface {
 public:
  explicit SubmissionInterface(std::int64_t daily_quota) : daily_quota_(daily_quota) {}

  // Answers one POST. `site` and `token` are the query parameters (none when
  // absent); `body` holds the URLs, one a line, ended by LF or CR LF, in code
  // page 936. `day` numbers the day: the quota starts afresh on a new one.
  //
  // Refusals, in this order: 401 token not the demo token; 400 no site; 400
  // no non-empty line; 400 more than most_lines_per_request lines; 400 more
  // accepted URLs than the quota left. Otherwise 200 and
  // {"remain":R,"success":N}, with "not_same_site" and "not_valid" lists of
  // the lines turned away when there are any. Accepted: http or https URLs
  // whose host is `site` (letter case aside).
  Answer submit(const std::optional<std::string>& site, const std::optional<std::string>& token,
                std::string_view body, std::int64_t day);

 private:
  std::int64_t daily_quota_;
  std::mutex mutex_;
  std::int64_t day_ = 0;
  std::int64_t used_today_ = 0;
};

// A refusal: `status` with {"error":status,"message":message}.
Answer refusal(int status, std::string_view message);

// The answer to a request for anything but the two routes.
Answer not_found();

// A JSON string literal for bytes in code page 936: every character outside
// printable ASCII written as \uXXXX, bytes of no character as \uFFFD.
std::string json_string(std::string_view cp936);

}  // namespace lorvane::demo
