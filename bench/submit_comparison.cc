// lorvane-submit posting 100,000 URLs beside `curl --data-binary` of the very
// bytes it sends, both to one loopback interface that reads each body whole:
// the CPU time (user and system) of each program from its start to its end.
#include <httplib.h>

#include <atomic>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>

#include "bench/loopback.h"
#include "bench/loopback_interface.h"
#include "bench/side_by_side.h"

namespace {

using namespace lorvane::bench;

constexpr int kLines = 100000;
constexpr int kRounds = 15;

}  // namespace

int main() {
  const std::string curl = find_program({"/usr/bin/curl"});
  if (curl.empty()) {
    std::fputs("submit_comparison: needs curl (scripts/install-deps.sh)\n", stderr);
    return 1;
  }
  // The list as a user has it (UTF-8, LF) and the body that goes out (code
  // page 936, CR LF between lines): every tenth URL holds 文章.
  TemporaryFolder folder;
  const std::string utf8_path = folder.path() + "/urls.txt";
  const std::string body_path = folder.path() + "/body.bin";
  std::string utf8, body;
  for (int line = 1; line <= kLines; ++line) {
    const std::string head = "https://www.example.com/";
    const std::string tail = std::to_string(line) + ".html";
    const bool chinese = line % 10 == 0;
    utf8 += head + (chinese ? "\xE6\x96\x87\xE7\xAB\xA0/" : "") + tail + "\n";
    if (line > 1) body += "\r\n";
    body += head + (chinese ? "\xCE\xC4\xD5\xC2/" : "") + tail;
  }
  std::ofstream(utf8_path, std::ios::binary) << utf8;
  std::ofstream(body_path, std::ios::binary) << body;

  LoopbackInterface interface;
  bool whole = true;
  const auto ours = [&] {
    const ChildRun run = run_child({LORVANE_SUBMIT_PROGRAM, interface.address(), utf8_path});
    whole = whole && run.exit_status == 0 && interface.last_length() == body.size();
    return Figures{run.cpu_seconds, run.wall_seconds};
  };
  const auto theirs = [&] {
    const ChildRun run = run_child(
        {curl, "-s", "-o", "/dev/null", "--data-binary", "@" + body_path, interface.address()});
    whole = whole && run.exit_status == 0 && interface.last_length() == body.size();
    return Figures{run.cpu_seconds, run.wall_seconds};
  };
  ours();
  theirs();
  const Medians medians = interleaved(kRounds, ours, theirs);
  if (!whole) {
    std::fputs("submit_comparison: a list did not arrive whole\n", stderr);
    return 1;
  }
  print_at_most("lorvane-submit, 100,000 URLs (vs curl --data-binary), CPU time",
                medians.lorvane[0], medians.yardstick[0], 2.0, milliseconds);
  return 0;
}
