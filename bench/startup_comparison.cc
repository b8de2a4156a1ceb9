// The window's start-up as a person sees it, beside a bare Qt window with the
// same six controls (bare_window): each program is started on a real X server
// (Xvfb) and timed from just before exec to the moment its window is mapped,
// which an X client of our own watches for on the root window. Lorvane's
// notice is answered "0" over https on loopback: lorvane-demo's https
// listener, on the port compiled into the bench build of the window
// (lorvane_for_bench). The memory figure is the program's peak resident set
// when its window appears. The floor rows put Lorvane beside the least a
// window can do that asks for the flag file first: the bare window that makes
// one libcurl https request before it shows (bare_window_fetching).
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <xcb/xcb.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "bench/loopback.h"
#include "bench/side_by_side.h"

namespace {

using namespace lorvane::bench;

constexpr int kRounds = 11;

// A private Xvfb; its display number is the one it reports.
class XServer {
 public:
  XServer() {
    int pipe_ends[2];
    if (pipe(pipe_ends) != 0) return;
    pid_ = fork();
    if (pid_ == 0) {
      close(pipe_ends[0]);
      std::freopen("/dev/null", "w", stderr);
      const std::string fd = std::to_string(pipe_ends[1]);
      execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1280x1024x24", "-nolisten",
             "tcp", nullptr);
      _exit(127);
    }
    close(pipe_ends[1]);
    char number[16] = {};
    std::size_t got = 0;
    while (got < sizeof number - 1) {
      const ssize_t n = read(pipe_ends[0], number + got, sizeof number - 1 - got);
      if (n <= 0) break;
      got += static_cast<std::size_t>(n);
      if (number[got - 1] == '\n') break;
    }
    close(pipe_ends[0]);
    if (got > 0) display_ = ":" + std::string(number, number + got - (number[got - 1] == '\n'));
  }
  ~XServer() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
  }
  XServer(const XServer&) = delete;
  XServer& operator=(const XServer&) = delete;

  const std::string& display() const { return display_; }

 private:
  pid_t pid_ = -1;
  std::string display_;
};

// The peak resident set of a running process, in bytes (VmHWM).
double peak_of(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind("VmHWM:", 0) == 0) return std::atof(line.c_str() + 6) * 1024;
  }
  return 0;
}

// Starts `program` on the X server and gives the seconds until it maps a
// top-level window and its peak memory then; the program is ended afterwards.
Figures time_to_window(xcb_connection_t* x, const std::string& display, const std::string& program,
                       const std::string& argument = {}) {
  const double start = now_seconds();
  const pid_t child = fork();
  if (child == 0) {
    setenv("DISPLAY", display.c_str(), 1);
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    std::freopen("/dev/null", "w", stdout);
    std::freopen("/dev/null", "w", stderr);
    if (argument.empty()) {
      execl(program.c_str(), program.c_str(), nullptr);
    } else {
      execl(program.c_str(), program.c_str(), argument.c_str(), nullptr);
    }
    _exit(127);
  }
  double seconds = -1;
  while (xcb_generic_event_t* event = xcb_wait_for_event(x)) {
    xcb_window_t window = XCB_WINDOW_NONE;
    if ((event->response_type & 0x7F) == XCB_MAP_NOTIFY) {
      const auto* map = reinterpret_cast<xcb_map_notify_event_t*>(event);
      if (!map->override_redirect) window = map->window;
    }
    std::free(event);
    if (window == XCB_WINDOW_NONE) continue;
    seconds = now_seconds() - start;
    // Only the main window counts: a notice box would mean the flag file was
    // not answered "0".
    xcb_get_geometry_reply_t* geometry =
        xcb_get_geometry_reply(x, xcb_get_geometry(x, window), nullptr);
    const bool main_window =
        geometry != nullptr && geometry->width == 368 && geometry->height == 329;
    std::free(geometry);
    if (!main_window) seconds = -1;
    break;
  }
  const double peak = peak_of(child);
  kill(child, SIGTERM);
  waitpid(child, nullptr, 0);
  return {seconds, peak};
}

}  // namespace

int main() {
  XServer server;
  if (server.display().empty()) {
    std::fputs("startup_comparison: Xvfb did not start (scripts/install-deps.sh)\n", stderr);
    return 1;
  }
  xcb_connection_t* x = xcb_connect(server.display().c_str(), nullptr);
  if (xcb_connection_has_error(x)) {
    std::fputs("startup_comparison: cannot connect to Xvfb\n", stderr);
    return 1;
  }
  const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(x)).data;
  const std::uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
  xcb_change_window_attributes(x, screen->root, XCB_CW_EVENT_MASK, &mask);
  xcb_flush(x);

  // The notice's host: the demo's https listener on the bench build's port.
  const pid_t demo = fork();
  if (demo == 0) {
    std::freopen("/dev/null", "w", stdout);
    std::freopen("/dev/null", "w", stderr);
    const std::string port = std::to_string(LORVANE_BENCH_NOTICE_PORT);
    execl(LORVANE_DEMO_PROGRAM, LORVANE_DEMO_PROGRAM, "--port", "0", "--tls-port", port.c_str(),
          nullptr);
    _exit(127);
  }
  const bool demo_up = wait_for_port(LORVANE_BENCH_NOTICE_PORT);

  const std::string flag_file =
      "https://127.0.0.1:" + std::to_string(LORVANE_BENCH_NOTICE_PORT) + "/abc.txt";
  const std::string& display = server.display();
  const auto ours = [&] { return time_to_window(x, display, LORVANE_WINDOW_PROGRAM); };
  const auto bare = [&] { return time_to_window(x, display, LORVANE_BARE_WINDOW); };
  const auto floor = [&] {
    return time_to_window(x, display, LORVANE_BARE_WINDOW_FETCHING, flag_file);
  };
  ours();  // libraries, fonts and the like into the caches
  bare();
  floor();
  const Medians medians = interleaved(kRounds, ours, bare);
  const Medians floors = interleaved(kRounds, ours, floor);
  kill(demo, SIGTERM);
  waitpid(demo, nullptr, 0);
  xcb_disconnect(x);
  if (!demo_up || medians.lorvane[0] < 0 || medians.yardstick[0] < 0 || floors.yardstick[0] < 0) {
    std::fputs("startup_comparison: a window did not appear\n", stderr);
    return 1;
  }
  print_at_most("the window, exec to mapped on Xvfb, notice \"0\" over https (vs bare Qt)",
                medians.lorvane[0], medians.yardstick[0], 1.25, milliseconds);
  print_at_most("the window, peak memory when mapped (vs bare Qt)", medians.lorvane[1],
                medians.yardstick[1], 1.2, mebibytes);
  // The floor: the bare window that first makes one https request with libcurl.
  print_row("  its floor: bare Qt + one libcurl https GET of the flag file, time",
            milliseconds(floors.lorvane[0]), milliseconds(floors.yardstick[0]),
            ratio(floors.lorvane[0] / floors.yardstick[0]) + " of floor",
            "floor " + ratio(floors.yardstick[0] / medians.yardstick[0]) + " of bare Qt",
            floors.lorvane[0] <= floors.yardstick[0] * 1.1);
  print_row("  its floor: bare Qt + one libcurl https GET of the flag file, memory",
            mebibytes(floors.lorvane[1]), mebibytes(floors.yardstick[1]),
            ratio(floors.lorvane[1] / floors.yardstick[1]) + " of floor",
            "floor " + ratio(floors.yardstick[1] / medians.yardstick[1]) + " of bare Qt",
            floors.lorvane[1] <= floors.yardstick[1] * 1.1);
  return 0;
}
