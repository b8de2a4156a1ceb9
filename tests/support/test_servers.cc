#include "tests/support/test_servers.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <list>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string_view>
#include <thread>
#include <vector>

namespace lorvane::test {
namespace {

// ---------------------------------------------------------------- sockets

// A listening socket on 127.0.0.1 at a port the system picks; `listening`
// false leaves it bound only, so that connections to it are refused.
int bound_socket(bool listening, int& port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) throw std::runtime_error("socket() failed");
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  socklen_t length = sizeof address;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      (listening && ::listen(fd, 64) != 0) ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    ::close(fd);
    throw std::runtime_error("cannot bind a loopback socket");
  }
  port = ntohs(address.sin_port);
  return fd;
}

// One accepted connection, plain or TLS.
class Stream {
 public:
  Stream(int fd, SSL* ssl) : fd_(fd), ssl_(ssl) {}
  ~Stream() {
    if (ssl_ != nullptr) SSL_free(ssl_);
  }
  Stream(const Stream&) = delete;
  Stream& operator=(const Stream&) = delete;

  // Bytes read (> 0), or 0 at the end or on an error.
  std::size_t read(char* buffer, std::size_t size) {
    if (ssl_ != nullptr) {
      const int got = SSL_read(ssl_, buffer, static_cast<int>(size));
      return got > 0 ? static_cast<std::size_t>(got) : 0;
    }
    const ssize_t got = ::recv(fd_, buffer, size, 0);
    return got > 0 ? static_cast<std::size_t>(got) : 0;
  }

  bool write(std::string_view bytes) {
    while (!bytes.empty()) {
      std::size_t sent = 0;
      if (ssl_ != nullptr) {
        const int wrote = SSL_write(ssl_, bytes.data(), static_cast<int>(bytes.size()));
        if (wrote <= 0) return false;
        sent = static_cast<std::size_t>(wrote);
      } else {
        const ssize_t wrote = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (wrote <= 0) return false;
        sent = static_cast<std::size_t>(wrote);
      }
      bytes.remove_prefix(sent);
    }
    return true;
  }

  void finish() {
    if (ssl_ != nullptr) SSL_shutdown(ssl_);
    ::shutdown(fd_, SHUT_WR);
  }

  // Ends the connection with a reset (RST) now. The number stays taken by an
  // unconnected socket, which its joiner closes as it closes any other.
  void reset() {
    const linger abort_at_close{1, 0};
    ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &abort_at_close, sizeof abort_at_close);
    const int placeholder = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (placeholder >= 0) {
      ::dup2(placeholder, fd_);
      ::close(placeholder);
    } else {
      ::shutdown(fd_, SHUT_RDWR);
    }
  }

  // Waits, up to a minute, until the client goes away or the server stops.
  void wait_for_hang_up() {
    pollfd watched{fd_, POLLIN, 0};
    char byte;
    while (::poll(&watched, 1, 60'000) > 0) {
      if (::recv(fd_, &byte, 1, MSG_PEEK | MSG_DONTWAIT) <= 0) return;
      if (read(&byte, 1) == 0) return;
    }
  }

 private:
  int fd_;
  SSL* ssl_;
};

// ---------------------------------------------------------------- TLS

struct TlsContext {
  SSL_CTX* context = nullptr;
  ~TlsContext() {
    if (context != nullptr) SSL_CTX_free(context);
  }
};

// A self-signed certificate for the wrong host name, made afresh each start.
void make_tls_context(TlsContext& tls) {
  EVP_PKEY* key = EVP_EC_gen("P-256");
  X509* certificate = X509_new();
  bool ok = key != nullptr && certificate != nullptr;
  if (ok) {
    X509_set_version(certificate, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(certificate), 1);
    X509_gmtime_adj(X509_getm_notBefore(certificate), -24L * 3600);
    X509_gmtime_adj(X509_getm_notAfter(certificate), 365L * 24 * 3600);
    X509_NAME* name = X509_get_subject_name(certificate);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>("wrong-name.example"), -1, -1,
                               0);
    X509_set_issuer_name(certificate, name);
    X509_set_pubkey(certificate, key);
    ok = X509_sign(certificate, key, EVP_sha256()) > 0;
  }
  if (ok) {
    tls.context = SSL_CTX_new(TLS_server_method());
    ok = tls.context != nullptr && SSL_CTX_use_certificate(tls.context, certificate) == 1 &&
         SSL_CTX_use_PrivateKey(tls.context, key) == 1;
  }
  X509_free(certificate);
  EVP_PKEY_free(key);
  if (!ok) throw std::runtime_error("cannot make the test certificate");
}

// ---------------------------------------------------------------- HTTP bits

bool equals_ignoring_case(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

// The value of the first header line of that name in a request head.
std::optional<std::string_view> header_value(std::string_view head, std::string_view name) {
  std::size_t position = head.find("\r\n");
  while (position != std::string_view::npos && position + 2 < head.size()) {
    const std::size_t start = position + 2;
    const std::size_t end = head.find("\r\n", start);
    const std::string_view line = head.substr(start, end - start);
    const std::size_t colon = line.find(':');
    if (colon != std::string_view::npos && equals_ignoring_case(line.substr(0, colon), name)) {
      std::string_view value = line.substr(colon + 1);
      while (!value.empty() && value.front() == ' ') value.remove_prefix(1);
      return value;
    }
    position = end;
  }
  return std::nullopt;
}

std::string percent_decoded(std::string_view text) {
  std::string decoded;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() &&
        std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
        std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
      decoded += static_cast<char>(std::stoi(std::string(text.substr(i + 1, 2)), nullptr, 16));
      i += 2;
    } else {
      decoded += text[i];
    }
  }
  return decoded;
}

// The value of one parameter of a query string ("a=1&to=x").
std::string query_parameter(std::string_view query, std::string_view name) {
  while (!query.empty()) {
    const std::size_t end = query.find('&');
    const std::string_view pair = query.substr(0, end);
    if (pair.starts_with(name) && pair.size() > name.size() && pair[name.size()] == '=') {
      return percent_decoded(pair.substr(name.size() + 1));
    }
    if (end == std::string_view::npos) break;
    query.remove_prefix(end + 1);
  }
  return {};
}

long long number_or(std::string_view text, long long fallback) {
  if (text.empty() || text.size() > 15 || !std::all_of(text.begin(), text.end(), [](char c) {
        return std::isdigit(static_cast<unsigned char>(c));
      })) {
    return fallback;
  }
  return std::stoll(std::string(text));
}

const char* reason_of(int status) {
  switch (status) {
    case 200:
      return "OK";
    case 301:
      return "Moved Permanently";
    case 302:
      return "Found";
    case 303:
      return "See Other";
    case 307:
      return "Temporary Redirect";
    case 308:
      return "Permanent Redirect";
    case 404:
      return "Not Found";
    case 500:
      return "Internal Server Error";
    default:
      return "Status";
  }
}

// A whole response with Content-Length, closing the connection after it.
std::string response(int status, const std::vector<std::string>& lines, std::string_view body,
                     bool head_only) {
  std::string text = "HTTP/1.1 " + std::to_string(status) + " " + reason_of(status) + "\r\n";
  for (const auto& line : lines) text += line + "\r\n";
  text += "Content-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n";
  if (!head_only) text.append(body);
  return text;
}

struct Request {
  std::string raw;  // exactly the bytes that arrived
  std::string_view method;
  std::string token;
  std::string prefix;  // "/t/TOKEN" or empty
  std::string route;   // the path behind the prefix
  std::string query;
};

// Reads one request: the head up to the empty line, then Content-Length bytes.
std::optional<Request> read_request(Stream& stream) {
  Request request;
  char buffer[16 * 1024];
  std::size_t head_end = std::string::npos;
  while ((head_end = request.raw.find("\r\n\r\n")) == std::string::npos) {
    const std::size_t got = stream.read(buffer, sizeof buffer);
    if (got == 0 || request.raw.size() > 1024 * 1024) return std::nullopt;
    request.raw.append(buffer, got);
  }
  const std::string head = request.raw.substr(0, head_end + 2);
  const auto length_text = header_value(head, "Content-Length");
  const long long length = length_text ? number_or(*length_text, 0) : 0;
  const auto expect = header_value(head, "Expect");
  if (expect && equals_ignoring_case(*expect, "100-continue") &&
      request.raw.size() < head_end + 4 + static_cast<std::size_t>(length)) {
    stream.write("HTTP/1.1 100 Continue\r\n\r\n");
  }
  while (request.raw.size() < head_end + 4 + static_cast<std::size_t>(length)) {
    const std::size_t got = stream.read(buffer, sizeof buffer);
    if (got == 0) break;  // recorded as far as it came
    request.raw.append(buffer, got);
  }

  // "METHOD TARGET VERSION"; an absolute-form target loses its scheme and host.
  const std::string_view line = std::string_view(request.raw).substr(0, request.raw.find("\r\n"));
  const std::size_t first_space = line.find(' ');
  const std::size_t second_space = line.find(' ', first_space + 1);
  request.method = line.substr(0, first_space);
  std::string_view target = first_space == std::string_view::npos
                                ? std::string_view()
                                : line.substr(first_space + 1, second_space - first_space - 1);
  if (const std::size_t scheme_end = target.find("://"); scheme_end != std::string_view::npos) {
    const std::size_t path_start = target.find('/', scheme_end + 3);
    target = path_start == std::string_view::npos ? "/" : target.substr(path_start);
  }
  const std::size_t question = target.find('?');
  std::string_view path = target.substr(0, question);
  if (question != std::string_view::npos) request.query = std::string(target.substr(question + 1));
  if (path.starts_with("/t/")) {
    const std::size_t token_end = path.find('/', 3);
    request.token = std::string(path.substr(3, token_end - 3));
    request.prefix = "/t/" + request.token;
    path = token_end == std::string_view::npos ? "/" : path.substr(token_end);
  }
  request.route = std::string(path);
  return request;
}

struct Recorded {
  std::string token;
  std::string scheme;
  std::string raw;
};

}  // namespace

// ---------------------------------------------------------------- servers

struct TestServers::State {
  struct Worker {
    std::thread thread;
    int fd = -1;
    std::atomic<bool> finished{false};
  };

  struct Listener {
    std::string scheme;
    int fd = -1;
    int port = 0;
    SSL_CTX* tls = nullptr;
    std::thread thread;
  };

  TlsContext tls;
  Listener http;
  Listener https;
  int wake[2] = {-1, -1};
  std::atomic<bool> stopping{false};

  std::mutex workers_mutex;
  std::list<Worker> workers;

  std::mutex recorded_mutex;
  std::vector<Recorded> recorded;

  void accept_loop(Listener& listener);
  void serve(Listener& listener, int fd);
  void answer(Stream& stream, const Request& request, const std::string& scheme);
  std::string dump(const std::string& token);
};

void TestServers::State::accept_loop(Listener& listener) {
  for (;;) {
    pollfd fds[2] = {{listener.fd, POLLIN, 0}, {wake[0], POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0 && errno == EINTR) continue;
    if (stopping || (fds[1].revents & POLLIN) != 0) return;
    const int fd = ::accept4(listener.fd, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    timeval timeout{30, 0};  // a silent client does not hold a thread for ever
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);

    std::lock_guard lock(workers_mutex);
    workers.remove_if([](Worker& worker) {
      if (!worker.finished) return false;
      worker.thread.join();
      ::close(worker.fd);
      return true;
    });
    Worker& worker = workers.emplace_back();
    worker.fd = fd;
    worker.thread = std::thread([this, &listener, &worker, fd] {
      serve(listener, fd);
      worker.finished = true;
    });
  }
}

void TestServers::State::serve(Listener& listener, int fd) {
  SSL* ssl = nullptr;
  if (listener.tls != nullptr) {
    ssl = SSL_new(listener.tls);
    SSL_set_fd(ssl, fd);
    if (SSL_accept(ssl) != 1) {  // e.g. a client that rejects the certificate
      SSL_free(ssl);
      ERR_clear_error();
      return;
    }
  }
  {
    Stream stream(fd, ssl);
    if (auto request = read_request(stream)) {
      if (!request->route.starts_with("/_")) {
        std::lock_guard lock(recorded_mutex);
        recorded.push_back({request->token, listener.scheme, request->raw});
      }
      answer(stream, *request, listener.scheme);
    }
    stream.finish();
  }
  ERR_clear_error();
  // The socket itself is closed by whoever joins this thread, so that its
  // number is never reused while the destructor may still shut it down.
}

std::string TestServers::State::dump(const std::string& token) {
  std::lock_guard lock(recorded_mutex);
  std::string text;
  for (const auto& request : recorded) {
    if (request.token != token) continue;
    text += request.scheme + " " + std::to_string(request.raw.size()) + "\n" + request.raw + "\n";
  }
  return text;
}

void TestServers::State::answer(Stream& stream, const Request& request, const std::string&) {
  const bool head = request.method == "HEAD";
  const std::string_view route = request.route;
  const auto reply = [&](int status, const std::vector<std::string>& lines, std::string_view body) {
    stream.write(response(status, lines, body, head));
  };
  const std::string cookie_path = "path=" + request.prefix + "/";

  if (route == "/_requests") {
    reply(200, {"Content-Type: application/octet-stream"},
          dump(query_parameter(request.query, "token")));
  } else if (route == "/_refused_port") {
    reply(200, {"Content-Type: text/plain"}, std::to_string(refused_port()));
  } else if (route == "/echo") {
    reply(200, {"Content-Type: text/plain"}, "echo");
  } else if (route.starts_with("/flag/")) {
    reply(200, {"Content-Type: text/plain"}, route.substr(6));
  } else if (route.starts_with("/status/")) {
    const int status = static_cast<int>(number_or(route.substr(8), 500));
    reply(status, {"Content-Type: text/plain"}, "status " + std::to_string(status));
  } else if (route == "/cookies") {
    reply(
        200,
        {"Set-Cookie: a=1; " + cookie_path, "Set-Cookie: b=2", "set-cookie: c=3", "Set-Cookie:d=4"},
        "cookies");
  } else if (route == "/empty-cookies") {
    reply(200, {"Set-Cookie: ; x", "Set-Cookie: ; x"}, "empty cookies");
  } else if (route == "/set-cookie") {
    reply(200, {"Set-Cookie: " + request.query + "; " + cookie_path}, "set");
  } else if (route.starts_with("/redirect/")) {
    const int status = static_cast<int>(number_or(route.substr(10), 302));
    reply(status, {"Location: " + query_parameter(request.query, "to")}, "redirect");
  } else if (route.starts_with("/hops/")) {
    const long long left = number_or(route.substr(6), 0);
    if (left > 0) {
      reply(302, {"Location: " + request.prefix + "/hops/" + std::to_string(left - 1)}, "hop");
    } else {
      reply(200, {}, "done");
    }
  } else if (route == "/loop") {
    reply(302, {"Location: " + request.prefix + "/loop"}, "loop");
  } else if (route.starts_with("/redirect-slow-body/")) {
    // A client must act on the head alone: the rest of the response is late.
    const int status = static_cast<int>(number_or(route.substr(20), 302));
    const std::string whole =
        response(status, {"Location: " + query_parameter(request.query, "to")}, "redirect", head);
    const std::size_t body_start = whole.find("\r\n\r\n") + 4;
    if (!stream.write(std::string_view(whole).substr(0, body_start))) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    stream.write(std::string_view(whole).substr(body_start));
  } else if (route == "/redirect-ftp") {
    reply(302, {"Location: ftp://127.0.0.1/file"}, "to ftp");
  } else if (route == "/big-headers") {
    reply(200, {"X-Big: " + std::string(6000, 'a'), "Set-Cookie: big=1"}, "big");
  } else if (route == "/drop") {
    stream.write("HTTP/1.1 200 OK\r\nContent-Length: 100000\r\nConnection: close\r\n\r\n");
    if (!head) stream.write(std::string(1000, 'x'));
  } else if (route == "/large") {
    const long long size = number_or(query_parameter(request.query, "bytes"), 0);
    if (!stream.write("HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(size) +
                      "\r\nConnection: close\r\n\r\n") ||
        head) {
      return;
    }
    // 'a' to 'z' over and over; a block of 26 * 2521 bytes repeats seamlessly.
    std::string block(26 * 2521, 'a');
    for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>('a' + i % 26);
    for (long long sent = 0; sent < size;) {
      const auto piece = static_cast<std::size_t>(std::min<long long>(size - sent, block.size()));
      if (!stream.write(std::string_view(block).substr(0, piece))) return;
      sent += static_cast<long long>(piece);
    }
  } else if (route == "/continue") {
    stream.write("HTTP/1.1 100 Continue\r\n\r\n");
    reply(200, {"Content-Type: text/plain"}, "continued");
  } else if (route == "/gzip") {
    using namespace std::string_view_literals;
    reply(200, {"Content-Encoding: gzip", "Content-Type: application/octet-stream"},
          "\x1f\x8b\x08\x00not gzip\x00\xff"sv);
  } else if (route == "/chunked") {
    stream.write(
        "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nConnection: close\r\n\r\n"
        "3\r\nchu\r\n4\r\nnked\r\n0\r\n\r\n");
  } else if (route == "/reset/status-line") {
    stream.reset();
  } else if (route == "/reset/headers") {
    stream.write("HTTP/1.1 200 OK\r\nContent-Length: 10\r\nX-Cut: par");
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    stream.reset();
  } else if (route == "/reset/body") {
    stream.write("HTTP/1.1 200 OK\r\nContent-Length: 100000\r\nConnection: close\r\n\r\n" +
                 std::string(1000, 'x'));
    // Long enough for the client to take what came before the reset, which
    // would otherwise throw it away.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    stream.reset();
  } else if (route == "/silent") {
    stream.wait_for_hang_up();
  } else if (route == "/stall") {
    stream.write("HTTP/1.1 200 OK\r\nContent-Length: 10\r\nConnection: close\r\n\r\nabc");
    stream.wait_for_hang_up();
  } else if (route == "/trickle") {
    // A byte a second: two inside a header line, two of the body.
    const std::string head =
        "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nConnection: close\r\nX-Slow: ";
    if (!stream.write(head)) return;
    for (const char* piece : {"a", "b", "\r\n\r\nc", "d"}) {
      std::this_thread::sleep_for(std::chrono::seconds(1));
      if (!stream.write(piece)) return;
    }
  } else if (route == "/header-block") {
    // A block of exactly N bytes, its last line's CR LF and the empty line's
    // included; filled with lines of at most 1000 bytes.
    const auto size =
        static_cast<std::size_t>(number_or(query_parameter(request.query, "bytes"), 0));
    std::string block = "HTTP/1.1 200 OK\r\nContent-Length: 4\r\nConnection: close\r\n";
    for (int line = 1; block.size() + 2 < size; ++line) {
      const std::string name = "X-Fill-" + std::to_string(line) + ": ";
      const std::size_t room = size - 2 - block.size();
      // A line needs its name, at least one byte and CR LF; what would stay
      // too short for another line goes into this one.
      std::size_t value = std::min<std::size_t>(1000, room - name.size() - 2);
      if (room - (name.size() + value + 2) < name.size() + 3) value = room - name.size() - 2;
      block += name + std::string(value, 'f') + "\r\n";
    }
    stream.write(block + "\r\n" + (head ? "" : "body"));
  } else if (route == "/header-line") {
    const auto size =
        static_cast<std::size_t>(number_or(query_parameter(request.query, "bytes"), 0));
    reply(200, {"X-Long: " + std::string(size, 'l')}, "body");
  } else if (route == "/empty") {
    reply(200, {}, "");
  } else if (route == "/garbage-status") {
    stream.write("XYZZY 200 OK\r\nContent-Length: 4\r\nConnection: close\r\n\r\nbody");
  } else if (route == "/lf") {
    stream.write("HTTP/1.1 200 OK\nX-Lf: 1\nContent-Length: 2\nConnection: close\n\nlf");
  } else {
    reply(404, {"Content-Type: text/plain"}, "no such route");
  }
}

TestServers::TestServers() : state_(new State) {
  // A client that hangs up must not end the process: TLS writes go through
  // write(), which raises SIGPIPE.
  std::signal(SIGPIPE, SIG_IGN);
  make_tls_context(state_->tls);
  if (::pipe2(state_->wake, O_CLOEXEC) != 0) throw std::runtime_error("pipe2() failed");
  state_->http.scheme = "http";
  state_->http.fd = bound_socket(true, state_->http.port);
  state_->https.scheme = "https";
  state_->https.fd = bound_socket(true, state_->https.port);
  state_->https.tls = state_->tls.context;
  for (State::Listener* listener : {&state_->http, &state_->https}) {
    listener->thread =
        std::thread([state = state_.get(), listener] { state->accept_loop(*listener); });
  }
}

TestServers::~TestServers() {
  state_->stopping = true;
  [[maybe_unused]] const auto woke = ::write(state_->wake[1], "x", 1);
  for (State::Listener* listener : {&state_->http, &state_->https}) {
    if (listener->thread.joinable()) listener->thread.join();
    ::close(listener->fd);
  }
  {
    std::lock_guard lock(state_->workers_mutex);
    for (auto& worker : state_->workers) {
      if (!worker.finished) ::shutdown(worker.fd, SHUT_RDWR);
    }
  }
  for (auto& worker : state_->workers) {
    worker.thread.join();
    ::close(worker.fd);
  }
  ::close(state_->wake[0]);
  ::close(state_->wake[1]);
}

int TestServers::http_port() const { return state_->http.port; }
int TestServers::https_port() const { return state_->https.port; }

int refused_port() {
  // Never closed: the port stays ours, and refused, for the life of the process.
  static const int port = [] {
    int bound_port = 0;
    bound_socket(false, bound_port);
    return bound_port;
  }();
  return port;
}

UnansweredPort::UnansweredPort() {
  listener_ = bound_socket(false, port_);
  // A queue of one (the length given plus one), which the filler takes.
  if (::listen(listener_, 0) != 0) {
    ::close(listener_);
    throw std::runtime_error("listen() failed");
  }
  filler_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<std::uint16_t>(port_));
  if (filler_ < 0 ||
      ::connect(filler_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    ::close(listener_);
    if (filler_ >= 0) ::close(filler_);
    throw std::runtime_error("cannot fill the listening queue");
  }
}

UnansweredPort::~UnansweredPort() {
  ::close(filler_);
  ::close(listener_);
}

HangingUpServer::HangingUpServer() {
  socket_ = bound_socket(true, port_);
  thread_ = std::thread([this] {
    while (!stopping_) {
      pollfd watched{socket_, POLLIN, 0};
      if (::poll(&watched, 1, 50) <= 0) continue;
      const int connection = ::accept4(socket_, nullptr, nullptr, SOCK_CLOEXEC);
      if (connection < 0) continue;
      ++connections_;
      ::close(connection);
    }
  });
}

HangingUpServer::~HangingUpServer() {
  stopping_ = true;
  thread_.join();
  ::close(socket_);
}

}  // namespace lorvane::test
