// Posting long URL lists to a loopback interface that reads each body whole
// and answers like the real one.
//
// UrlListFromUtf8 is the terminal boundary alone (join and convert);
// ReplyForTerminal the way back, a refused reply full of bytes of no character;
// SubmitUrls is submit_urls through the curl backend; LorvaneSubmit is the
// command as a user runs it, a child process fed on standard input. Each runs
// at several list lengths, and the fitted complexity shows the work growing
// linearly with the list.
#include <httplib.h>

#include <atomic>
#include <string>
#include <thread>

#include "app/submission.h"
#include "bench/loopback_interface.h"
#include "benchmark/benchmark.h"
#include "cli/terminal_text.h"
#include "tests/cli/child_process.h"

namespace {

using lorvane::bench::LoopbackInterface;

LoopbackInterface& interface() {
  static LoopbackInterface instance;
  return instance;
}

// `lines` URLs, one a line with LF, every tenth with Chinese text (文章).
std::string url_lines(long long lines) {
  std::string text;
  for (long long line = 1; line <= lines; ++line) {
    text += "https://www.example.com/";
    if (line % 10 == 0) text += "\xE6\x96\x87\xE7\xAB\xA0/";
    text += std::to_string(line) + ".html\n";
  }
  return text;
}

void UrlListFromUtf8(benchmark::State& state) {
  const std::string input = url_lines(state.range(0));
  for (auto _ : state) {
    lorvane::ConvertedText list = lorvane::url_list_from_utf8(input);
    benchmark::DoNotOptimize(list);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<long long>(input.size()));
  state.SetItemsProcessed(state.iterations() * state.range(0));
  state.SetComplexityN(state.range(0));
}
BENCHMARK(UrlListFromUtf8)->RangeMultiplier(10)->Range(1000, 1000000)->Complexity(benchmark::oN);

// A refused reply on its way to the terminal: the whole reply is in the result
// line. A UTF-8 error page read as code page 936 has a byte of no character
// every few bytes, and each one must cost no more than the bytes around it.
void ReplyForTerminal(benchmark::State& state) {
  std::string reply;
  while (reply.size() < static_cast<std::size_t>(state.range(0))) reply += "<p>\xFF\xE6\x96\x87";
  for (auto _ : state) {
    std::string shown = lorvane::utf8_for_terminal(reply);
    benchmark::DoNotOptimize(shown);
  }
  state.SetBytesProcessed(state.iterations() * static_cast<long long>(reply.size()));
  state.SetComplexityN(state.range(0));
}
BENCHMARK(ReplyForTerminal)
    ->RangeMultiplier(4)
    ->Range(16 << 10, 1 << 20)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

void SubmitUrls(benchmark::State& state) {
  const lorvane::Text address(interface().address());
  const lorvane::Text list = lorvane::url_list_from_utf8(url_lines(state.range(0))).text;
  for (auto _ : state) {
    lorvane::SubmitResult result = lorvane::submit_urls(address, list);
    if (result.outcome != lorvane::SubmitOutcome::accepted ||
        interface().last_length() != list.view().size()) {
      state.SkipWithError("the list did not arrive whole");
    }
  }
  state.SetBytesProcessed(state.iterations() * static_cast<long long>(list.view().size()));
  state.SetItemsProcessed(state.iterations() * state.range(0));
  state.SetComplexityN(state.range(0));
}
// Wall time: the work is shared with the server thread.
BENCHMARK(SubmitUrls)
    ->UseRealTime()
    ->RangeMultiplier(10)
    ->Range(1000, 1000000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

void LorvaneSubmit(benchmark::State& state) {
  const std::string input = url_lines(state.range(0));
  for (auto _ : state) {
    lorvane::testing::Finished finished =
        lorvane::testing::run_program(LORVANE_SUBMIT_PROGRAM, {interface().address()}, input);
    if (finished.exit_status != 0) state.SkipWithError("lorvane-submit failed");
  }
  state.SetBytesProcessed(state.iterations() * static_cast<long long>(input.size()));
  state.SetItemsProcessed(state.iterations() * state.range(0));
  state.SetComplexityN(state.range(0));
}
// Wall time: the work is done in the child process.
BENCHMARK(LorvaneSubmit)
    ->UseRealTime()
    ->RangeMultiplier(10)
    ->Range(1000, 1000000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

}  // namespace
