// tinyproxy started for the tests. It cannot be told to pick a port itself,
// so it gets one that was free a moment ago, and another if it cannot bind it.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "tests/support/test_servers.h"

namespace lorvane::test {
namespace {

int free_loopback_port() {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  int port = 0;
  if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
    port = ntohs(address.sin_port);
  }
  if (fd >= 0) ::close(fd);
  return port;
}

// Tinyproxy logs this once it listens. Waiting for the line instead of
// probing the port keeps the proxy's request count free of the probe, which
// it would otherwise count some time later.
bool listening(const std::string& log_file) {
  std::ifstream in(log_file);
  std::string line;
  while (std::getline(in, line)) {
    if (line.find("Accepting connections.") != std::string::npos) return true;
  }
  return false;
}

void stop(int pid) {
  ::kill(pid, SIGTERM);
  int status = 0;
  ::waitpid(pid, &status, 0);
}

}  // namespace

ForwardProxy::ForwardProxy(int connect_port) {
  char folder[] = "/tmp/lorvane-proxy-XXXXXX";
  if (::mkdtemp(folder) == nullptr) throw std::runtime_error("mkdtemp() failed");
  folder_ = folder;
  const std::string config = folder_ + "/tinyproxy.conf";

  for (int attempt = 0; attempt < 8; ++attempt) {
    const int port = free_loopback_port();
    {
      std::ofstream out(config, std::ios::trunc);
      out << "Port " << port << "\n"
          << "Listen 127.0.0.1\n"
          << "Allow 127.0.0.1\n"
          << "Timeout 60\n"
          << "MaxClients 50\n"
          << "ConnectPort " << connect_port << "\n"
          << "LogFile \"" << folder_ << "/tinyproxy.log\"\n"
          << "LogLevel Info\n";
    }
    std::filesystem::remove(folder_ + "/tinyproxy.log");
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid < 0) break;
    if (pid == 0) {
      // The parent may block signals that it takes through a descriptor;
      // the proxy must not inherit that mask, or it would ignore SIGTERM.
      sigset_t none;
      sigemptyset(&none);
      ::sigprocmask(SIG_SETMASK, &none, nullptr);
      // The proxy goes when the test process goes, however that ends.
      ::prctl(PR_SET_PDEATHSIG, SIGTERM);
      if (::getppid() != parent) ::_exit(1);
      const int null = ::open("/dev/null", O_RDWR);
      ::dup2(null, 0);
      ::dup2(null, 1);
      ::dup2(null, 2);
      ::execlp("tinyproxy", "tinyproxy", "-d", "-c", config.c_str(), static_cast<char*>(nullptr));
      ::_exit(127);
    }
    for (int wait = 0; wait < 100; ++wait) {
      if (listening(folder_ + "/tinyproxy.log")) {
        port_ = port;
        pid_ = pid;
        return;
      }
      int status = 0;
      if (::waitpid(pid, &status, WNOHANG) == pid) break;  // the port was taken: again
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    if (::waitpid(pid, nullptr, WNOHANG) == 0) stop(pid);
  }
  std::filesystem::remove_all(folder_);
  throw std::runtime_error("tinyproxy did not start");
}

ForwardProxy::~ForwardProxy() {
  if (pid_ > 0) stop(pid_);
  std::error_code ignored;
  std::filesystem::remove_all(folder_, ignored);
}

std::string ForwardProxy::log() const {
  std::ifstream in(folder_ + "/tinyproxy.log");
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace lorvane::test
