#include "tests/cli/child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace lorvane::testing {
namespace {

struct Pipe {
  int read = -1;
  int write = -1;
  Pipe() {
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    read = ends[0];
    write = ends[1];
  }
};

pid_t spawn(const std::string& program, const std::vector<std::string>& arguments, int in, int out,
            int err) {
  // A child that leaves its input unread must not kill the test with SIGPIPE.
  signal(SIGPIPE, SIG_IGN);
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in, STDIN_FILENO);
  posix_spawn_file_actions_adddup2(&actions, out, STDOUT_FILENO);
  if (err >= 0) posix_spawn_file_actions_adddup2(&actions, err, STDERR_FILENO);
  pid_t pid = -1;
  int failed = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (failed != 0) throw std::runtime_error("cannot start " + program);
  return pid;
}

int wait_for(pid_t pid) {
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

Finished run_program(const std::string& program, const std::vector<std::string>& arguments,
                     const std::string& input, const std::function<void(pid_t)>& started) {
  Pipe in;
  Pipe out;
  Pipe err;
  pid_t pid = spawn(program, arguments, in.read, out.write, err.write);
  if (started) started(pid);
  close(in.read);
  close(out.write);
  close(err.write);

  Finished finished;
  std::size_t written = 0;
  if (input.empty()) {
    close(in.write);
    in.write = -1;
  }
  while (true) {
    pollfd watched[3] = {{out.read, POLLIN, 0}, {err.read, POLLIN, 0}, {in.write, POLLOUT, 0}};
    if (out.read < 0 && err.read < 0) break;
    if (poll(watched, in.write >= 0 ? 3 : 2, -1) < 0) {
      if (errno == EINTR) continue;
      throw std::runtime_error("poll failed");
    }
    std::string* collected[2] = {&finished.out, &finished.err};
    int* ends[2] = {&out.read, &err.read};
    for (int i = 0; i < 2; ++i) {
      if (*ends[i] < 0 || watched[i].revents == 0) continue;
      char buffer[65536];
      ssize_t got = read(*ends[i], buffer, sizeof buffer);
      if (got > 0) {
        collected[i]->append(buffer, static_cast<std::size_t>(got));
      } else if (got == 0 || errno != EINTR) {
        close(*ends[i]);
        *ends[i] = -1;
      }
    }
    if (in.write >= 0 && watched[2].revents != 0) {
      ssize_t sent = write(in.write, input.data() + written, input.size() - written);
      if (sent > 0) written += static_cast<std::size_t>(sent);
      // A child that stopped reading (EPIPE) has all it will take.
      if (written == input.size() || (sent < 0 && errno != EINTR && errno != EAGAIN)) {
        close(in.write);
        in.write = -1;
      }
    }
  }
  if (in.write >= 0) close(in.write);
  finished.exit_status = wait_for(pid);
  return finished;
}

Background::Background(const std::string& program, const std::vector<std::string>& arguments,
                       bool keep_error) {
  int null_input = open("/dev/null", O_RDONLY | O_CLOEXEC);
  if (keep_error) {
    char name[] = "/tmp/lorvane-child-stderr-XXXXXX";
    error_file_ = mkostemp(name, O_CLOEXEC);
    if (error_file_ < 0) throw std::runtime_error("cannot make a file for standard error");
    unlink(name);
  }
  Pipe out;
  pid_ = spawn(program, arguments, null_input, out.write, error_file_);
  close(null_input);
  close(out.write);
  out_ = out.read;
  first_line_ = next_line();
}

std::string Background::next_line() {
  std::string line;
  char byte;
  while (read(out_, &byte, 1) == 1 && byte != '\n') line += byte;
  return line;
}

Background::~Background() {
  stop();
  if (error_file_ >= 0) close(error_file_);
}

std::optional<int> Background::stop(int signal_number, std::chrono::milliseconds within) {
  if (pid_ < 0) return -1;
  kill(pid_, signal_number);
  auto until = std::chrono::steady_clock::now() + within;
  int status = 0;
  pid_t ended = 0;
  while ((ended = waitpid(pid_, &status, WNOHANG)) == 0 &&
         std::chrono::steady_clock::now() < until) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  bool in_time = ended == pid_;
  if (!in_time) {
    kill(pid_, SIGKILL);
    wait_for(pid_);
  }
  pid_ = -1;
  close(out_);
  if (!in_time) return std::nullopt;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string Background::error_output() const {
  std::string text;
  if (error_file_ < 0) return text;
  char buffer[65536];
  ssize_t got = 0;
  for (off_t at = 0; (got = pread(error_file_, buffer, sizeof buffer, at)) > 0; at += got) {
    text.append(buffer, static_cast<std::size_t>(got));
  }
  return text;
}

int Background::stop() {
  if (pid_ < 0) return -1;
  kill(pid_, SIGTERM);
  int status = wait_for(pid_);
  pid_ = -1;
  close(out_);
  return status;
}

}  // namespace lorvane::testing
