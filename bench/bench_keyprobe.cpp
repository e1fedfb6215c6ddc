// SPDX-License-Identifier: MIT
// What the Esc probe costs on X11 while a session waits: one probe every
// 10 ms (as the session's waits make them) on a private Xvfb, first
// following the server's key events, then asking for the keymap on every
// probe. Prints the processor time per probe of this process and of the X
// server. Usage: bench_keyprobe [probes]   (default 1000)
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

#include "os/keystate.h"
#include "os/keystate_x11.h"
#include "support/xserver.h"

namespace {

double OwnCpuSeconds() {
  rusage use{};
  getrusage(RUSAGE_SELF, &use);
  const auto us = [](const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6;
  };
  return us(use.ru_utime) + us(use.ru_stime);
}

// User and system time of another process, from /proc.
double ProcessCpuSeconds(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string field;
  double ticks = 0;
  for (int i = 1; i <= 15 && stat >> field; ++i) {
    if (i == 14 || i == 15) ticks += std::stod(field);
  }
  return ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
}

struct Cost {
  double own = 0;     // us of this process per probe
  double server = 0;  // us of the X server per probe
};

Cost Measure(pid_t server, int probes) {
  const double own0 = OwnCpuSeconds();
  const double server0 = ProcessCpuSeconds(server);
  for (int i = 0; i < probes; ++i) {
    talvi::os::IsKeyDown(27);
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return {(OwnCpuSeconds() - own0) * 1e6 / probes,
          (ProcessCpuSeconds(server) - server0) * 1e6 / probes};
}

}  // namespace

int main(int argc, char** argv) {
  const int probes = argc > 1 ? std::atoi(argv[1]) : 1000;
  talvi::testing::XServer server;
  if (!server.ok()) {
    std::fprintf(stderr, "bench_keyprobe: Xvfb did not start\n");
    return 1;
  }
  server.exportDisplay();
  talvi::os::IsKeyDown(27);
  if (!talvi::os::detail::FollowsKeyEvents()) {
    std::fprintf(stderr, "bench_keyprobe: the server sends no raw key events\n");
    return 1;
  }
  const Cost events = Measure(server.pid(), probes);
  talvi::os::detail::SetKeymapResyncInterval(std::chrono::milliseconds(0));
  const Cost asking = Measure(server.pid(), probes);
  std::printf("%d probes, one every 10 ms; processor time per probe:\n", probes);
  std::printf("  following key events: this process %6.1f us, X server %6.1f us\n", events.own,
              events.server);
  std::printf("  asking for the keymap: this process %6.1f us, X server %6.1f us\n", asking.own,
              asking.server);
  std::printf("  together: %.1f x less with the events\n",
              (asking.own + asking.server) / (events.own + events.server));
  return 0;
}
