// lorvane-demo: a local submission interface to try Lorvane against, and a
// fixture for its tests. Listens on 127.0.0.1 only.
#include <httplib.h>
#include <pthread.h>
#include <signal.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "demo/sitemaps.h"
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

// The first value of `name` in the query of the request target. Read from
// the target itself: a form-encoded body must never supply the site or token.
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

std::int64_t today() {
  using namespace std::chrono;
  return floor<days>(system_clock::now()).time_since_epoch().count();
}

void respond(httplib::Response& response, const lorvane::demo::Answer& answer) {
  response.status = answer.status;
  response.set_content(answer.body, "application/json");
}

// One line per request on standard error; the token stays out of the log.
void log_request(const char* scheme, const httplib::Request& request,
                 const httplib::Response& response) {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);  // the server's threads log at once
  char clock[16];
  std::strftime(clock, sizeof clock, "%H:%M:%S", &local);
  std::string what = request.method + " " + request.path;
  if (auto site = query_parameter(request.target, "site")) what += " site=" + *site;
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
  std::string length = request.get_header_value("Content-Length");
  if (!length.empty()) what += " (" + length + " bytes)";
  std::fprintf(stderr, "%s %s %s -> %d %s\n", clock, scheme, what.c_str(), response.status,
               reply.c_str());
}

// The routes and rules, the same on every listener; `submissions` is shared,
// so one quota covers them all.
void serve(httplib::Server& server, lorvane::demo::SubmissionInterface& submissions,
           const char* scheme) {
  server.set_payload_max_length(16 << 20);
  // Lorvane posts its list as application/x-www-form-urlencoded; the server
  // would parse such a body as a form and refuse one over 8 KiB, so the body
  // is read here, as it came.
  server.Post("/urls", [&submissions](const httplib::Request& request, httplib::Response& response,
                                      const httplib::ContentReader& read_content) {
    std::string body;
    read_content([&](const char* data, std::size_t length) {
      body.append(data, length);
      return true;
    });
    respond(response, submissions.submit(query_parameter(request.target, "site"),
                                         query_parameter(request.target, "token"), body, today()));
  });
  server.Get("/abc.txt", [](const httplib::Request&, httplib::Response& response) {
    response.set_content("0", "text/plain");
  });
  // The sitemaps name each other under the scheme and host the request came to.
  server.Get(R"(/sitemap\.xml|/sitemaps/.*)", [scheme](const httplib::Request& request,
                                                       httplib::Response& response) {
    const std::string base = std::string(scheme) + "://" + request.get_header_value("Host");
    if (auto document = lorvane::demo::demo_sitemap(request.path, base)) {
      response.set_content(document->body, document->content_type);
    } else {
      response.status = 404;
    }
  });
  server.set_error_handler(httplib::Server::HandlerWithResponse(
      [](const httplib::Request&, httplib::Response& response) {
        // Our own refusals carry their JSON already; only the unrouted get this.
        if (!response.body.empty()) return httplib::Server::HandlerResponse::Unhandled;
        if (response.status == 404) {
          respond(response, lorvane::demo::not_found());
        } else {
          // Malformed requests and bodies over the size limit.
          respond(response, {response.status, "{\"error\":" + std::to_string(response.status) +
                                                  ",\"message\":\"request refused\"}"});
        }
        return httplib::Server::HandlerResponse::Handled;
      }));
  server.set_logger([scheme](const httplib::Request& request, const httplib::Response& response) {
    log_request(scheme, request, response);
  });
  // Not SO_REUSEPORT, which the library sets by default: a second demo on a
  // busy port must fail, not share the port and take half its connections.
  server.set_socket_options([](socket_t socket_handle) {
    int yes = 1;
    setsockopt(socket_handle, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  });
}

constexpr char listen_host[] = "127.0.0.1";

// Binds `server` to `port` on the loopback address (0: a free port); the
// port bound, or 0 with a message when the port cannot be had.
long long bind_server(httplib::Server& server, long long port, const char* scheme) {
  long long bound = 0;
  if (port == 0) {
    bound = std::max(server.bind_to_any_port(listen_host), 0);
  } else if (server.bind_to_port(listen_host, static_cast<int>(port))) {
    bound = port;
  }
  if (bound == 0) {
    std::fprintf(stderr, "lorvane-demo: cannot listen for %s on %s port %lld (is it in use?)\n",
                 scheme, listen_host, port);
  }
  return bound;
}

// A bound server's accept loop on a thread of its own.
class Listener {
 public:
  explicit Listener(httplib::Server& server) : server_(server) {
    thread_ = std::thread([this] {
      if (!server_.listen_after_bind()) failed_ = true;
      ended_ = true;
      // Wakes the sigwait in main when the server stops by itself.
      kill(getpid(), SIGTERM);
    });
  }
  Listener(const Listener&) = delete;
  Listener& operator=(const Listener&) = delete;

  // Stops the server and waits for its thread; false when it had failed.
  bool stop() {
    // stop() does nothing until the server runs, and a signal may come first.
    while (!server_.is_running() && !ended_) std::this_thread::yield();
    server_.stop();
    thread_.join();
    return !failed_;
  }

 private:
  httplib::Server& server_;
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
  httplib::Server server;
  serve(server, submissions, "http");
  port = bind_server(server, port, "http");
  if (port == 0) return 1;

  std::unique_ptr<httplib::SSLServer> tls_server;
  if (tls_port) {
    auto certificate = lorvane::demo::self_signed_certificate(listen_host);
    if (certificate) {
      // The server takes references of its own to both.
      tls_server = std::make_unique<httplib::SSLServer>(certificate->certificate.get(),
                                                        certificate->key.get());
    }
    if (!tls_server || !tls_server->is_valid()) {
      std::fprintf(stderr, "lorvane-demo: cannot make the certificate for https\n");
      return 1;
    }
    serve(*tls_server, submissions, "https");
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
  bool stopped_cleanly = http_listener->stop();
  if (https_listener && !https_listener->stop()) stopped_cleanly = false;
  if (!stopped_cleanly) {
    std::fprintf(stderr, "lorvane-demo: the server stopped unexpectedly\n");
    return 1;
  }
  std::fprintf(stderr, "lorvane-demo: stopped\n");
  return 0;
}
