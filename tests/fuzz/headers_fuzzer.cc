// Request header preparation against the rules written the plain way
// (reference_web.h), and what holds whatever the block: completing it twice
// adds nothing the second time, and a completed block names every default.
//
// Input: method, then headers \0 url \0 cookies.
#include <cstdint>
#include <string>

#include "tests/fuzz/fuzz_support.h"
#include "tests/fuzz/reference_web.h"
#include "text/text.h"
#include "web/headers.h"

namespace {

using lorvane::Text;
using lorvane::fuzz::escaped;
namespace ref = lorvane::fuzz::reference;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const lorvane::fuzz::Input input(data, size, 1, 3);
  const std::string headers = input.text(0);
  const std::string url = input.text(1);
  const std::string cookies = input.text(2);
  const std::int32_t method = input.option(0) % 9;

  const std::string normalized(lorvane::normalize_header_names(Text(headers)).view());
  FUZZ_CHECK(normalized == ref::normalize_header_names(headers),
             "normalize_header_names follows its rule", {"headers", escaped(headers)},
             {"result", escaped(normalized)},
             {"expected", escaped(ref::normalize_header_names(headers))});
  FUZZ_CHECK(normalized.size() <= headers.size(), "a normalised block has no byte more",
             {"headers", escaped(headers)}, {"result", escaped(normalized)});
  FUZZ_CHECK(lorvane::normalize_header_names(Text(normalized)).view() == normalized,
             "normalising twice changes nothing more", {"headers", escaped(headers)});

  const std::string agent(lorvane::choose_user_agent(Text(headers)).view());
  FUZZ_CHECK(agent == ref::choose_user_agent(headers), "choose_user_agent follows its rule",
             {"headers", escaped(headers)}, {"agent", escaped(agent)},
             {"expected", escaped(ref::choose_user_agent(headers))});
  FUZZ_CHECK(lorvane::header_value(Text(headers)).view() == ref::header_value(headers),
             "header_value follows its rule", {"headers", escaped(headers)});

  Text completed(normalized);
  lorvane::add_default_headers(completed, Text(url), method);
  const std::string expected = ref::add_default_headers(normalized, url, method);
  FUZZ_CHECK(completed.view() == expected, "add_default_headers follows its rule",
             {"headers", escaped(normalized)}, {"url", escaped(url)},
             {"result", escaped(std::string(completed.view()))}, {"expected", escaped(expected)});
  FUZZ_CHECK(completed.view().starts_with(normalized),
             "the defaults are appended behind the caller's lines",
             {"headers", escaped(normalized)});
  for (const char* name : {"Accept:", "Referer:", "Accept-Language:"}) {
    FUZZ_CHECK(lorvane::find_text(completed, name, std::nullopt, true) != -1,
               "a completed block names every default", {"headers", escaped(normalized)},
               {"name", name});
  }
  Text again = completed;
  lorvane::add_default_headers(again, Text(url), method);
  FUZZ_CHECK(again == completed, "completing a completed block adds nothing",
             {"headers", escaped(std::string(completed.view()))});

  Text with_cookies = completed;
  lorvane::add_cookie_header(with_cookies, Text(cookies));
  FUZZ_CHECK(with_cookies.view() == ref::add_cookie_header(std::string(completed.view()), cookies),
             "add_cookie_header follows its rule", {"cookies", escaped(cookies)});
  return 0;
}
