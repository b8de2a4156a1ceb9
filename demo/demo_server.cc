#include "demo/demo_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <deque>
#include <thread>
#include <vector>

#include "demo/request_log.h"
#include "demo/sitemaps.h"

namespace lorvane::demo {
namespace {

using Clock = std::chrono::steady_clock;

// What one request may bring in all, framing and headers included: the body
// limit, room for chunked framing of reasonably sized chunks, and the header
// block. A request past it is cut off.
constexpr std::size_t most_request_bytes = 2 * most_body_bytes + (64 << 10);

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string percent_decoded(std::string_view text) {
  std::string decoded;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '+') {
      decoded += ' ';
    } else if (text[i] == '%' && i + 2 < text.size() && hex_digit(text[i + 1]) >= 0 &&
               hex_digit(text[i + 2]) >= 0) {
      decoded += static_cast<char>(hex_digit(text[i + 1]) * 16 + hex_digit(text[i + 2]));
      i += 2;
    } else {
      decoded += text[i];
    }
  }
  return decoded;
}

// The number of the interfaces' day: their days run from midnight in UTC+8,
// as lorvane-push counts them, so that a quota spent and the quota learnt
// expire together.
std::int64_t today() {
  using namespace std::chrono;
  return floor<days>(system_clock::now() + hours(8)).time_since_epoch().count();
}

void respond(httplib::Response& response, const Answer& answer) {
  response.status = answer.status;
  response.set_content(answer.body, "application/json");
}

bool same_text_ignoring_case(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

bool all_digits(std::string_view text) {
  return !text.empty() &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Whether the request announces a body the server can find the end of:
// chunked, or a Content-Length. Without either a request has no body.
bool has_body(const httplib::Request& request) {
  return request.has_header("Content-Length") || request.has_header("Transfer-Encoding");
}

// What the current request of this thread asks of its connection.
struct RequestState {
  // The answer is the last on the connection: the rest of the request was
  // left unread, so what follows is no request.
  bool close_after_answer = false;
  bool logged = false;  // answered and logged
};
thread_local RequestState* current_request = nullptr;

void close_after_answer(httplib::Response& response) {
  if (current_request != nullptr) current_request->close_after_answer = true;
  response.set_header("Connection", "close");
}

// Runs each connection on a thread of its own, keeping finished threads for
// later connections, at most `most` at once; further connections wait for a
// free thread.
class ConnectionThreads final : public httplib::TaskQueue {
 public:
  explicit ConnectionThreads(std::size_t most) : most_(most) {}

  void enqueue(std::function<void()> job) override {
    std::lock_guard lock(mutex_);
    jobs_.push_back(std::move(job));
    if (jobs_.size() > idle_ && threads_.size() < most_) {
      threads_.emplace_back([this] { work(); });
    }
    more_.notify_one();
  }

  // Runs what is queued, then ends every thread. Called by the thread that
  // enqueues, once it enqueues no more.
  void shutdown() override {
    {
      std::lock_guard lock(mutex_);
      ending_ = true;
    }
    more_.notify_all();
    for (std::thread& thread : threads_) thread.join();
  }

 private:
  void work() {
    std::unique_lock lock(mutex_);
    while (true) {
      ++idle_;
      more_.wait(lock, [this] { return !jobs_.empty() || ending_; });
      --idle_;
      if (jobs_.empty()) return;
      std::function<void()> job = std::move(jobs_.front());
      jobs_.pop_front();
      lock.unlock();
      job();
      job = nullptr;
      lock.lock();
    }
  }

  const std::size_t most_;
  std::mutex mutex_;
  std::condition_variable more_;
  std::deque<std::function<void()>> jobs_;
  std::vector<std::thread> threads_;
  std::size_t idle_ = 0;
  bool ending_ = false;
};

}  // namespace

std::optional<std::string> query_parameter(const std::string& target, std::string_view name) {
  std::size_t question = target.find('?');
  if (question == std::string::npos) return std::nullopt;
  std::string_view query = std::string_view(target).substr(question + 1);
  query = query.substr(0, query.find('#'));
  while (!query.empty()) {
    std::string_view pair = query.substr(0, query.find('&'));
    query.remove_prefix(std::min(query.size(), pair.size() + 1));
    std::size_t equals = pair.find('=');
    if (percent_decoded(pair.substr(0, equals)) != name) continue;
    return equals == std::string_view::npos ? std::string()
                                            : percent_decoded(pair.substr(equals + 1));
  }
  return std::nullopt;
}

// The requests of one connection, as httplib reads and answers them.
class DemoServer::Requests : public httplib::Stream {
 public:
  // Whether another request has begun (its first byte is there).
  virtual bool next_request() = 0;
  // Starts the bounds of the request that has begun.
  virtual void start_request() {}
  // Whether a read or write failed, timed out or met the end: what follows
  // cannot be told apart from the request, so the connection ends.
  virtual bool broken() const = 0;
};

// A connection from the network. Its socket does not block: every wait is a
// poll within the connection's bounds, which a stop cuts short by shutting
// the socket down.
class DemoServer::Connection final : public DemoServer::Requests {
 public:
  Connection(socket_t sock, SSL* tls, const ConnectionLimits& limits)
      : sock_(sock), tls_(tls), limits_(limits) {}

  // The TLS handshake, held to the bounds of a request.
  bool handshake() {
    start_request();
    while (true) {
      int done = SSL_accept(tls_);
      if (done == 1) return true;
      int error = SSL_get_error(tls_, done);
      if (error != SSL_ERROR_WANT_READ && error != SSL_ERROR_WANT_WRITE) return false;
      if (!wait(error == SSL_ERROR_WANT_WRITE ? POLLOUT : POLLIN)) return false;
    }
  }

  bool next_request() override {
    deadline_.reset();
    return begin_ < end_ || fill();
  }

  void start_request() override {
    deadline_ = Clock::now() + limits_.request;
    request_bytes_ = end_ - begin_;
  }

  bool broken() const override { return read_failed_ || write_failed_; }

  bool is_readable() const override {
    return begin_ < end_ || const_cast<Connection*>(this)->fill();
  }

  bool is_writable() const override { return !write_failed_; }

  ssize_t read(char* ptr, size_t size) override {
    if (begin_ == end_ && !fill()) return ended_ ? 0 : -1;
    std::size_t taken = std::min(size, end_ - begin_);
    std::memcpy(ptr, buffer_ + begin_, taken);
    begin_ += taken;
    return static_cast<ssize_t>(taken);
  }

  ssize_t write(const char* ptr, size_t size) override {
    std::size_t written = 0;
    // A request that could not be read whole still gets its answer.
    while (written < size && !write_failed_) {
      if (tls_ != nullptr) {
        int sent = SSL_write(tls_, ptr + written, static_cast<int>(size - written));
        if (sent > 0) {
          written += static_cast<std::size_t>(sent);
          continue;
        }
        int error = SSL_get_error(tls_, sent);
        if (error != SSL_ERROR_WANT_READ && error != SSL_ERROR_WANT_WRITE) break;
        if (!wait(error == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT)) break;
      } else {
        ssize_t sent = ::send(sock_, ptr + written, size - written, MSG_NOSIGNAL);
        if (sent > 0) {
          written += static_cast<std::size_t>(sent);
          continue;
        }
        if (sent < 0 && errno == EINTR) continue;
        if (sent == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) break;
        if (!wait(POLLOUT)) break;
      }
    }
    if (written < size) {
      write_failed_ = true;
      return -1;
    }
    return static_cast<ssize_t>(size);
  }

  void get_remote_ip_and_port(std::string& ip, int& port) const override {
    address(getpeername, ip, port);
  }
  void get_local_ip_and_port(std::string& ip, int& port) const override {
    address(getsockname, ip, port);
  }
  socket_t socket() const override { return sock_; }

 private:
  using NameFunction = int (*)(int, sockaddr*, socklen_t*);
  void address(NameFunction name_of, std::string& ip, int& port) const {
    sockaddr_storage storage{};
    socklen_t length = sizeof storage;
    ip.clear();
    port = 0;
    if (name_of(sock_, reinterpret_cast<sockaddr*>(&storage), &length) != 0) return;
    char text[INET6_ADDRSTRLEN] = "";
    if (storage.ss_family == AF_INET) {
      auto* v4 = reinterpret_cast<sockaddr_in*>(&storage);
      inet_ntop(AF_INET, &v4->sin_addr, text, sizeof text);
      port = ntohs(v4->sin_port);
    } else if (storage.ss_family == AF_INET6) {
      auto* v6 = reinterpret_cast<sockaddr_in6*>(&storage);
      inet_ntop(AF_INET6, &v6->sin6_addr, text, sizeof text);
      port = ntohs(v6->sin6_port);
    }
    ip = text;
  }

  // Waits until the socket is ready for `events`, within the idle bound and
  // the request's deadline; false when a bound passed first.
  bool wait(short events) {
    while (true) {
      auto now = Clock::now();
      auto until = now + limits_.idle;
      if (deadline_ && *deadline_ < until) until = *deadline_;
      auto left = std::chrono::ceil<std::chrono::milliseconds>(until - now).count();
      if (left <= 0) return false;
      pollfd watched{sock_, events, 0};
      int ready = poll(&watched, 1, static_cast<int>(left));
      if (ready > 0) return true;
      if (ready < 0 && errno != EINTR) return false;
      if (ready == 0 && Clock::now() >= until) return false;
    }
  }

  // Reads what has come into the empty buffer, waiting within the bounds;
  // false at the end of the stream, on a failure or when a bound passed.
  bool fill() {
    if (read_failed_) return false;
    begin_ = end_ = 0;
    if (request_bytes_ >= most_request_bytes) {
      read_failed_ = true;
      return false;
    }
    while (true) {
      ssize_t got = 0;
      short awaited = POLLIN;
      if (tls_ != nullptr) {
        int read = SSL_read(tls_, buffer_, sizeof buffer_);
        if (read > 0) {
          got = read;
        } else {
          int error = SSL_get_error(tls_, read);
          if (error == SSL_ERROR_ZERO_RETURN) ended_ = true;
          if (error != SSL_ERROR_WANT_READ && error != SSL_ERROR_WANT_WRITE) break;
          if (error == SSL_ERROR_WANT_WRITE) awaited = POLLOUT;
        }
      } else {
        got = ::recv(sock_, buffer_, sizeof buffer_, 0);
        if (got == 0) ended_ = true;
        if (got == 0 || (got < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)) {
          break;
        }
      }
      if (got > 0) {
        end_ = static_cast<std::size_t>(got);
        request_bytes_ += end_;
        return true;
      }
      if (!wait(awaited)) break;
    }
    read_failed_ = true;
    return false;
  }

  socket_t sock_;
  SSL* tls_;
  const ConnectionLimits& limits_;
  std::optional<Clock::time_point> deadline_;
  std::size_t request_bytes_ = 0;
  bool read_failed_ = false;  // no more can be read: the end, a failure or a bound
  bool write_failed_ = false;
  bool ended_ = false;  // the client closed its side
  char buffer_[16384];
  std::size_t begin_ = 0;
  std::size_t end_ = 0;
};

// Bytes given whole, answered into a string.
class DemoServer::Replay final : public DemoServer::Requests {
 public:
  explicit Replay(std::string_view input) : input_(input) {}

  bool next_request() override { return at_ < input_.size(); }
  bool broken() const override { return at_ >= input_.size(); }
  bool is_readable() const override { return at_ < input_.size(); }
  bool is_writable() const override { return true; }
  ssize_t read(char* ptr, size_t size) override {
    std::size_t taken = std::min(size, input_.size() - at_);
    std::memcpy(ptr, input_.data() + at_, taken);
    at_ += taken;
    return static_cast<ssize_t>(taken);
  }
  ssize_t write(const char* ptr, size_t size) override {
    output_.append(ptr, size);
    return static_cast<ssize_t>(size);
  }
  void get_remote_ip_and_port(std::string& ip, int& port) const override {
    ip = "127.0.0.1";
    port = 0;
  }
  void get_local_ip_and_port(std::string& ip, int& port) const override {
    ip = "127.0.0.1";
    port = 0;
  }
  socket_t socket() const override { return INVALID_SOCKET; }

  std::string& output() { return output_; }

 private:
  std::string_view input_;
  std::size_t at_ = 0;
  std::string output_;
};

DemoServer::DemoServer(SubmissionInterface& submissions, std::string scheme, LogSink log,
                       SSL_CTX* tls, ConnectionLimits limits)
    : submissions_(submissions),
      scheme_(std::move(scheme)),
      log_(std::move(log)),
      tls_(tls),
      limits_(limits) {
  new_task_queue = [most = limits_.most_threads] { return new ConnectionThreads(most); };
  set_payload_max_length(most_body_bytes);
  add_routes();
  set_logger([this](const httplib::Request& request, const httplib::Response& response) {
    if (current_request != nullptr) current_request->logged = true;
    if (log_) log_(log_line(request, response));
  });
  // Not SO_REUSEPORT, which the library sets by default: a second demo on a
  // busy port must fail, not share the port and take half its connections.
  set_socket_options([](socket_t socket_handle) {
    int yes = 1;
    setsockopt(socket_handle, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  });
}

DemoServer::~DemoServer() = default;

void DemoServer::add_routes() {
  // The framing of the body, checked before any of it is read: what the
  // server cannot read soundly is refused, and the connection ends after the
  // answer, since the unread bytes are no request.
  set_pre_routing_handler([](const httplib::Request& request, httplib::Response& response) {
    std::optional<Answer> refused;
    if (request.has_header("Content-Encoding") &&
        !same_text_ignoring_case(request.get_header_value("Content-Encoding"), "identity")) {
      refused = refusal(415, "request refused");
    } else if (request.has_header("Transfer-Encoding") &&
               !same_text_ignoring_case(request.get_header_value("Transfer-Encoding"), "chunked")) {
      refused = refusal(501, "request refused");
    } else if (request.has_header("Content-Length")) {
      std::string length = request.get_header_value("Content-Length");
      if (request.get_header_value_count("Content-Length") > 1 || !all_digits(length)) {
        refused = refusal(400, "request refused");
      } else if (length.size() > 9 || std::stoull(length) > most_body_bytes) {
        refused = refusal(413, "request refused");
      }
    }
    if (!refused && !has_body(request) && request.method != "GET" && request.method != "HEAD" &&
        request.method != "OPTIONS" && !(request.method == "POST" && request.path == "/urls")) {
      // Without a length the library would read such a request's body up to
      // the end of the connection; no route takes it, so it is refused at once.
      refused = not_found();
    }
    if (!refused) return httplib::Server::HandlerResponse::Unhandled;
    respond(response, *refused);
    close_after_answer(response);
    return httplib::Server::HandlerResponse::Handled;
  });

  // Lorvane posts its list as application/x-www-form-urlencoded; the server
  // would parse such a body as a form and refuse one over 8 KiB, so the body
  // is read here, as it came. A body cut short counts nothing.
  Post("/urls", [this](const httplib::Request& request, httplib::Response& response,
                       const httplib::ContentReader& read_content) {
    std::string body;
    bool too_long = false;
    bool whole = !has_body(request) || read_content([&](const char* data, std::size_t length) {
      if (length > most_body_bytes - body.size()) {
        too_long = true;
        return false;
      }
      body.append(data, length);
      return true;
    });
    if (!whole) {
      respond(response,
              too_long ? refusal(413, "request refused") : refusal(400, "request cut short"));
      close_after_answer(response);
      return;
    }
    respond(response, submissions_.submit(query_parameter(request.target, "site"),
                                          query_parameter(request.target, "token"), body, today()));
  });
  Get("/abc.txt", [](const httplib::Request&, httplib::Response& response) {
    response.set_content("0", "text/plain");
  });
  // The sitemaps name each other under the scheme and host the request came to.
  Get(R"(/sitemap\.xml|/sitemaps/.*)",
      [this](const httplib::Request& request, httplib::Response& response) {
        const std::string base = scheme_ + "://" + request.get_header_value("Host");
        if (auto document = demo_sitemap(request.path, base)) {
          response.set_content(document->body, document->content_type);
        } else {
          response.status = 404;
        }
      });
  set_error_handler(httplib::Server::HandlerWithResponse(
      [](const httplib::Request&, httplib::Response& response) {
        // Our own refusals carry their JSON already; only the unrouted get this.
        if (!response.body.empty()) return httplib::Server::HandlerResponse::Unhandled;
        if (response.status == 404) {
          respond(response, not_found());
        } else {
          // Malformed requests and bodies the server could not read: what
          // follows on the connection cannot be told apart.
          respond(response, refusal(response.status, "request refused"));
          close_after_answer(response);
        }
        return httplib::Server::HandlerResponse::Handled;
      }));
}

// One line per request; the token stays out of the log, and what the
// request brought is shown through log_text. The replies are the server's
// own: JSON in printable ASCII, "0", and the sitemaps, shown by their size.
std::string DemoServer::log_line(const httplib::Request& request,
                                 const httplib::Response& response) const {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);  // the server's threads log at once
  char clock[16];
  std::strftime(clock, sizeof clock, "%H:%M:%S", &local);
  std::string what = log_text(request.method) + " " + log_text(request.path);
  if (auto site = query_parameter(request.target, "site")) what += " site=" + log_text(*site);
  std::string length = request.get_header_value("Content-Length");
  if (!length.empty()) what += " (" + log_text(length) + " bytes)";
  // Replies of text are shown in part, on the one line; documents (the
  // sitemaps, one of them gzip) by their size and type.
  const std::string type = response.get_header_value("Content-Type");
  std::string reply;
  if (type.starts_with("text/") || type.starts_with("application/json") || type.empty()) {
    reply = response.body.substr(0, 160);
    std::replace_if(
        reply.begin(), reply.end(), [](char c) { return c == '\r' || c == '\n'; }, ' ');
    if (response.body.size() > reply.size()) reply += "...";
  } else {
    reply = "(" + std::to_string(response.body.size()) + " bytes of " + type + ")";
  }
  return std::string(clock) + " " + scheme_ + " " + what + " -> " +
         std::to_string(response.status) + " " + reply;
}

bool DemoServer::serve_requests(Requests& requests) {
  bool answered = true;
  for (std::size_t count = 1; answered && !stopping_ && requests.next_request(); ++count) {
    requests.start_request();
    bool last = count >= keep_alive_max_count_;
    bool client_closes = false;
    RequestState state;
    current_request = &state;
    answered = process_request(requests, last, client_closes, nullptr);
    current_request = nullptr;
    // The library answers every request whose first line came whole; one
    // cut off before that gets its answer and its log line here.
    if (!state.logged) answer_cut_off(requests);
    if (last || client_closes || state.close_after_answer || requests.broken()) break;
  }
  return answered;
}

void DemoServer::answer_cut_off(Requests& requests) {
  httplib::Response response;
  respond(response, refusal(408, "request cut off"));
  requests.write(
      "HTTP/1.1 408 Request Timeout\r\nConnection: close\r\nContent-Type: "
      "application/json\r\nContent-Length: " +
      std::to_string(response.body.size()) + "\r\n\r\n" + response.body);
  if (log_) log_(log_line(httplib::Request(), response));
}

std::string DemoServer::answer_connection(std::string_view request_bytes) {
  Replay replay(request_bytes);
  serve_requests(replay);
  return std::move(replay.output());
}

bool DemoServer::process_and_close_socket(socket_t sock) {
  bool registered = false;
  {
    std::lock_guard lock(connections_mutex_);
    // A connection taken just before a stop is closed unserved.
    if (!stopping_) registered = connections_.insert(sock).second;
  }
  bool served = false;
  if (registered) {
    fcntl(sock, F_SETFL, fcntl(sock, F_GETFL) | O_NONBLOCK);
    int yes = 1;
    setsockopt(sock, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
    SSL* tls = nullptr;
    if (tls_ != nullptr) {
      tls = SSL_new(tls_);
      if (tls != nullptr && SSL_set_fd(tls, sock) != 1) {
        SSL_free(tls);
        tls = nullptr;
      }
    }
    if (tls_ == nullptr || tls != nullptr) {
      Connection connection(sock, tls, limits_);
      if (tls == nullptr || connection.handshake()) served = serve_requests(connection);
      if (tls != nullptr && !connection.broken()) SSL_shutdown(tls);
    }
    if (tls != nullptr) SSL_free(tls);
    std::lock_guard lock(connections_mutex_);
    connections_.erase(sock);
    if (connections_.empty()) connections_ended_.notify_all();
  }
  // Out of the set first, so that shut_down never touches the number once
  // it is closed and may be given to another file.
  ::shutdown(sock, SHUT_RDWR);
  ::close(sock);
  return served;
}

void DemoServer::shut_down() {
  {
    std::lock_guard lock(connections_mutex_);
    stopping_ = true;
    grace_ends_ = Clock::now() + limits_.stop_grace;
    // Every read ends at once: idle, slow and half-sent requests alike.
    for (socket_t sock : connections_) ::shutdown(sock, SHUT_RD);
  }
  stop();
}

void DemoServer::cut_lingering_connections() {
  std::unique_lock lock(connections_mutex_);
  connections_ended_.wait_until(lock, grace_ends_, [this] { return connections_.empty(); });
  for (socket_t sock : connections_) ::shutdown(sock, SHUT_RDWR);
}

void DemoServer::lengthen_backlog() { ::listen(svr_sock_, SOMAXCONN); }

}  // namespace lorvane::demo
