// One HTTP or HTTPS request through the Internet functions, synchronously.
#pragma once

#include <cstdint>
#include <optional>

#include "text/values.h"

namespace lorvane {

// Performs one request and returns the response body exactly as delivered, or
// the empty value when the request cannot be opened. Nothing is reported:
// failures show as an empty or short body, and the HTTP status is not looked at.
//
// Parameters left out take their defaults; the pointer parameters are the
// caller's variables passed by reference, and a null pointer means the caller
// did not give one. A given `send_cookies`, even an empty one, switches the
// platform's own cookie handling off for the request and lets the merge run.
//
//   method            0 GET, 1 POST, 2 HEAD, 3 PUT, 4 OPTIONS, 5 DELETE,
//                     6 TRACE, 7 CONNECT; anything else is GET
//   post_text         body as text, for every method but GET
//   send_cookies      rewritten to the merged cookie text when the merge runs
//   received_cookies  written with the response's cookies (or the merge)
//   extra_headers     normalised, completed and sent
//   received_headers  written with the raw response header block
//   no_redirect       false when omitted
//   post_bytes        body as bytes; filled from post_text when empty
//   proxy             host:port; empty means a direct connection
//   complete_cookies, complete_headers, fix_header_case: true when omitted
//   oversized_headers written with the size (its terminating zero included)
//                     that the platform reported for a response header block
//                     too large for the 5000-byte buffer, which then leaves
//                     received_headers as the prepared spaces; 0 when the
//                     block fitted or none was reported. Written only when the
//                     request was opened, like received_headers
Bytes web_request(const Text& url, std::optional<std::int32_t> method = std::nullopt,
                  const Text& post_text = {}, Text* send_cookies = nullptr,
                  Text* received_cookies = nullptr, Text* extra_headers = nullptr,
                  Text* received_headers = nullptr, std::optional<bool> no_redirect = std::nullopt,
                  Bytes* post_bytes = nullptr, const Text& proxy = {},
                  std::optional<bool> complete_cookies = std::nullopt,
                  std::optional<bool> complete_headers = std::nullopt,
                  std::optional<bool> fix_header_case = std::nullopt,
                  std::uint32_t* oversized_headers = nullptr);

}  // namespace lorvane
