// Taking a request URL apart into the host, port and path that a connection and
// a request are opened with.
//
// A URL may begin with "https://" or "http://" in any letter case, or have no
// scheme, which counts as http. Nothing is validated: every input gives a
// result.
#pragma once

#include <cstdint>

#include "text/values.h"

namespace lorvane {

// The lower-cased host: what lies between the scheme and the first "/" after
// it, so a query not preceded by "/" stays in the host («http://srv?x=1» gives
// «srv?x=1»). Without `keep_port` the host ends before its first ":". A URL
// without scheme that holds "http://" further on takes its host after that.
// Only ASCII letters are lowered; two-byte characters stay as they are.
Text url_host(const Text& url, bool keep_port = false);

// The number after the last ":" of the host (0 when it is not a number, or
// empty); without a port, 443 for a URL that begins with "https://" in any
// letter case and 80 otherwise.
std::int32_t url_port(const Text& url);

// Everything from the first "/" after the host to the end of the URL, in the
// URL's own letter case, query and fragment included; "/" when there is none.
Text url_path(const Text& url);

}  // namespace lorvane
