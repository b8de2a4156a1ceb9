// lorvane-test-server: the loopback test servers as a program of their own,
// for tests that run in another process (the Windows tests under Wine).
//
//   lorvane-test-server [--proxy]
//
// Prints "http=P https=P" (with --proxy also " proxy=P", a tinyproxy that it
// starts) on one line, then serves until its standard input closes or it
// receives SIGTERM or SIGINT.
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>

#include "tests/support/test_servers.h"

int main(int argc, char** argv) {
  const bool with_proxy = argc > 1 && std::strcmp(argv[1], "--proxy") == 0;
  if (argc > 2 || (argc == 2 && !with_proxy)) {
    std::fprintf(stderr, "usage: lorvane-test-server [--proxy]\n");
    return 2;
  }

  // The signals are taken through a descriptor, blocked before any server
  // thread starts so that every thread inherits the mask.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGINT);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  const int signal_fd = signalfd(-1, &signals, SFD_CLOEXEC);

  try {
    lorvane::test::TestServers servers;
    std::unique_ptr<lorvane::test::ForwardProxy> proxy;
    if (with_proxy) proxy = std::make_unique<lorvane::test::ForwardProxy>(servers.https_port());
    std::printf("http=%d https=%d", servers.http_port(), servers.https_port());
    if (proxy) std::printf(" proxy=%d", proxy->port());
    std::printf("\n");
    std::fflush(stdout);

    for (;;) {
      pollfd fds[2] = {{STDIN_FILENO, POLLIN, 0}, {signal_fd, POLLIN, 0}};
      if (poll(fds, 2, -1) < 0) continue;
      if ((fds[1].revents & POLLIN) != 0) break;
      if ((fds[0].revents & (POLLIN | POLLHUP | POLLERR | POLLNVAL)) != 0) {
        char buffer[256];
        if (read(STDIN_FILENO, buffer, sizeof buffer) <= 0) break;
      }
    }
  } catch (const std::exception& error) {
    std::fprintf(stderr, "lorvane-test-server: %s\n", error.what());
    return 1;
  }
  return 0;
}
