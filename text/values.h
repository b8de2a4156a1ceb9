// Text values: Text, Bytes and TextList, and the primitives every routine uses.
//
// All text is bytes in the system ANSI code page (936 on the machines the tool
// targets); nothing here validates or converts an encoding. Every value has one
// owner; routines borrow their arguments and hand back fresh values.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace lorvane {

namespace text_internal {
// Marks bytes that are known to hold no zero byte (pieces and changed copies
// of texts), which a Text then takes as they are.
struct WithoutZero {};
}  // namespace text_internal

// A zero-terminated byte string. It never holds a zero byte: building one from
// bytes keeps those in front of the first zero. The null text and the
// zero-length text are one and the same empty value.
class Text {
 public:
  Text() = default;
  // Literals are texts; a null pointer gives the empty text.
  Text(const char* bytes);  // NOLINT(google-explicit-constructor)
  explicit Text(std::string_view bytes);
  explicit Text(std::string&& bytes);
  Text(std::string_view bytes, text_internal::WithoutZero) : bytes_(bytes) {}
  Text(std::string&& bytes, text_internal::WithoutZero) noexcept : bytes_(std::move(bytes)) {}

  const char* c_str() const noexcept { return bytes_.c_str(); }
  std::string_view view() const noexcept { return bytes_; }
  bool empty() const noexcept { return bytes_.empty(); }

  // Gives up the bytes, leaving this text empty.
  std::string release() noexcept { return std::move(bytes_); }

  friend bool operator==(const Text& a, const Text& b) noexcept = default;

 private:
  std::string bytes_;
};

// A counted byte string; any byte, zero included. Null and zero-length are the
// same empty value.
class Bytes {
 public:
  Bytes() = default;
  explicit Bytes(std::string_view data) { append(data); }
  explicit Bytes(const std::string& data) : Bytes(std::string_view(data)) {}
  Bytes(const Bytes& other) : Bytes(other.view()) {}
  Bytes(Bytes&& other) noexcept
      : data_(std::exchange(other.data_, nullptr)),
        size_(std::exchange(other.size_, 0)),
        capacity_(std::exchange(other.capacity_, 0)) {}
  Bytes& operator=(const Bytes& other) {
    Bytes copy(other);
    swap(copy);
    return *this;
  }
  Bytes& operator=(Bytes&& other) noexcept {
    Bytes moved(std::move(other));
    swap(moved);
    return *this;
  }
  ~Bytes() { std::free(data_); }

  // Never null, even for the empty value, as with std::string.
  const char* data() const noexcept { return data_ != nullptr ? data_ : ""; }
  std::string_view view() const noexcept { return {data(), size_}; }
  bool empty() const noexcept { return size_ == 0; }

  // Appends in place with amortised growth, so that a stream read piece by
  // piece is never copied again as a whole. The bytes live in one block of the
  // C heap grown with realloc: the system moves a large block by its page
  // tables rather than copying it, so that growing never holds the old and the
  // new block at once either.
  void append(std::string_view more);

  friend bool operator==(const Bytes& a, const Bytes& b) noexcept { return a.view() == b.view(); }

 private:
  void swap(Bytes& other) noexcept {
    std::swap(data_, other.data_);
    std::swap(size_, other.size_);
    std::swap(capacity_, other.capacity_);
  }

  char* data_ = nullptr;
  std::size_t size_ = 0;
  std::size_t capacity_ = 0;
};

// A one-dimensional list of texts, members numbered from 1. It owns copies of
// its members and grows only at the end.
class TextList {
 public:
  TextList() = default;
  TextList(std::initializer_list<Text> members) : members_(members) {}

  const std::vector<Text>& members() const noexcept { return members_; }

  friend bool operator==(const TextList& a, const TextList& b) noexcept = default;

 private:
  friend void list_append(TextList& list, const Text& item);
  friend TextList make_text_list(std::vector<Text>&& members);
  std::vector<Text> members_;
};

// Builds a list that takes the given members over (used by the text operations).
TextList make_text_list(std::vector<Text>&& members);

// -1, 0 or 1: bytes compared as unsigned values; a text that is a beginning of
// the other is the smaller. The empty text is the smallest.
std::int32_t compare_texts(const Text& a, const Text& b) noexcept;

// Number of bytes; the empty text gives 0.
std::int32_t text_len(const Text& text) noexcept;

// Number of bytes; the empty value gives 0.
std::int32_t bytes_length(const Bytes& data) noexcept;

// Number of members.
std::int32_t list_count(const TextList& list) noexcept;

// The member at a 1-based index, borrowed. An index outside 1..list_count is a
// fatal error: the program ends with a report on standard error.
const Text& list_item(const TextList& list, std::int32_t index);

// Adds a copy of `item` as the new last member (an empty item adds an empty member).
void list_append(TextList& list, const Text& item);

// Ends the program with a fatal error report naming `what`.
[[noreturn]] void fatal_error(std::string_view what) noexcept;

namespace text_internal {
inline std::string_view view_of(const Text& text) noexcept { return text.view(); }
inline std::string_view view_of(const char* text) noexcept {
  return text == nullptr ? std::string_view() : std::string_view(text);
}
Text concat_views(std::initializer_list<std::string_view> parts);
Bytes concat_byte_views(std::initializer_list<std::string_view> parts);
}  // namespace text_internal

// The parts joined in order, measured first and allocated once.
template <typename... Parts>
Text concat_text(const Parts&... parts) {
  static_assert(sizeof...(Parts) >= 2, "concat_text joins two or more parts");
  return text_internal::concat_views({text_internal::view_of(parts)...});
}

// The parts joined in order; empty parts are skipped, a total of 0 bytes is empty.
template <typename... Parts>
Bytes concat_bytes(const Parts&... parts) {
  static_assert(sizeof...(Parts) >= 2, "concat_bytes joins two or more parts");
  return text_internal::concat_byte_views({parts.view()...});
}

// Bitwise OR of all values.
template <typename... Values>
constexpr std::uint32_t bit_or(Values... values) noexcept {
  static_assert(sizeof...(Values) >= 2, "bit_or combines two or more values");
  return (static_cast<std::uint32_t>(values) | ...);
}

}  // namespace lorvane
