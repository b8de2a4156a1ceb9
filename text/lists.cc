#include "text/lists.h"

#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "text/internal/scan.h"

namespace lorvane {
namespace {

// The parts already taken, as views into the text being joined: an open
// addressing table with linear probing, so that a part costs one probe and no
// allocation of its own.
class TakenParts {
 public:
  // True when `part` was not taken before; it is taken from now on.
  bool take(std::string_view part) {
    if ((count_ + 1) * 2 > slots_.size()) grow();
    const std::size_t hash = std::hash<std::string_view>{}(part);
    for (std::size_t at = hash & mask_;; at = (at + 1) & mask_) {
      Slot& slot = slots_[at];
      if (slot.part.data() == nullptr) {
        slot = {hash, part};
        ++count_;
        return true;
      }
      if (slot.hash == hash && slot.part == part) return false;
    }
  }

 private:
  // Parts come from the text, so a taken part never has a null data pointer.
  struct Slot {
    std::size_t hash = 0;
    std::string_view part;
  };

  void grow() {
    std::vector<Slot> old = std::move(slots_);
    slots_.assign(old.empty() ? 64 : old.size() * 2, Slot{});
    mask_ = slots_.size() - 1;
    for (const Slot& slot : old) {
      if (slot.part.data() == nullptr) continue;
      std::size_t at = slot.hash & mask_;
      while (slots_[at].part.data() != nullptr) at = (at + 1) & mask_;
      slots_[at] = slot;
    }
  }

  std::vector<Slot> slots_;
  std::size_t mask_ = 0;
  std::size_t count_ = 0;
};

}  // namespace

Text join_unique(const Text& text, const Text& delimiter) {
  const std::string_view view = text.view();
  const std::string_view separator = delimiter.view();
  if (view.empty()) return {};
  if (separator.empty()) return text;
  // Walks the same pieces as split_text, but remembers the parts taken in a
  // hash table: one probe per part instead of a scan of every part taken so
  // far, with the same result.
  TakenParts taken;
  std::string joined;
  joined.reserve(view.size());
  text_internal::for_each_piece(view, separator, [&](std::string_view part) {
    if (taken.take(part)) {
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
