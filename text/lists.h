// Lists of texts: dropping repeated parts, and finding a member.
#pragma once

#include <cstdint>

#include "text/values.h"

namespace lorvane {

// `text` split at `delimiter`, every part that occurred before dropped, and
// the rest joined again with `delimiter`, in order of first occurrence. A
// trailing delimiter is lost; an empty delimiter gives the text unchanged.
Text join_unique(const Text& text, const Text& delimiter);

// 1-based position of the first member equal to `item` (exact bytes), or -1.
std::int32_t find_in_list(const TextList& list, const Text& item);

}  // namespace lorvane
