// The request header block: the caller's extra header lines, names put in
// shape, completed with the default lines and the cookie line.
//
// A block is header lines separated by "\r\n" with no line break after the
// last one; it may be empty. Whether a block already names a header is a
// search for the name and its colon anywhere in the block, ignoring letter
// case, so «X-Accept: 1» counts as naming "Accept:".
#pragma once

#include <cstdint>

#include "text/values.h"

namespace lorvane {

// The agent string used when the caller's lines name none.
inline constexpr char default_user_agent[] = "Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)";

// `text` with its first byte raised when it is an ASCII letter; a text that
// begins with a two-byte character comes back unchanged.
Text capitalize_first(const Text& text);

// The block with the first letter of every header name, and every letter that
// directly follows a "-" in it, raised («x-: 1» gives «X-: 1»). Everything else
// keeps its case; lines without ":" (empty ones included) and a line break at
// the end are dropped.
Text normalize_header_names(const Text& headers);

// The trimmed text after the first ":" of `line`, up to the end of the text
// (for a block of several lines, to the end of the block); empty without ":".
Text header_value(const Text& line);

// The value of the block's "User-Agent:" line. The presence test ignores
// letter case but the value is cut only after "User-Agent:" spelt exactly so;
// failing that, header_value() of the whole block. No such line at all gives
// default_user_agent.
Text choose_user_agent(const Text& headers);

// Completes `headers` for a request to `url` with `method` (the checked index:
// 1 is POST): an empty block becomes "Accept: */*", then the Accept, Referer
// (the URL as given), Accept-Language and, for POST only, Content-Type lines
// are appended, each only when the block does not name it yet.
void add_default_headers(Text& headers, const Text& url, std::int32_t method);

// Appends "\r\nCookie: " and `send_cookies`, or "\r\n" and `send_cookies` when
// these already hold "Cookie:" (exact case). Empty cookies add nothing.
void add_cookie_header(Text& headers, const Text& send_cookies);

}  // namespace lorvane
