// Lorvane beside its yardstick, measured in the same run: runs of the two are
// interleaved (the order swapped every round), so that both share the noise of
// a busy machine, and the figures are the medians of the runs. Each
// *_comparison program prints its rows for scripts/bench.sh, one line each:
//
//   row <TAB> figure <TAB> Lorvane <TAB> yardstick <TAB> ratio <TAB> target <TAB> met
#pragma once

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

namespace lorvane::bench {

inline double now_seconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

inline double median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const std::size_t middle = values.size() / 2;
  return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// What one run gives: any number of figures (seconds, bytes, ...), by position.
using Figures = std::vector<double>;

struct Medians {
  Figures lorvane;
  Figures yardstick;
};

// Runs `lorvane` and `yardstick` `rounds` times each, alternately, and gives
// the median of each figure.
template <typename Lorvane, typename Yardstick>
Medians interleaved(int rounds, Lorvane&& lorvane, Yardstick&& yardstick) {
  std::vector<Figures> ours, theirs;
  for (int round = 0; round < rounds; ++round) {
    if (round % 2 == 0) {
      ours.push_back(lorvane());
      theirs.push_back(yardstick());
    } else {
      theirs.push_back(yardstick());
      ours.push_back(lorvane());
    }
  }
  const auto medians_of = [](const std::vector<Figures>& runs) {
    Figures result;
    for (std::size_t figure = 0; !runs.empty() && figure < runs.front().size(); ++figure) {
      std::vector<double> values;
      for (const Figures& run : runs) values.push_back(run[figure]);
      result.push_back(median(std::move(values)));
    }
    return result;
  };
  return {medians_of(ours), medians_of(theirs)};
}

// Seconds that `work` takes, as a one-figure run.
template <typename Work>
Figures timed(Work&& work) {
  const double start = now_seconds();
  work();
  return {now_seconds() - start};
}

inline std::string format(const char* pattern, double value) {
  char text[64];
  std::snprintf(text, sizeof text, pattern, value);
  return text;
}

inline std::string milliseconds(double seconds) { return format("%.1f ms", seconds * 1e3); }
inline std::string mebibytes(double bytes) { return format("%.1f MiB", bytes / (1 << 20)); }
inline std::string ratio(double value) { return format("%.2fx", value); }

inline void print_row(const std::string& figure, const std::string& lorvane,
                      const std::string& yardstick, const std::string& ratio_text,
                      const std::string& target, bool met) {
  std::printf("row\t%s\t%s\t%s\t%s\t%s\t%s\n", figure.c_str(), lorvane.c_str(), yardstick.c_str(),
              ratio_text.c_str(), target.c_str(), met ? "yes" : "NO");
  std::fflush(stdout);
}

// A time (or CPU time, or memory) where smaller is better: met when
// ours / theirs <= most.
inline void print_at_most(const std::string& figure, double ours, double theirs, double most,
                          std::string (*show)(double)) {
  const double quotient = theirs > 0 ? ours / theirs : 0;
  print_row(figure, show(ours), show(theirs), ratio(quotient), "<= " + format("%.2fx", most),
            theirs > 0 && quotient <= most);
}

// What a finished child process used.
struct ChildRun {
  double wall_seconds = 0;
  double cpu_seconds = 0;  // user and system
  double peak_bytes = 0;   // its peak resident set
  int exit_status = -1;
};

// Runs `argv` with standard input from `input_path` (empty: /dev/null) and
// standard output and error to /dev/null, and waits for it.
inline ChildRun run_child(const std::vector<std::string>& argv,
                          const std::string& input_path = {}) {
  std::vector<char*> arguments;
  for (const std::string& argument : argv) arguments.push_back(const_cast<char*>(argument.c_str()));
  arguments.push_back(nullptr);
  const double start = now_seconds();
  const pid_t child = fork();
  if (child == 0) {
    const std::string in = input_path.empty() ? "/dev/null" : input_path;
    if (std::freopen(in.c_str(), "r", stdin) == nullptr ||
        std::freopen("/dev/null", "w", stdout) == nullptr ||
        std::freopen("/dev/null", "w", stderr) == nullptr) {
      _exit(127);
    }
    execv(arguments[0], arguments.data());
    _exit(127);
  }
  ChildRun run;
  int status = 0;
  rusage usage{};
  if (child < 0 || wait4(child, &status, 0, &usage) != child) return run;
  run.wall_seconds = now_seconds() - start;
  const auto seconds = [](timeval t) { return static_cast<double>(t.tv_sec) + t.tv_usec * 1e-6; };
  run.cpu_seconds = seconds(usage.ru_utime) + seconds(usage.ru_stime);
  run.peak_bytes = static_cast<double>(usage.ru_maxrss) * 1024;  // ru_maxrss is in KiB
  run.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

}  // namespace lorvane::bench
