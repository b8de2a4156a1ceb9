// Downloads from the loopback test server through the curl backend.
//
// StreamThroughInternetFunctions reads and drops the body, 1024 bytes at a
// time, and runs first: the growth of the peak resident size it reports shows
// what the backend itself holds while a large body streams through.
// WebRequest keeps the whole body, as web_request does; its peak should stay
// near the body's own size.
#include <sys/resource.h>

#include <string>

#include "benchmark/benchmark.h"
#include "platform/internet.h"
#include "tests/support/test_servers.h"
#include "text/values.h"
#include "web/web_request.h"

namespace {

using namespace lorvane::platform;

constexpr double kMiB = 1024.0 * 1024.0;

double peak_resident_mib() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) * 1024.0 / kMiB;  // ru_maxrss is in KiB
}

lorvane::test::TestServers& servers() {
  static lorvane::test::TestServers instance;
  return instance;
}

std::string large_path(long long bytes) { return "/large?bytes=" + std::to_string(bytes); }

void StreamThroughInternetFunctions(benchmark::State& state) {
  const long long bytes = state.range(0) * 1024 * 1024;
  const int port = servers().http_port();
  const double peak_before = peak_resident_mib();
  for (auto _ : state) {
    HINTERNET internet = InternetOpenA("bench", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
    HINTERNET connection = InternetConnectA(internet, "127.0.0.1", static_cast<INTERNET_PORT>(port),
                                            nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0);
    HINTERNET request = HttpOpenRequestA(connection, "GET", large_path(bytes).c_str(), "HTTP/1.1",
                                         nullptr, nullptr, INTERNET_FLAG_RELOAD, 0);
    HttpSendRequestA(request, nullptr, 0, nullptr, 0);
    char buffer[1024];
    DWORD count = 0;
    long long total = 0;
    do {
      InternetReadFile(request, buffer, sizeof buffer, &count);
      total += count;
    } while (count > 0);
    InternetCloseHandle(request);
    InternetCloseHandle(connection);
    InternetCloseHandle(internet);
    if (total != bytes) state.SkipWithError("short body");
  }
  state.SetBytesProcessed(state.iterations() * bytes);
  state.counters["body_MiB"] = static_cast<double>(bytes) / kMiB;
  state.counters["peak_growth_MiB"] = peak_resident_mib() - peak_before;
}
BENCHMARK(StreamThroughInternetFunctions)->Arg(256)->Unit(benchmark::kMillisecond)->Iterations(2);

void WebRequest(benchmark::State& state) {
  const long long bytes = state.range(0) * 1024 * 1024;
  const bool https = state.range(1) != 0;
  const std::string url = std::string(https ? "https" : "http") + "://127.0.0.1:" +
                          std::to_string(https ? servers().https_port() : servers().http_port()) +
                          large_path(bytes);
  const double peak_before = peak_resident_mib();
  for (auto _ : state) {
    const lorvane::Bytes body = lorvane::web_request(lorvane::Text(url.c_str()));
    if (static_cast<long long>(body.view().size()) != bytes) state.SkipWithError("short body");
  }
  state.SetBytesProcessed(state.iterations() * bytes);
  state.counters["body_MiB"] = static_cast<double>(bytes) / kMiB;
  state.counters["peak_MiB"] = peak_resident_mib();
  state.counters["peak_growth_MiB"] = peak_resident_mib() - peak_before;
}
BENCHMARK(WebRequest)
    ->ArgNames({"MiB", "https"})
    ->Args({64, 0})
    ->Args({256, 0})
    ->Args({256, 1})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2);

}  // namespace
