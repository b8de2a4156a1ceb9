// A submission interface on loopback for the benchmarks: it reads each POST
// body whole and answers like the real one, keeping the body's length.
#pragma once

#include <httplib.h>

#include <atomic>
#include <string>
#include <thread>

namespace lorvane::bench {

class LoopbackInterface {
 public:
  // Takes connections once constructed.
  LoopbackInterface() {
    server_.Post(".*", [this](const httplib::Request&, httplib::Response& response,
                              const httplib::ContentReader& read_content) {
      std::size_t length = 0;
      read_content([&](const char*, std::size_t piece) {
        length += piece;
        return true;
      });
      last_length_ = length;
      response.set_content(R"({"remain":99999,"success":)" + std::to_string(length) + "}",
                           "application/json");
    });
    port_ = server_.bind_to_any_port("127.0.0.1");
    thread_ = std::thread([this] { server_.listen_after_bind(); });
    while (!server_.is_running()) std::this_thread::yield();
  }
  ~LoopbackInterface() {
    server_.stop();
    thread_.join();
  }
  LoopbackInterface(const LoopbackInterface&) = delete;
  LoopbackInterface& operator=(const LoopbackInterface&) = delete;

  std::string address() const {
    return "http://127.0.0.1:" + std::to_string(port_) + "/urls?site=www.example.com&token=t";
  }
  // The length of the last body read.
  std::size_t last_length() const { return last_length_; }

 private:
  httplib::Server server_;
  std::thread thread_;
  int port_ = 0;
  std::atomic<std::size_t> last_length_ = 0;
};

}  // namespace lorvane::bench
