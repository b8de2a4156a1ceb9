// web_request against the recording backend of the Internet functions, with
// the response (raw header block and body) taken from the input: the body
// comes back byte for byte however the platform hands it over; the header
// block sent is the caller's lines prepared as the rules say; the raw header
// block is what the platform wrote into its 5000-byte buffer; the received
// cookies are the Set-Cookie lines collected (and merged with the sent ones)
// as the rules say (reference_web.h).
//
// Input: method, switches, piece size, then
//   url \0 extra headers \0 cookies to send \0 raw header block \0 body
//   switches bit 0: cookies given      bit 1: complete_cookies false
//            bit 2: complete_headers false   bit 3: fix_header_case false
//            bit 4: extra headers given      bit 5: no raw header block
//            bit 6: the platform writes the block's bytes as they are,
//                   without a terminator (a misbehaving platform)
#include <cstdint>
#include <string>
#include <utility>

#include "tests/fuzz/fuzz_support.h"
#include "tests/fuzz/reference_web.h"
#include "tests/support/recording_internet.h"
#include "text/text.h"
#include "web/url.h"
#include "web/web_request.h"

namespace {

using lorvane::Bytes;
using lorvane::Text;
using lorvane::fuzz::escaped;
using lorvane::fuzz::number;
namespace ref = lorvane::fuzz::reference;
namespace recording = lorvane::recording;

constexpr std::size_t header_buffer = 5000;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const lorvane::fuzz::Input input(data, size, 3, 5);
  const std::string url = input.text(0);
  const std::string extra = input.text(1);
  const std::string cookies_in = input.text(2);
  const std::string body(input.field(4));
  const auto method = static_cast<std::int32_t>(static_cast<std::int8_t>(input.option(0)));
  const bool cookies_given = input.flag(1, 0);
  const bool complete_cookies = !input.flag(1, 1);
  const bool complete_headers = !input.flag(1, 2);
  const bool fix_header_case = !input.flag(1, 3);
  const bool extra_given = input.flag(1, 4);
  const std::size_t piece_size = input.option(2) == 0 ? 1024 : input.option(2);

  recording::Script script;
  for (std::size_t at = 0; at < body.size(); at += piece_size)
    script.body_pieces.push_back(body.substr(at, piece_size));
  std::string written(header_buffer, ' ');  // what the header buffer holds afterwards
  if (input.flag(1, 6)) {
    const std::string raw(input.field(3));
    script.raw_buffer_bytes = raw;
    written.replace(0, std::min(raw.size(), header_buffer), raw.substr(0, header_buffer));
  } else if (!input.flag(1, 5)) {
    const std::string raw = input.text(3);
    script.raw_headers = raw;
    if (raw.size() + 1 <= header_buffer) written = raw;
  }
  const std::string raw_expected = written.substr(0, written.find('\0'));
  // The size the platform reports for a block too large for the buffer.
  std::uint32_t oversized_expected = 0;
  if (script.raw_headers && script.raw_headers->size() + 1 > header_buffer) {
    oversized_expected = static_cast<std::uint32_t>(script.raw_headers->size() + 1);
  }
  recording::reset(std::move(script));

  std::uint32_t oversized = 12345;
  Text send_cookies(cookies_in), received_cookies("untouched"), extra_headers(extra),
      received_headers("untouched");
  const Bytes result = lorvane::web_request(
      Text(url), method, Text("a=1"), cookies_given ? &send_cookies : nullptr, &received_cookies,
      extra_given ? &extra_headers : nullptr, &received_headers, std::nullopt, nullptr, Text(),
      complete_cookies, complete_headers, fix_header_case, &oversized);
  const recording::Calls& calls = recording::calls();

  if (calls.send.empty()) {
    // Not sent: only a port the platform cannot take stops a request here.
    const std::int32_t port = lorvane::url_port(Text(url));
    FUZZ_CHECK(port < 0 || port > 0xFFFF, "a request with a usable port is sent",
               {"url", escaped(url)});
    FUZZ_CHECK(result.empty() && received_headers == Text("untouched") &&
                   received_cookies == Text("untouched") && oversized == 12345,
               "a request not made gives an empty body and leaves the outputs alone",
               {"url", escaped(url)});
    return 0;
  }

  FUZZ_CHECK(result.view() == body, "the body comes back byte for byte", {"body", escaped(body)},
             {"result", escaped(result.view())});
  FUZZ_CHECK(calls.open_request.size() == 1 && calls.open_request[0].object_name ==
                                                   std::string(lorvane::url_path(Text(url)).view()),
             "the request is opened for the URL's path", {"url", escaped(url)});

  const std::int32_t method_index = method < 0 || method > 7 ? 0 : method;
  std::string block = extra_given ? extra : std::string();
  if (fix_header_case) block = ref::normalize_header_names(block);
  if (complete_headers) block = ref::add_default_headers(block, url, method_index);
  block = ref::add_cookie_header(block, cookies_given ? cookies_in : std::string());
  const std::string sent_block = calls.send[0].headers.value_or("");
  FUZZ_CHECK(sent_block == block && calls.send[0].headers_length == block.size(),
             "the header block sent is the caller's lines prepared", {"extra", escaped(extra)},
             {"url", escaped(url)}, {"sent", escaped(sent_block)}, {"expected", escaped(block)});
  if (extra_given) {
    FUZZ_CHECK(extra_headers.view() == block, "the caller's header variable holds the block sent",
               {"extra", escaped(extra)}, {"after", escaped(extra_headers.view())});
  }

  FUZZ_CHECK(oversized == oversized_expected, "a block too large is reported with its size",
             {"reported", number(oversized)}, {"expected", number(oversized_expected)});
  FUZZ_CHECK(received_headers.view() == raw_expected,
             "the raw header block is what the buffer holds",
             {"received", escaped(received_headers.view())}, {"expected", escaped(raw_expected)});
  std::string cookies = ref::collect_cookies(raw_expected);
  if (cookies_given && complete_cookies) {
    cookies = ref::merge_cookies(cookies_in, cookies).result;
    FUZZ_CHECK(send_cookies.view() == cookies, "the sent cookie variable holds the merge",
               {"sent", escaped(cookies_in)}, {"after", escaped(send_cookies.view())},
               {"expected", escaped(cookies)});
  }
  FUZZ_CHECK(received_cookies.view() == cookies,
             "the received cookies are the Set-Cookie lines collected",
             {"raw", escaped(raw_expected)}, {"sent", escaped(cookies_in)},
             {"received", escaped(received_cookies.view())}, {"expected", escaped(cookies)});
  return 0;
}
