#include "text/values.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace lorvane {
namespace {

// A text ends at its first zero byte, whatever the source held after it.
std::string_view up_to_zero(std::string_view bytes) noexcept {
  const void* zero = std::memchr(bytes.data(), 0, bytes.size());
  if (zero == nullptr) return bytes;
  return bytes.substr(0, static_cast<const char*>(zero) - bytes.data());
}

// Measures every part first, so that the result is allocated once.
std::string join_views(std::initializer_list<std::string_view> parts) {
  std::size_t total = 0;
  for (const std::string_view part : parts) total += part.size();
  std::string joined;
  joined.reserve(total);
  for (const std::string_view part : parts) joined.append(part);
  return joined;
}

}  // namespace

Text::Text(const char* bytes) {
  if (bytes != nullptr) bytes_.assign(bytes);
}

Text::Text(std::string_view bytes) : bytes_(up_to_zero(bytes)) {}

Text::Text(std::string&& bytes) : bytes_(std::move(bytes)) {
  bytes_.resize(up_to_zero(bytes_).size());
}

void Bytes::append(std::string_view more) {
  if (more.empty()) return;
  if (more.size() > capacity_ - size_) {
    const std::size_t wanted = size_ + more.size();
    const std::size_t grown = std::max({wanted, capacity_ * 2, std::size_t{64}});
    void* block = std::realloc(data_, grown);
    if (block == nullptr) fatal_error("out of memory");
    data_ = static_cast<char*>(block);
    capacity_ = grown;
  }
  std::memcpy(data_ + size_, more.data(), more.size());
  size_ += more.size();
}

TextList make_text_list(std::vector<Text>&& members) {
  TextList list;
  list.members_ = std::move(members);
  return list;
}

std::int32_t compare_texts(const Text& a, const Text& b) noexcept {
  const std::string_view x = a.view();
  const std::string_view y = b.view();
  const std::size_t common = x.size() < y.size() ? x.size() : y.size();
  // memcmp compares as unsigned char, so bytes of 0x80 and above sort after ASCII.
  const int order = common == 0 ? 0 : std::memcmp(x.data(), y.data(), common);
  if (order != 0) return order < 0 ? -1 : 1;
  if (x.size() == y.size()) return 0;
  return x.size() < y.size() ? -1 : 1;
}

std::int32_t text_len(const Text& text) noexcept {
  return static_cast<std::int32_t>(text.view().size());
}

std::int32_t bytes_length(const Bytes& data) noexcept {
  return static_cast<std::int32_t>(data.view().size());
}

std::int32_t list_count(const TextList& list) noexcept {
  return static_cast<std::int32_t>(list.members().size());
}

const Text& list_item(const TextList& list, std::int32_t index) {
  if (index < 1 || index > list_count(list)) {
    char what[96];
    std::snprintf(what, sizeof what, "list index %ld outside 1..%ld", static_cast<long>(index),
                  static_cast<long>(list_count(list)));
    fatal_error(what);
  }
  return list.members()[static_cast<std::size_t>(index) - 1];
}

void list_append(TextList& list, const Text& item) { list.members_.push_back(item); }

void fatal_error(std::string_view what) noexcept {
  std::fprintf(stderr, "lorvane: fatal error: %.*s\n", static_cast<int>(what.size()), what.data());
  std::fflush(stderr);
  std::abort();
}

namespace text_internal {

Text concat_views(std::initializer_list<std::string_view> parts) { return Text(join_views(parts)); }

Bytes concat_byte_views(std::initializer_list<std::string_view> parts) {
  return Bytes(join_views(parts));
}

}  // namespace text_internal
}  // namespace lorvane
