// lorvane-push planning a push against a large ledger: the program as a user
// runs it (a child process, --dry-run, so that nothing is sent), with 2,000
// new URLs, against a ledger that holds 1,000,000 accepted URLs of the same
// interface. Its yardstick is the same dry run against an empty ledger, in the
// same run. Reported: the wall time of the child, its peak resident memory
// (ru_maxrss) and both as ratios to the yardstick.
#include <fcntl.h>
#include <spawn.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "benchmark/benchmark.h"
#include "cli/ledger.h"
#include "cli/push.h"

extern char** environ;

namespace {

constexpr int ledger_urls = 1'000'000;
constexpr int new_urls = 2'000;
constexpr char address[] = "http://127.0.0.1:9/urls?site=www.example.com&token=t";

std::filesystem::path folder() {
  auto path = std::filesystem::temp_directory_path() /
              ("lorvane-push-benchmark-" + std::to_string(getpid()));
  std::filesystem::create_directories(path);
  return path;
}

// A ledger of `count` URLs of the interface, all accepted, written straight
// through SQLite in one transaction after the ledger made its tables.
std::string make_ledger(const std::string& name, int count) {
  const std::string path = (folder() / name).string();
  if (std::filesystem::exists(path)) return path;
  long long interface = 0;
  {
    lorvane::Ledger ledger(path);
    interface = ledger.interface_id(lorvane::interface_key(address));
  }
  sqlite3* database = nullptr;
  sqlite3_open(path.c_str(), &database);
  sqlite3_exec(database, "BEGIN", nullptr, nullptr, nullptr);
  sqlite3_stmt* insert = nullptr;
  sqlite3_prepare_v2(database,
                     "INSERT INTO urls (interface, url, first_seen, last_sent, outcome, "
                     "queue_order) VALUES (?1, ?2, 1700000000, 1700000000, 'accepted', ?3)",
                     -1, &insert, nullptr);
  for (int n = 1; n <= count; ++n) {
    const std::string url = "http://www.example.com/articles/" + std::to_string(n) + ".html";
    sqlite3_bind_int64(insert, 1, interface);
    sqlite3_bind_blob(insert, 2, url.data(), static_cast<int>(url.size()), SQLITE_TRANSIENT);
    sqlite3_bind_int64(insert, 3, n);
    if (sqlite3_step(insert) != SQLITE_DONE) throw std::runtime_error(sqlite3_errmsg(database));
    sqlite3_reset(insert);
  }
  sqlite3_finalize(insert);
  sqlite3_exec(database, "COMMIT", nullptr, nullptr, nullptr);
  sqlite3_close(database);
  return path;
}

// 2,000 URLs the ledger has never seen.
std::string new_url_file() {
  const std::string path = (folder() / "new.txt").string();
  std::ofstream list(path);
  for (int n = 1; n <= new_urls; ++n) {
    list << "http://www.example.com/new/" << n << ".html\n";
  }
  return path;
}

struct Measured {
  double seconds = 0;
  double peak_mib = 0;
};

// One dry run of lorvane-push against `ledger`: wall time and peak memory.
Measured dry_run(const std::string& ledger, const std::string& list) {
  std::vector<std::string> arguments = {
      LORVANE_PUSH_PROGRAM, "--dry-run", "--ledger", ledger, address, list};
  std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  const auto start = std::chrono::steady_clock::now();
  pid_t pid = -1;
  if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
    throw std::runtime_error("cannot start lorvane-push");
  }
  posix_spawn_file_actions_destroy(&actions);
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  const auto end = std::chrono::steady_clock::now();
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) throw std::runtime_error("dry run failed");
  return {std::chrono::duration<double>(end - start).count(),
          static_cast<double>(usage.ru_maxrss) / 1024.0};
}

void run(benchmark::State& state, const std::string& ledger) {
  const std::string list = new_url_file();
  const std::string yardstick_ledger = make_ledger("empty.sqlite", 0);
  Measured total;
  Measured yardstick;
  for (auto _ : state) {
    const Measured measured = dry_run(ledger, list);
    state.SetIterationTime(measured.seconds);
    total.seconds += measured.seconds;
    total.peak_mib = std::max(total.peak_mib, measured.peak_mib);
    state.PauseTiming();
    const Measured empty = dry_run(yardstick_ledger, list);
    yardstick.seconds += empty.seconds;
    yardstick.peak_mib = std::max(yardstick.peak_mib, empty.peak_mib);
    state.ResumeTiming();
  }
  state.counters["peak_MiB"] = total.peak_mib;
  state.counters["time_vs_empty_ledger"] = total.seconds / yardstick.seconds;
  state.counters["memory_vs_empty_ledger"] = total.peak_mib / yardstick.peak_mib;
}

// The figure: planning 2,000 new URLs against 1,000,000 recorded ones
// (targets: under a second, under 200 MiB).
void BM_PlanAgainstMillionUrlLedger(benchmark::State& state) {
  run(state, make_ledger("million.sqlite", ledger_urls));
}
BENCHMARK(BM_PlanAgainstMillionUrlLedger)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

// The yardstick alone: the same dry run against an empty ledger.
void BM_PlanAgainstEmptyLedger(benchmark::State& state) {
  run(state, make_ledger("empty.sqlite", 0));
}
BENCHMARK(BM_PlanAgainstEmptyLedger)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

// Cleans up the ledgers after every benchmark ran.
struct RemoveFolder {
  ~RemoveFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(folder(), ignored);
  }
} remove_folder;

}  // namespace
