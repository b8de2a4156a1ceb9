// One submission of a URL list to an interface address, shared by the submit
// button and lorvane-submit: the same request, the same reading of the reply,
// the same result line.
#pragma once

#include <cstdint>

#include "text/values.h"

namespace lorvane {

enum class SubmitOutcome {
  accepted,     // the reply holds the success key: "提交成功：..."
  refused,      // a response came without it: "提交失败：" and the reply or status line
  no_response,  // nothing came back: "提交失败：无法连接接口"
};

struct SubmitResult {
  SubmitOutcome outcome;
  Text result_line;  // code page 936, the caption of the result label
  Text status_line;  // the response's status line without CR LF; empty without a
                     // response, or when its header block was too large to read
  Text reply;        // the response body as text
};

// Posts `url_list` (code page 936, lines separated by CR LF) to `address` and
// reads the reply.
SubmitResult submit_urls(const Text& address, const Text& url_list);

// What came back for one posted list: the raw response header block (empty
// when no response came), the size the platform reported for a block too
// large to read (web_request's `oversized_headers`) and the body.
struct SubmitExchange {
  Text received_headers;
  std::uint32_t oversized_headers = 0;
  Bytes body;
};

// The one request of a submission, as submit_urls sends it; lorvane-push posts
// each batch through it and reads the reply its own way.
SubmitExchange post_url_list(const Text& address, const Text& url_list);

// Reads what web_request handed back for a submission: the raw response
// header block, the size the platform reported for a block too large to be
// read (web_request's `oversized_headers`; 0 otherwise) and the body.
//
// A response came when the block is one (it begins with "HTTP/"), when the
// platform reported a block too large to read, or when body bytes came: an
// interface that answers with a long header block has answered, even though
// its status line cannot be shown (status_line is then empty).
SubmitResult read_reply(const Text& received_headers, std::uint32_t oversized_headers,
                        const Bytes& body);

// The value of a reply field: the bytes after the first `key` up to the first
// "," or "}" that follows, with line breaks, tabs and spaces in front of a
// closing "}" left out; empty when the key is missing or nothing closes it.
Text reply_field(const Text& reply, const Text& key);

}  // namespace lorvane
