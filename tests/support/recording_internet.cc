#include "tests/support/recording_internet.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>

namespace lorvane {
namespace recording {
namespace {

struct State {
  Script script;
  Calls calls;
  std::size_t piece = 0;         // next body piece
  std::size_t piece_offset = 0;  // bytes of it already delivered
  std::int64_t synthetic_offset = 0;
  int delivering_reads = 0;
};

State& state() {
  static State instance;
  return instance;
}

// Handles are the addresses of these three markers, so each call can name the
// kind of handle it was given.
char internet_marker, connection_marker, request_marker;

HINTERNET handle_of(char& marker) { return &marker; }

std::string kind_of(HINTERNET handle) {
  if (handle == &internet_marker) return "internet";
  if (handle == &connection_marker) return "connection";
  if (handle == &request_marker) return "request";
  return handle == nullptr ? "null" : "unknown";
}

std::optional<std::string> string_at(const char* text) {
  if (text == nullptr) return std::nullopt;
  return std::string(text);
}

std::optional<std::string> bytes_at(const void* data, DWORD length) {
  if (data == nullptr) return std::nullopt;
  return std::string(static_cast<const char*>(data), length);
}

// Fills at most `size` bytes of the next part of the body.
DWORD deliver(char* buffer, DWORD size) {
  State& s = state();
  if (s.script.synthetic_body_length > 0) {
    const std::int64_t left = s.script.synthetic_body_length - s.synthetic_offset;
    const auto count = static_cast<DWORD>(std::min<std::int64_t>(left, size));
    // Copied from one period of the pattern, so that a body of hundreds of
    // MiB costs the recorder little beside the code under measure.
    static const std::string period = [] {
      std::string bytes;
      for (std::int64_t i = 0; i < synthetic_period; ++i) bytes += synthetic_byte(i);
      return bytes;
    }();
    for (DWORD done = 0; done < count;) {
      const auto phase = static_cast<std::size_t>(s.synthetic_offset % synthetic_period);
      const auto chunk =
          static_cast<DWORD>(std::min<std::size_t>(count - done, period.size() - phase));
      std::memcpy(buffer + done, period.data() + phase, chunk);
      done += chunk;
      s.synthetic_offset += chunk;
    }
    return count;
  }
  while (s.piece < s.script.body_pieces.size() &&
         s.piece_offset == s.script.body_pieces[s.piece].size()) {
    ++s.piece;
    s.piece_offset = 0;
  }
  if (s.piece == s.script.body_pieces.size()) return 0;
  const std::string& piece = s.script.body_pieces[s.piece];
  const auto count = static_cast<DWORD>(std::min<std::size_t>(piece.size() - s.piece_offset, size));
  std::memcpy(buffer, piece.data() + s.piece_offset, count);
  s.piece_offset += count;
  return count;
}

}  // namespace

void reset(Script script) {
  state() = State{};
  state().script = std::move(script);
}

const Calls& calls() { return state().calls; }

}  // namespace recording

namespace platform {

using recording::state;

HINTERNET InternetOpenA(const char* agent, DWORD access_type, const char* proxy,
                        const char* proxy_bypass, DWORD flags) {
  auto& s = state();
  s.calls.sequence.emplace_back("InternetOpenA");
  s.calls.open.push_back({recording::string_at(agent), access_type, recording::string_at(proxy),
                          recording::string_at(proxy_bypass), flags});
  return s.script.fail_internet_open ? nullptr : recording::handle_of(recording::internet_marker);
}

HINTERNET InternetConnectA(HINTERNET internet, const char* server_name, INTERNET_PORT server_port,
                           const char* user_name, const char* password, DWORD service, DWORD flags,
                           std::uintptr_t context) {
  auto& s = state();
  s.calls.sequence.emplace_back("InternetConnectA");
  s.calls.connect.push_back({recording::kind_of(internet), recording::string_at(server_name),
                             server_port, recording::string_at(user_name),
                             recording::string_at(password), service, flags, context});
  return s.script.fail_connect ? nullptr : recording::handle_of(recording::connection_marker);
}

HINTERNET HttpOpenRequestA(HINTERNET connect, const char* verb, const char* object_name,
                           const char* version, const char* referrer, const char** accept_types,
                           DWORD flags, std::uintptr_t context) {
  auto& s = state();
  s.calls.sequence.emplace_back("HttpOpenRequestA");
  s.calls.open_request.push_back({recording::kind_of(connect), recording::string_at(verb),
                                  recording::string_at(object_name), recording::string_at(version),
                                  recording::string_at(referrer), accept_types == nullptr, flags,
                                  context});
  return s.script.fail_open_request ? nullptr : recording::handle_of(recording::request_marker);
}

BOOL InternetSetOptionA(HINTERNET internet, DWORD option, void* buffer, DWORD buffer_length) {
  auto& s = state();
  s.calls.sequence.emplace_back("InternetSetOptionA");
  s.calls.set_option.push_back({recording::kind_of(internet), option,
                                recording::bytes_at(buffer, buffer_length), buffer_length});
  return 1;
}

BOOL HttpSendRequestA(HINTERNET request, const char* headers, DWORD headers_length, void* optional,
                      DWORD optional_length) {
  auto& s = state();
  s.calls.sequence.emplace_back("HttpSendRequestA");
  s.calls.send.push_back({recording::kind_of(request), recording::bytes_at(headers, headers_length),
                          headers_length, recording::bytes_at(optional, optional_length),
                          optional_length});
  return 1;
}

BOOL InternetReadFile(HINTERNET file, void* buffer, DWORD number_of_bytes_to_read,
                      DWORD* number_of_bytes_read) {
  auto& s = state();
  if (s.script.record_reads) s.calls.sequence.emplace_back("InternetReadFile");
  recording::ReadCall call{recording::kind_of(file), buffer, number_of_bytes_to_read, 0};
  BOOL result = 1;
  if (s.script.fail_reads_after && s.delivering_reads >= *s.script.fail_reads_after) {
    result = 0;
  } else {
    call.delivered = recording::deliver(static_cast<char*>(buffer), number_of_bytes_to_read);
    if (call.delivered > 0) ++s.delivering_reads;
  }
  *number_of_bytes_read = call.delivered;
  ++s.calls.read_count;
  s.calls.bytes_delivered += call.delivered;
  if (s.script.record_reads) s.calls.read.push_back(std::move(call));
  return result;
}

BOOL HttpQueryInfoA(HINTERNET request, DWORD info_level, void* buffer, DWORD* buffer_length,
                    DWORD* index) {
  auto& s = state();
  s.calls.sequence.emplace_back("HttpQueryInfoA");
  const DWORD length = buffer_length == nullptr ? 0 : *buffer_length;
  s.calls.query.push_back({recording::kind_of(request), info_level, length,
                           std::string(static_cast<const char*>(buffer), length),
                           buffer_length == nullptr, index == nullptr});
  if (buffer_length == nullptr) return 0;
  if (s.script.raw_buffer_bytes) {
    const std::string& bytes = *s.script.raw_buffer_bytes;
    std::memcpy(buffer, bytes.data(), std::min<std::size_t>(bytes.size(), length));
    return 1;
  }
  if (!s.script.raw_headers) return 0;
  const std::string& block = *s.script.raw_headers;
  if (block.size() + 1 > length) {
    *buffer_length = static_cast<DWORD>(block.size() + 1);
    return 0;
  }
  std::memcpy(buffer, block.c_str(), block.size() + 1);
  *buffer_length = static_cast<DWORD>(block.size());
  return 1;
}

BOOL InternetCloseHandle(HINTERNET internet) {
  auto& s = state();
  s.calls.sequence.emplace_back("InternetCloseHandle");
  s.calls.closed.push_back(recording::kind_of(internet));
  return internet != nullptr;
}

}  // namespace platform
}  // namespace lorvane
