// Running the real executables as child processes.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace lorvane::testing {

struct Finished {
  int exit_status = -1;  // -1 when the child ended by a signal
  std::string out;       // standard output
  std::string err;       // standard error
};

// Runs `program` with `arguments`, feeding `input` on standard input (then
// closing it), and waits for it to end. `started`, when given, is told the
// child's process id as soon as it runs (a test may kill it).
Finished run_program(const std::string& program, const std::vector<std::string>& arguments,
                     const std::string& input = {}, const std::function<void(pid_t)>& started = {});

// A child that keeps running until it is stopped: standard input is
// /dev/null, standard error is left to the test's own (or kept in a file,
// with `keep_error`), and the first line of standard output can be read.
class Background {
 public:
  Background(const std::string& program, const std::vector<std::string>& arguments,
             bool keep_error = false);
  ~Background();
  Background(const Background&) = delete;
  Background& operator=(const Background&) = delete;

  // The first line the child printed, without its LF; empty when it ended
  // first.
  const std::string& first_line() const { return first_line_; }

  // The next line the child prints after those read so far, without its LF;
  // empty when it ends first. Blocks until the line is complete.
  std::string next_line();

  // Sends SIGTERM and waits; the exit status, or -1 when a signal ended it.
  int stop();

  // Sends `signal_number` and waits at most `within`; the exit status (-1
  // when a signal ended it), or none when the child was still running then
  // (it is killed).
  std::optional<int> stop(int signal_number, std::chrono::milliseconds within);

  // What the child wrote to standard error so far, when kept.
  std::string error_output() const;

 private:
  pid_t pid_ = -1;
  int out_ = -1;
  int error_file_ = -1;
  std::string first_line_;
};

}  // namespace lorvane::testing
