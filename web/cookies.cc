#include "web/cookies.h"

#include <string>
#include <string_view>
#include <unordered_set>

#include "text/text.h"

namespace lorvane {

Text cookie_name(const Text& cookie) {
  const std::int32_t equals = find_text(cookie, "=");
  if (equals == -1) return trim_text(cookie);
  return trim_text(text_left(cookie, equals - 1));
}

bool has_cookie_name(const TextList& cookies, const Text& name) {
  for (const Text& cookie : cookies.members()) {
    if (compare_texts(cookie_name(cookie), name) == 0) return true;
  }
  return false;
}

Text merge_cookies(Text& sent, Text& received) {
  sent = remove_spaces(sent);
  received = remove_spaces(received);
  const TextList sent_list = split_text(sent, Text(";"));
  TextList merged = split_text(received, Text(";"));

  // The names in `merged` so far: what has_cookie_name() would find by
  // scanning it, kept up to date as sent entries are appended, so that each
  // sent entry costs one look-up instead of a pass over every received one.
  std::unordered_set<std::string> names;
  for (const Text& cookie : merged.members()) names.emplace(cookie_name(cookie).view());
  for (const Text& cookie : sent_list.members()) {
    Text name = cookie_name(cookie);
    if (names.emplace(name.release()).second) list_append(merged, cookie);
  }

  std::string joined;
  for (const Text& cookie : merged.members()) {
    if (compare_texts(text_right(cookie, 8), "=deleted") == 0) continue;
    joined.append(cookie.view()).append("; ");
  }
  // The "; " behind the last entry goes; an empty text stays empty.
  const auto length = static_cast<std::int32_t>(joined.size());
  sent = text_left(Text(std::move(joined)), length - 2);
  sent = join_unique(sent, "; ");
  return sent;
}

}  // namespace lorvane
