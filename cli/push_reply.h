// Reading an interface's reply to one batch: pure functions over the bytes of
// the response (its status, header block and body), with no network.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace lorvane {

// Replies longer than this, or nested deeper than most_reply_depth, are not
// parsed at all: no interface writes such a reply.
inline constexpr std::size_t most_reply_bytes = 16u << 20;
inline constexpr int most_reply_depth = 32;

struct PushReply {
  bool json = false;  // the body is one JSON object (within the limits above)
  bool has_success = false;
  long long success = 0;
  std::optional<long long> remain;
  std::vector<std::string> not_same_site;  // UTF-8, as listed
  std::vector<std::string> not_valid;
  std::optional<long long> error;
  std::string message;  // UTF-8; empty when absent
};

// The reply's fields. A body that is not a JSON object gives json == false
// and nothing else; a field of the wrong type is taken as absent (a number
// written as a string, "123", counts as the number).
PushReply read_push_reply(std::string_view body);

// What a batch's response means for the push.
enum class ReplyVerdict {
  accepted,    // the reply holds "success": its lists name what was turned away
  retry,       // no response, 429 or 5xx without "success": send the batch again later
  over_quota,  // 400 "over quota": the day's quota is spent
  refused,     // any other reply: stop
};

// `status` is the HTTP status, 0 when no response came (-1: one came whose
// status cannot be read).
ReplyVerdict judge_reply(int status, const PushReply& reply);

// The status of a raw response header block ("HTTP/1.1 503 ..."); 0 when
// there is none.
int status_of_headers(std::string_view raw_headers);

// The wait a Retry-After line of the raw header block asks for, in seconds:
// delay-seconds, or an HTTP date counted from `now` (seconds since 1970 UTC;
// a date in the past gives 0). None without a readable line.
std::optional<long long> retry_after_seconds(std::string_view raw_headers, long long now);

}  // namespace lorvane
