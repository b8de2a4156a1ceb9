// lorvane-demo: a local submission interface to try Lorvane against, and a
// fixture for its tests. Listens on 127.0.0.1 only.
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "demo/demo_server.h"
#include "demo/submission_interface.h"
#include "demo/tls_certificate.h"
#include "lorvane_version.h"

namespace {

constexpr char usage_text[] =
    "Usage: lorvane-demo [--port N] [--tls-port N] [--quota N]\n"
    "\n"
    "A local URL-submission interface on 127.0.0.1 for trying Lorvane.\n"
    "  POST /urls?site=SITE&token=lorvane-demo   body: URLs, one a line\n"
    "  GET  /abc.txt                              answers \"0\" (no notice)\n"
    "  GET  /sitemap.xml                          the demo site's sitemap index, for\n"
    "                                             lorvane-push --sitemap\n"
    "\n"
    "  --port N      the port to listen on (default 8470; 0 picks a free one)\n"
    "  --tls-port N  also listen for https on this port (0 picks a free one),\n"
    "                with a self-signed certificate made at start; the same\n"
    "                routes, and one quota for both\n"
    "  --quota N     URLs accepted per day (default 100000)\n"
    "  --version     show the version\n";

int usage_error(const std::string& message) {
  std::fprintf(stderr, "lorvane-demo: %s\n%s", message.c_str(), usage_text);
  return 64;
}

// A whole decimal number in [0, most]; none otherwise.
std::optional<long long> whole_number(std::string_view text, long long most) {
  if (text.empty() || text.size() > 18) return std::nullopt;
  long long value = 0;
  for (char digit : text) {
    if (digit < '0' || digit > '9') return std::nullopt;
    value = value * 10 + (digit - '0');
  }
  if (value > most) return std::nullopt;
  return value;
}

std::mutex log_mutex;
bool log_closed = false;  // the last line has been written

void write_whole(std::string_view text) {
  while (!text.empty()) {
    ssize_t wrote = write(STDERR_FILENO, text.data(), text.size());
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) return;
    text.remove_prefix(static_cast<std::size_t>(wrote));
  }
}

// One line per request on standard error, each written whole.
void log_line(const std::string& line) {
  std::lock_guard lock(log_mutex);
  if (!log_closed) write_whole(line + "\n");
}

// The last line of standard error: nothing is logged after it.
void last_line(std::string_view line) {
  std::lock_guard lock(log_mutex);
  write_whole(line);
  log_closed = true;
}

constexpr char listen_host[] = "127.0.0.1";

// Binds `server` to `port` on the loopback address (0: a free port); the
// port bound, or 0 with a message when the port cannot be had.
long long bind_server(lorvane::demo::DemoServer& server, long long port, const char* scheme) {
  long long bound = 0;
  if (port == 0) {
    bound = std::max(server.bind_to_any_port(listen_host), 0);
  } else if (server.bind_to_port(listen_host, static_cast<int>(port))) {
    bound = port;
  }
  if (bound != 0) server.lengthen_backlog();
  if (bound == 0) {
    std::fprintf(stderr, "lorvane-demo: cannot listen for %s on %s port %lld (is it in use?)\n",
                 scheme, listen_host, port);
  }
  return bound;
}

// A bound server's accept loop on a thread of its own.
class Listener {
 public:
  explicit Listener(lorvane::demo::DemoServer& server) : server_(server) {
    thread_ = std::thread([this] {
      if (!server_.listen_after_bind()) failed_ = true;
      ended_ = true;
      // Wakes the sigwait in main when the server stops by itself.
      kill(getpid(), SIGTERM);
    });
  }
  Listener(const Listener&) = delete;
  Listener& operator=(const Listener&) = delete;

  // Stops taking connections and starts ending the open ones.
  void shut_down() {
    // Nothing stops until the server runs, and a signal may come first.
    while (!server_.is_running() && !ended_) std::this_thread::yield();
    server_.shut_down();
  }

  // Cuts what is left of the connections and waits for the thread until
  // `deadline`; whether it ended by then.
  bool finish(std::chrono::steady_clock::time_point deadline) {
    server_.cut_lingering_connections();
    while (!ended_ && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (!ended_) return false;
    thread_.join();
    return true;
  }

  bool failed() const { return failed_; }

 private:
  lorvane::demo::DemoServer& server_;
  std::atomic<bool> failed_ = false;
  std::atomic<bool> ended_ = false;
  std::thread thread_;
};

}  // namespace

int main(int argc, char** argv) {
  long long port = lorvane::demo::default_port;
  std::optional<long long> tls_port;
  long long quota = lorvane::demo::default_daily_quota;
  for (int i = 1; i < argc; ++i) {
    std::string_view argument = argv[i];
    if (argument == "--help" || argument == "-h") {
      std::fputs(usage_text, stdout);
      return 0;
    }
    if (argument == "--version") {
      std::printf("lorvane-demo %s\n", lorvane_version);
      return 0;
    }
    if (argument != "--port" && argument != "--tls-port" && argument != "--quota") {
      return usage_error("unknown argument " + std::string(argument));
    }
    if (i + 1 == argc) return usage_error(std::string(argument) + " needs a number");
    std::string_view value = argv[++i];
    bool is_quota = argument == "--quota";
    auto number = whole_number(value, is_quota ? 1'000'000'000'000LL : 65535);
    if (!number)
      return usage_error("not a valid value for " + std::string(argument) + ": " +
                         std::string(value));
    if (argument == "--port") {
      port = *number;
    } else if (argument == "--tls-port") {
      tls_port = *number;
    } else {
      quota = *number;
    }
  }

  // The signals are taken by sigwait below, never by a handler: every thread
  // the server starts inherits this mask.
  sigset_t stop_signals;
  sigemptyset(&stop_signals);
  sigaddset(&stop_signals, SIGINT);
  sigaddset(&stop_signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stop_signals, nullptr);
  // OpenSSL writes to the socket with write(), not send(MSG_NOSIGNAL): a
  // client that hangs up mid-answer must not end the demo.
  signal(SIGPIPE, SIG_IGN);

  lorvane::demo::SubmissionInterface submissions(quota);
  lorvane::demo::DemoServer server(submissions, "http", log_line);
  port = bind_server(server, port, "http");
  if (port == 0) return 1;

  std::unique_ptr<SSL_CTX, lorvane::demo::SslCtxFree> tls_context;
  std::unique_ptr<lorvane::demo::DemoServer> tls_server;
  if (tls_port) {
    auto certificate = lorvane::demo::self_signed_certificate(listen_host);
    if (certificate) tls_context = lorvane::demo::server_context(*certificate);
    if (!tls_context) {
      std::fprintf(stderr, "lorvane-demo: cannot make the certificate for https\n");
      return 1;
    }
    tls_server = std::make_unique<lorvane::demo::DemoServer>(submissions, "https", log_line,
                                                             tls_context.get());
    tls_port = bind_server(*tls_server, *tls_port, "https");
    if (*tls_port == 0) return 1;
  }

  std::printf("lorvane-demo: listening on http://%s:%lld\n", listen_host, port);
  if (tls_port) std::printf("lorvane-demo: listening on https://%s:%lld\n", listen_host, *tls_port);
  std::printf("Interface address: http://%s:%lld/urls?site=www.example.com&token=%s\n", listen_host,
              port, std::string(lorvane::demo::demo_token).c_str());
  std::fflush(stdout);

  std::optional<Listener> http_listener(std::in_place, server);
  std::optional<Listener> https_listener;
  if (tls_server) https_listener.emplace(*tls_server);
  int signal_number = 0;
  sigwait(&stop_signals, &signal_number);
  // Both listeners at once: their connections end side by side. Once every
  // connection has been cut, the threads normally end within milliseconds;
  // should one still be held past the deadline, the process ends without
  // it, as nothing of the demo's state outlives the process anyway.
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(1000);
  http_listener->shut_down();
  if (https_listener) https_listener->shut_down();
  bool ended = http_listener->finish(deadline);
  if (https_listener && !https_listener->finish(deadline)) ended = false;
  if (!ended) {
    last_line("lorvane-demo: stopped\n");
    std::_Exit(0);
  }
  if (http_listener->failed() || (https_listener && https_listener->failed())) {
    last_line("lorvane-demo: the server stopped unexpectedly\n");
    return 1;
  }
  last_line("lorvane-demo: stopped\n");
  return 0;
}
