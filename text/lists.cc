#include "text/lists.h"

#include <string>
#include <string_view>
#include <unordered_set>
#include <utility>

#include "text/internal/scan.h"

namespace lorvane {

Text join_unique(const Text& text, const Text& delimiter) {
  const std::string_view view = text.view();
  const std::string_view separator = delimiter.view();
  if (view.empty()) return {};
  if (separator.empty()) return text;
  // Walks the same pieces as split_text, but remembers the parts taken in a
  // hash set of views into `text`: one probe per part instead of a scan of
  // every part taken so far, with the same result.
  std::unordered_set<std::string_view> taken;
  std::string joined;
  joined.reserve(view.size());
  text_internal::for_each_piece(view, separator, [&](std::string_view part) {
    if (taken.insert(part).second) {
      joined.append(part);
      joined.append(separator);
    }
    return true;
  });
  // Drops the delimiter behind the last part taken.
  if (!joined.empty()) joined.resize(joined.size() - separator.size());
  return Text(std::move(joined));
}

std::int32_t find_in_list(const TextList& list, const Text& item) {
  const std::int32_t count = list_count(list);
  for (std::int32_t index = 1; index <= count; ++index) {
    if (compare_texts(list_item(list, index), item) == 0) return index;
  }
  return -1;
}

}  // namespace lorvane
