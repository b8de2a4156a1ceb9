// The web layer's costs that grow with the input: reading a large response
// body through web_request (against the recording backend, so only our own
// work and the 1024-byte reads are measured), and merging long cookie texts.
// Both must stay linear; the BigO lines give the fitted complexity.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <cstdint>
#include <string>

#include "tests/support/recording_internet.h"
#include "text/text.h"
#include "web/cookies.h"
#include "web/web_request.h"

namespace lorvane {
namespace {

constexpr std::int64_t mebibyte = 1024 * 1024;

// A body of range(0) MiB, read in 1024-byte pieces.
void BM_WebRequestLargeBody(benchmark::State& state) {
  const std::int64_t length = state.range(0) * mebibyte;
  for (auto _ : state) {
    recording::Script script;
    script.raw_headers = "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\n\r\n";
    script.synthetic_body_length = length;
    script.record_reads = false;
    recording::reset(std::move(script));

    const Bytes body = web_request("http://127.0.0.1/large");
    if (static_cast<std::int64_t>(body.view().size()) != length) {
      state.SkipWithError("the body came back short");
      break;
    }
    benchmark::DoNotOptimize(body.data());
  }
  state.SetBytesProcessed(state.iterations() * length);
  state.SetComplexityN(length);
  // The process's peak so far: about one body when the body is neither copied
  // whole while it grows nor held twice when it is handed back.
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  state.counters["peak_rss_MiB"] = static_cast<double>(usage.ru_maxrss) / 1024;
}
BENCHMARK(BM_WebRequestLargeBody)
    ->Arg(64)
    ->Arg(256)
    // Several runs of the large size, or its first run's page faults dominate.
    ->MinTime(2.0)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

// range(0) sent and range(0) received entries: every second sent name is also
// set by the server, every tenth received cookie is deleted, and the values
// hold spaces that the merge removes.
struct CookieTexts {
  Text sent;
  Text received;
};

CookieTexts cookie_texts(std::int64_t count) {
  std::string sent, received;
  for (std::int64_t i = 0; i < count; ++i) {
    const std::string number = std::to_string(i);
    sent += (i % 2 == 0 ? "shared" : "mine") + number + "=sent value " + number + "; ";
    received += "shared" + std::to_string(i * 2) +
                (i % 10 == 0 ? std::string("=deleted") : "=from server " + number) + "; ";
  }
  return {Text(sent), Text(received)};
}

void BM_MergeCookies(benchmark::State& state) {
  const CookieTexts texts = cookie_texts(state.range(0));
  for (auto _ : state) {
    Text sent = texts.sent;
    Text received = texts.received;
    benchmark::DoNotOptimize(merge_cookies(sent, received));
  }
  state.SetItemsProcessed(state.iterations() * state.range(0) * 2);
  state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_MergeCookies)
    ->RangeMultiplier(4)
    ->Range(256, 16384)
    ->Unit(benchmark::kMicrosecond)
    ->Complexity();

}  // namespace
}  // namespace lorvane
