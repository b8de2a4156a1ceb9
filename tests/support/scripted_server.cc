#include "tests/support/scripted_server.h"

#include <httplib.h>

#include <stdexcept>

#include "demo/tls_certificate.h"

namespace lorvane::test {
namespace {

std::unique_ptr<httplib::Server> new_server(ScriptedServer::Scheme scheme) {
  if (scheme == ScriptedServer::Scheme::http) return std::make_unique<httplib::Server>();
  // The server takes its own references to both.
  const auto certificate = demo::self_signed_certificate("127.0.0.1");
  if (!certificate) throw std::runtime_error("cannot make a certificate for the https server");
  auto server =
      std::make_unique<httplib::SSLServer>(certificate->certificate.get(), certificate->key.get());
  if (!server->is_valid()) throw std::runtime_error("cannot set up the https server");
  return server;
}

}  // namespace

ScriptedServer::ScriptedServer(Scheme scheme, int status, std::string body)
    : scheme_(scheme), server_(new_server(scheme)), status_(status), reply_(std::move(body)) {
  const auto answer = [this](RecordedRequest recorded, httplib::Response& response) {
    std::lock_guard lock(mutex_);
    requests_.push_back(std::move(recorded));
    response.status = status_;
    response.set_content(reply_, "text/plain");
  };
  server_->Get(".*", [answer](const httplib::Request& request, httplib::Response& response) {
    answer({request.method, request.target, request.get_header_value("Content-Type"), request.body},
           response);
  });
  // A POST body is read through a content reader so that it arrives unparsed,
  // whatever its length and content type.
  server_->Post(".*", [answer](const httplib::Request& request, httplib::Response& response,
                               const httplib::ContentReader& read_content) {
    RecordedRequest recorded{
        request.method, request.target, request.get_header_value("Content-Type"), {}};
    read_content([&](const char* data, std::size_t length) {
      recorded.body.append(data, length);
      return true;
    });
    answer(std::move(recorded), response);
  });
  port_ = server_->bind_to_any_port("127.0.0.1");
  if (port_ <= 0) throw std::runtime_error("cannot start the scripted server");
  // The socket listens from here on; connections wait until the thread accepts.
  thread_ = std::thread([this] {
    server_->listen_after_bind();
    listening_ended_ = true;
  });
}

ScriptedServer::~ScriptedServer() {
  // stop() does nothing until the server runs: wait for that, briefly.
  while (!server_->is_running() && !listening_ended_) std::this_thread::yield();
  server_->stop();
  thread_.join();
}

std::string ScriptedServer::address(std::string_view path) const {
  return (scheme_ == Scheme::https ? "https://127.0.0.1:" : "http://127.0.0.1:") +
         std::to_string(port_) + std::string(path);
}

void ScriptedServer::reply_with(int status, std::string body) {
  std::lock_guard lock(mutex_);
  status_ = status;
  reply_ = std::move(body);
}

std::vector<RecordedRequest> ScriptedServer::requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

}  // namespace lorvane::test
