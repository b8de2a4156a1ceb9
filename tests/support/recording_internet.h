// A backend of the Internet functions (platform/internet.h) for tests: it
// records the exact arguments of every call and answers from a script, so a
// test sees what no server can (flags, option values, the header block's
// bytes, null versus empty strings, the order in which handles are closed).
//
// Link `lorvane_internet_recording` in place of a real backend. The recorder is
// one global object: call recording::reset() before each request under test.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/internet.h"

namespace lorvane::recording {

using platform::DWORD;
using platform::HINTERNET;
using platform::INTERNET_PORT;

// How the next calls are answered.
struct Script {
  // Each open step returns a null handle when its switch is set.
  bool fail_internet_open = false;
  bool fail_connect = false;
  bool fail_open_request = false;

  // The response body: each read delivers the next piece (a piece larger than
  // the size asked for is delivered over several reads), then a count of 0.
  std::vector<std::string> body_pieces;
  // Or, when above 0, a generated body of this many bytes (synthetic_byte()),
  // each read filling as much as asked for; nothing is held in memory.
  std::int64_t synthetic_body_length = 0;
  // After this many reads that delivered bytes, reads fail (FALSE, count 0).
  std::optional<int> fail_reads_after;
  // Off: reads are only counted (read_count, bytes_delivered), for bodies of
  // hundreds of MiB.
  bool record_reads = true;

  // The raw response header block. When it fits the buffer with its zero
  // terminator it is written like WinINet writes it; otherwise the query fails,
  // sets the length to the size needed and writes nothing. Absent: the query
  // fails and writes nothing.
  std::optional<std::string> raw_headers;
  // Written as they are (no terminator, cut to the buffer length) in place of
  // raw_headers: a platform that misbehaves.
  std::optional<std::string> raw_buffer_bytes;
};

// The byte at a 0-based index of a synthetic body: a pattern whose period
// (251, a prime) divides no read size, so a piece lost, repeated or moved
// shows.
inline constexpr std::int64_t synthetic_period = 251;
inline char synthetic_byte(std::int64_t index) {
  return static_cast<char>((index % synthetic_period) * 97 % 256);
}

struct OpenCall {
  std::optional<std::string> agent;  // nullopt: a null pointer
  DWORD access_type = 0;
  std::optional<std::string> proxy;
  std::optional<std::string> proxy_bypass;
  DWORD flags = 0;
};

struct ConnectCall {
  std::string internet;  // the handle's kind: "internet", "connection", "request" or "unknown"
  std::optional<std::string> server_name;
  INTERNET_PORT port = 0;
  std::optional<std::string> user_name;
  std::optional<std::string> password;
  DWORD service = 0;
  DWORD flags = 0;
  std::uintptr_t context = 0;
};

struct OpenRequestCall {
  std::string connection;
  std::optional<std::string> verb;
  std::optional<std::string> object_name;
  std::optional<std::string> version;
  std::optional<std::string> referrer;
  bool accept_types_null = false;
  DWORD flags = 0;
  std::uintptr_t context = 0;
};

struct SetOptionCall {
  std::string handle;
  DWORD option = 0;
  std::optional<std::string> value;  // the buffer_length bytes at the buffer
  DWORD length = 0;
};

struct SendCall {
  std::string request;
  std::optional<std::string> headers;  // headers_length bytes
  DWORD headers_length = 0;
  std::optional<std::string> body;  // nullopt: a null address
  DWORD body_length = 0;
};

struct ReadCall {
  std::string file;
  const void* buffer = nullptr;
  DWORD size = 0;
  DWORD delivered = 0;
};

struct QueryCall {
  std::string request;
  DWORD info_level = 0;
  DWORD length_before = 0;    // *buffer_length on entry
  std::string buffer_before;  // the buffer's length_before bytes on entry
  bool length_null = false;
  bool index_null = false;
};

struct Calls {
  std::vector<OpenCall> open;
  std::vector<ConnectCall> connect;
  std::vector<OpenRequestCall> open_request;
  std::vector<SetOptionCall> set_option;
  std::vector<SendCall> send;
  std::vector<ReadCall> read;
  std::vector<QueryCall> query;
  std::vector<std::string> closed;    // kinds of the handles closed, in order
  std::vector<std::string> sequence;  // the functions called, by name, in order
  std::int64_t read_count = 0;        // reads, recorded or not
  std::int64_t bytes_delivered = 0;   // by every read together
};

// Forgets every call recorded so far and answers the calls to come from `script`.
void reset(Script script = {});

// Everything recorded since the last reset().
const Calls& calls();

}  // namespace lorvane::recording
