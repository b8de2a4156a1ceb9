#include "tests/support/scripted_server.h"

#include <httplib.h>
#include <openssl/pem.h>

#include <stdexcept>
#include <utility>

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

std::unique_ptr<httplib::Server> new_server(const ServerCertificate& certificate) {
  // cpp-httplib takes its certificate from files or from OpenSSL objects;
  // the PEM texts are read into objects it then holds references of its own to.
  BIO* certificate_bio = BIO_new_mem_buf(certificate.certificate_pem.data(),
                                         static_cast<int>(certificate.certificate_pem.size()));
  BIO* key_bio =
      BIO_new_mem_buf(certificate.key_pem.data(), static_cast<int>(certificate.key_pem.size()));
  X509* x509 = PEM_read_bio_X509(certificate_bio, nullptr, nullptr, nullptr);
  EVP_PKEY* key = PEM_read_bio_PrivateKey(key_bio, nullptr, nullptr, nullptr);
  BIO_free(certificate_bio);
  BIO_free(key_bio);
  std::unique_ptr<httplib::Server> server;
  if (x509 != nullptr && key != nullptr) server = std::make_unique<httplib::SSLServer>(x509, key);
  X509_free(x509);
  EVP_PKEY_free(key);
  if (!server || !server->is_valid()) throw std::runtime_error("cannot set up the https server");
  return server;
}

void answer_with(httplib::Response& response, const ScriptedReply& reply) {
  response.status = reply.status;
  for (const auto& [name, value] : reply.headers) response.set_header(name, value);
  response.set_content(reply.body, "text/plain");
}

}  // namespace

std::vector<std::pair<std::string, std::string>> long_header_lines(std::size_t bytes) {
  std::vector<std::pair<std::string, std::string>> lines;
  for (std::size_t added = 0, number = 1; added < bytes; ++number) {
    std::string name = "X-Trace-" + std::to_string(number);
    std::string value = "default-src 'self' https://cdn" + std::to_string(number) + ".example";
    value.resize(1500, 'a');
    added += name.size() + 2 + value.size() + 2;
    lines.emplace_back(std::move(name), std::move(value));
  }
  return lines;
}

ScriptedServer::ScriptedServer(Scheme scheme, int status, std::string body)
    : scheme_(scheme), server_(new_server(scheme)), status_(status), reply_(std::move(body)) {
  start();
}

ScriptedServer::ScriptedServer(const ServerCertificate& certificate)
    : scheme_(Scheme::https), server_(new_server(certificate)), status_(200) {
  start();
}

void ScriptedServer::start() {
  const auto answer = [this](RecordedRequest recorded, httplib::Response& response) {
    std::unique_lock lock(mutex_);
    const bool post = recorded.method == "POST";
    const std::string path = recorded.target.substr(0, recorded.target.find('?'));
    requests_.push_back(std::move(recorded));
    changed_.notify_all();
    if (!post) {
      const auto found = paths_.find(path);
      if (found != paths_.end()) {
        answer_with(response, found->second);
        return;
      }
    } else {
      ++posts_;
      if (hold_from_ != 0 && posts_ >= hold_from_) {
        changed_.wait(lock, [this] { return released_; });
      }
      if (!in_turn_.empty()) {
        answer_with(response, in_turn_.front());
        in_turn_.erase(in_turn_.begin());
        return;
      }
    }
    answer_with(response, {status_, reply_, lines_});
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
  release();
  // stop() does nothing until the server runs: wait for that, briefly.
  while (!server_->is_running() && !listening_ended_) std::this_thread::yield();
  server_->stop();
  thread_.join();
}

std::string ScriptedServer::address(std::string_view path) const {
  return (scheme_ == Scheme::https ? "https://127.0.0.1:" : "http://127.0.0.1:") +
         std::to_string(port_) + std::string(path);
}

void ScriptedServer::reply_with(int status, std::string body, HeaderLines lines) {
  std::lock_guard lock(mutex_);
  status_ = status;
  reply_ = std::move(body);
  lines_ = std::move(lines);
}

void ScriptedServer::reply_in_turn(std::vector<ScriptedReply> replies) {
  std::lock_guard lock(mutex_);
  in_turn_ = std::move(replies);
}

void ScriptedServer::serve(const std::string& path, ScriptedReply reply) {
  std::lock_guard lock(mutex_);
  paths_[path] = std::move(reply);
}

void ScriptedServer::hold_from(std::size_t count) {
  std::lock_guard lock(mutex_);
  hold_from_ = posts_ + count;
  released_ = false;
}

void ScriptedServer::release() {
  std::lock_guard lock(mutex_);
  released_ = true;
  hold_from_ = 0;
  changed_.notify_all();
}

bool ScriptedServer::wait_for_requests(std::size_t count, std::chrono::milliseconds timeout) const {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, timeout, [&] { return requests_.size() >= count; });
}

std::vector<RecordedRequest> ScriptedServer::requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

}  // namespace lorvane::test
