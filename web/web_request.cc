#include "web/web_request.h"

#include <algorithm>
#include <array>
#include <string>
#include <string_view>

#include "platform/internet.h"
#include "text/text.h"
#include "web/cookies.h"
#include "web/headers.h"
#include "web/url.h"

namespace lorvane {
namespace {

namespace net = ::lorvane::platform;

constexpr std::array<const char*, 8> verbs = {"GET",     "POST",   "HEAD",  "PUT",
                                              "OPTIONS", "DELETE", "TRACE", "CONNECT"};
constexpr std::int32_t post_method = 1;

// Certificate problems of every kind are let through, and redirects between
// http and https are followed both ways. 0x10000 has no name of its own.
constexpr net::DWORD security_flags =
    bit_or(net::SECURITY_FLAG_IGNORE_REVOCATION, net::SECURITY_FLAG_IGNORE_UNKNOWN_CA,
           net::SECURITY_FLAG_IGNORE_WRONG_USAGE, net::SECURITY_FLAG_IGNORE_CERT_CN_INVALID,
           net::SECURITY_FLAG_IGNORE_CERT_DATE_INVALID, net::SECURITY_FLAG_IGNORE_REDIRECT_TO_HTTPS,
           net::SECURITY_FLAG_IGNORE_REDIRECT_TO_HTTP, 0x10000u);
static_assert(security_flags == 0x1F380);

constexpr net::DWORD read_block = 1024;
constexpr std::int32_t raw_header_buffer = 5000;

// The cookie text of the response's "Set-Cookie" lines, one entry per line in
// their order, joined by "; ". Only the name spelt exactly "Set-Cookie" and
// followed by ": " counts; the attributes after the first ";" are dropped.
Text collect_cookies(const Text& raw_headers) {
  Text cookies;
  const TextList lines = split_text(raw_headers, Text("\r\n"));
  for (const Text& line : lines.members()) {
    if (compare_texts(text_before(line, ": "), "Set-Cookie") != 0) continue;
    Text entry;
    if (find_text(line, ";") != -1) {
      entry = trim_text(extract_between(line, "Set-Cookie:", ";"));
    } else {
      entry = trim_text(replace_text(line, "Set-Cookie:", "", std::nullopt, std::nullopt,
                                     /*match_case=*/false));
    }
    // An empty entry is kept: two lines «Set-Cookie: ; x» give «; ».
    cookies = concat_text(cookies, entry, "; ");
  }
  return text_left(cookies, text_len(cookies) - 2);
}

}  // namespace

Bytes web_request(const Text& url, std::optional<std::int32_t> method, const Text& post_text,
                  Text* send_cookies, Text* received_cookies, Text* extra_headers,
                  Text* received_headers, std::optional<bool> no_redirect, Bytes* post_bytes,
                  const Text& proxy, std::optional<bool> complete_cookies,
                  std::optional<bool> complete_headers, std::optional<bool> fix_header_case,
                  std::uint32_t* oversized_headers) {
  // Omitted variables are temporaries the caller never sees.
  Text send_cookies_omitted, received_cookies_omitted, extra_headers_omitted,
      received_headers_omitted;
  Bytes post_bytes_omitted;
  const bool cookies_given = send_cookies != nullptr;
  Text& cookies_to_send = cookies_given ? *send_cookies : send_cookies_omitted;
  Text& cookies_received = received_cookies ? *received_cookies : received_cookies_omitted;
  Text& headers = extra_headers ? *extra_headers : extra_headers_omitted;
  Text& raw_headers = received_headers ? *received_headers : received_headers_omitted;
  Bytes& body_bytes = post_bytes ? *post_bytes : post_bytes_omitted;

  if (fix_header_case.value_or(true)) headers = normalize_header_names(headers);

  std::int32_t method_index = method.value_or(0);
  if (method_index < 0 || method_index > 7) method_index = 0;
  const char* const verb = verbs[static_cast<std::size_t>(method_index)];

  const bool https = compare_texts(to_lower(text_left(url, 8)), "https://") == 0;
  const Text agent = choose_user_agent(headers);

  net::HINTERNET internet = nullptr;
  if (proxy.empty()) {
    internet =
        net::InternetOpenA(agent.c_str(), net::INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
  } else {
    // A bare address serves every scheme; "http=" limits it to http.
    const Text proxy_list = https ? proxy : concat_text("http=", proxy);
    internet =
        net::InternetOpenA(agent.c_str(), net::INTERNET_OPEN_TYPE_PROXY, proxy_list.c_str(), "", 0);
  }
  if (internet == nullptr) return Bytes();

  // A port that does not fit the platform's 16 bits would be cut to another
  // port (65616 to 80): such a request is not made at all.
  const std::int32_t port = url_port(url);
  net::HINTERNET connection = nullptr;
  if (port >= 0 && port <= 0xFFFF) {
    const Text host = url_host(url);
    connection =
        net::InternetConnectA(internet, host.c_str(), static_cast<net::INTERNET_PORT>(port),
                              nullptr, nullptr, net::INTERNET_SERVICE_HTTP, 0, 0);
  }
  if (connection == nullptr) {
    net::InternetCloseHandle(internet);
    return Bytes();
  }

  const net::DWORD request_flags =
      bit_or(net::INTERNET_FLAG_RELOAD, net::INTERNET_FLAG_NEED_FILE,
             cookies_given ? net::INTERNET_FLAG_NO_COOKIES : 0,
             no_redirect.value_or(false) ? net::INTERNET_FLAG_NO_AUTO_REDIRECT : 0,
             https ? net::INTERNET_FLAG_SECURE : net::INTERNET_FLAG_IGNORE_REDIRECT_TO_HTTPS);
  const Text path = url_path(url);
  net::HINTERNET request = net::HttpOpenRequestA(connection, verb, path.c_str(), "HTTP/1.1",
                                                 nullptr, nullptr, request_flags, 0);
  if (request == nullptr) {
    net::InternetCloseHandle(connection);
    net::InternetCloseHandle(internet);
    return Bytes();
  }

  net::DWORD security = security_flags;
  net::InternetSetOptionA(request, net::INTERNET_OPTION_SECURITY_FLAGS, &security, sizeof security);

  if (complete_headers.value_or(true)) add_default_headers(headers, url, method_index);
  add_cookie_header(headers, cookies_to_send);

  // The platform only reads the body; its parameter is not const because the
  // platform's own is not.
  char empty_body[] = "";
  void* body_address = empty_body;
  net::DWORD body_length = 0;
  if (method_index != 0) {
    if (bytes_length(body_bytes) == 0) body_bytes = text_to_bytes(post_text);
    body_length = static_cast<net::DWORD>(bytes_length(body_bytes));
    body_address = body_length == 0 ? nullptr : const_cast<char*>(body_bytes.data());
  }
  net::HttpSendRequestA(request, headers.c_str(), static_cast<net::DWORD>(text_len(headers)),
                        body_address, body_length);

  // One buffer for every read; each piece is appended in place, so a large
  // body is never copied again as a whole while it grows.
  Bytes body;
  std::array<char, read_block> buffer{};
  net::DWORD count = 0;
  do {
    // A failed read is meant to report 0; cleared anyway so that a backend
    // which leaves the count alone cannot repeat the last piece for ever.
    count = 0;
    net::InternetReadFile(request, buffer.data(), read_block, &count);
    body.append(std::string_view(buffer.data(), std::min(count, read_block)));
  } while (count != 0);

  // The platform writes a zero-terminated block when it fits and may leave the
  // prepared spaces otherwise; the text ends at the first zero, and never
  // beyond the buffer.
  std::string header_buffer(raw_header_buffer, ' ');
  net::DWORD header_length = raw_header_buffer;
  const bool fitted = net::HttpQueryInfoA(request, net::HTTP_QUERY_RAW_HEADERS_CRLF,
                                          header_buffer.data(), &header_length, nullptr) != 0;
  const std::string_view written(header_buffer);
  raw_headers = Text(written.substr(0, written.find('\0')));
  // A failed query that asks for more room than the buffer has is the
  // platform saying that a response came with a larger block: the one sign
  // of that response left when its body is empty.
  if (oversized_headers != nullptr) {
    const bool too_large = !fitted && header_length > static_cast<net::DWORD>(raw_header_buffer);
    *oversized_headers = too_large ? header_length : 0;
  }

  net::InternetCloseHandle(request);
  net::InternetCloseHandle(connection);
  net::InternetCloseHandle(internet);

  cookies_received = collect_cookies(raw_headers);
  if (complete_cookies.value_or(true) && cookies_given) {
    cookies_received = merge_cookies(cookies_to_send, cookies_received);
  }
  return body;
}

}  // namespace lorvane
