// web_request downloading 128 MiB from nginx on loopback beside
// `curl -s -o /dev/null` of the same URL: both are programs run from the
// start, fetch_body keeping the body as web_request does. Also the floor of
// keeping it: curl's time plus that of filling 128 MiB of fresh memory 1024
// bytes at a time (fetch_body --fill), which curl writing to /dev/null does not
// pay.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "bench/loopback.h"
#include "bench/side_by_side.h"

namespace {

using namespace lorvane::bench;

constexpr long long kBody = 128ll << 20;
constexpr int kRounds = 9;

// nginx in the foreground, one process, serving `root` on `port`.
pid_t start_nginx(const std::string& nginx, const std::string& folder, int port) {
  const std::string config = folder + "/nginx.conf";
  std::ofstream(config) << "daemon off; master_process off; worker_processes 1;\n"
                        << "error_log " << folder << "/error.log; pid " << folder << "/nginx.pid;\n"
                        << "events { worker_connections 64; }\n"
                        << "http { access_log off; sendfile on;\n"
                        << "  client_body_temp_path " << folder << "/body;\n"
                        << "  proxy_temp_path " << folder << "/proxy;\n"
                        << "  fastcgi_temp_path " << folder << "/fastcgi;\n"
                        << "  server { listen 127.0.0.1:" << port << "; root " << folder
                        << "/www; } }\n";
  const pid_t child = fork();
  if (child == 0) {
    std::freopen("/dev/null", "w", stderr);
    execl(nginx.c_str(), nginx.c_str(), "-p", folder.c_str(), "-c", config.c_str(), nullptr);
    _exit(127);
  }
  return child;
}

std::string throughput(double seconds) {
  return format("%.0f MiB/s", static_cast<double>(kBody) / (1 << 20) / seconds);
}

}  // namespace

int main() {
  const std::string nginx = find_program({"/usr/sbin/nginx", "/usr/bin/nginx"});
  const std::string curl = find_program({"/usr/bin/curl"});
  if (nginx.empty() || curl.empty()) {
    std::fputs("net_comparison: needs nginx and curl (scripts/install-deps.sh)\n", stderr);
    return 1;
  }
  TemporaryFolder folder;
  std::system(("mkdir -p '" + folder.path() + "/www'").c_str());
  {
    std::ofstream file(folder.path() + "/www/large.bin", std::ios::binary);
    std::string block(1 << 20, '\0');
    for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>(i * 131 % 251);
    for (long long written = 0; written < kBody; written += block.size()) file << block;
  }
  const int port = free_port();
  const pid_t server = start_nginx(nginx, folder.path(), port);
  if (!wait_for_port(port)) {
    std::fputs("net_comparison: nginx did not start\n", stderr);
    return 1;
  }
  const std::string url = "http://127.0.0.1:" + std::to_string(port) + "/large.bin";
  const std::string length = std::to_string(kBody);
  bool whole = true;
  const auto ours = [&] {
    const ChildRun run = run_child({LORVANE_FETCH_BODY, url, length});
    whole = whole && run.exit_status == 0;
    return Figures{run.wall_seconds, run.peak_bytes};
  };
  const auto theirs = [&] {
    const ChildRun run = run_child({curl, "-s", "-o", "/dev/null", url});
    whole = whole && run.exit_status == 0;
    return Figures{run.wall_seconds, run.peak_bytes};
  };
  ours();  // the file into the page cache, the programs' libraries too
  const Medians download = interleaved(kRounds, ours, theirs);
  const Medians fill = interleaved(
      kRounds,
      [&] {
        return Figures{run_child({LORVANE_FETCH_BODY, "--fill", length}).wall_seconds};
      },
      [] { return Figures{0}; });
  kill(server, SIGTERM);
  waitpid(server, nullptr, 0);
  if (!whole) {
    std::fputs("net_comparison: a download came back short\n", stderr);
    return 1;
  }

  const double our_seconds = download.lorvane[0];
  const double curl_seconds = download.yardstick[0];
  const double quotient = curl_seconds / our_seconds;  // throughput: theirs' time over ours
  print_row("web_request GET 128 MiB from nginx (vs curl -s -o /dev/null), throughput",
            throughput(our_seconds), throughput(curl_seconds), ratio(quotient), ">= 0.80x",
            quotient >= 0.8);
  const double floor_seconds = curl_seconds + fill.lorvane[0];
  print_row("  its floor: curl's time + filling 128 MiB of fresh memory by 1024 bytes",
            throughput(our_seconds), throughput(floor_seconds),
            ratio(curl_seconds / floor_seconds) + " of curl", "(floor)",
            our_seconds <= floor_seconds * 1.25);
  const double peak = download.lorvane[1];
  const double bound = static_cast<double>(kBody) + (32 << 20);
  print_row("web_request GET 128 MiB, peak memory of the program (curl's beside it)",
            mebibytes(peak), mebibytes(download.yardstick[1]), "-", "<= body + 32 MiB",
            peak <= bound);
  return 0;
}
