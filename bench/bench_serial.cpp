// SPDX-License-Identifier: MIT
// Receive throughput and latency of the serial layer: bytes written on the
// master of a real pseudo-terminal travel through the port's watcher, its
// ring and the notification to a window thread whose handler does what the
// transfer program's does (disarm, READCOMM of 1000 bytes, re-arm).
// Runs standalone, without arguments, in a few seconds.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "serial/pty.h"
#include "serial/serial.h"
#include "serial/window_thread.h"

namespace {

using Clock = std::chrono::steady_clock;
using talvi::serial::Handle;
using talvi::serial::WindowHandle;

constexpr double kLineRate = 5760.0;  // bytes per second at 57600 8N1
constexpr WindowHandle kWindow = 1;

// What the handler has received so far, checked against the pattern sent.
struct Receiver {
  std::mutex mutex;
  std::condition_variable changed;
  std::string expected;
  std::size_t received = 0;
  std::size_t notifications = 0;
  bool corrupt = false;
  Clock::time_point last;

  void OnNotify(WindowHandle window, std::intptr_t port) {
    talvi::serial::ENABLECOMMNOTIFICATION(port, 0, 1, -1);
    std::string buffer(1000, ' ');
    const int n = talvi::serial::READCOMM(port, buffer);
    talvi::serial::ENABLECOMMNOTIFICATION(port, window, 1, -1);
    std::lock_guard lock(mutex);
    ++notifications;
    const auto count = static_cast<std::size_t>(n);
    if (received + count > expected.size() ||
        std::memcmp(buffer.data(), expected.data() + received, count) != 0) {
      corrupt = true;
    }
    received += count;
    last = Clock::now();
    changed.notify_all();
  }

  // Waits until `total` bytes have come; gives the moment the last came.
  bool WaitFor(std::size_t total, std::chrono::seconds limit, Clock::time_point& when) {
    std::unique_lock lock(mutex);
    const bool done = changed.wait_for(lock, limit, [&] { return received >= total || corrupt; });
    when = last;
    return done && !corrupt;
  }
};

int Run() {
  talvi::testing::Pty pty;
  if (!pty.ok()) {
    std::fprintf(stderr, "bench_serial: no pseudo-terminal available\n");
    return 1;
  }
  Receiver receiver;
  talvi::testing::WindowThread window([&](WindowHandle w, unsigned, std::intptr_t wParam,
                                          std::intptr_t) { receiver.OnNotify(w, wParam); });
  talvi::serial::SetWindowSender(window.Sender());

  const Handle port = talvi::serial::OPENCOMM(pty.name(), 16384, 16384);
  std::string dcb;
  if (port < 0 || !talvi::serial::BUILDCOMMDCB("57600,N,8,1", dcb) ||
      !talvi::serial::SETCOMMSTATE(port, dcb)) {
    std::fprintf(stderr, "bench_serial: cannot open %s\n", pty.name().c_str());
    return 1;
  }
  talvi::serial::ENABLECOMMNOTIFICATION(port, kWindow, 1, -1);

  // 1. Latency: one byte at a time, each awaited by the handler.
  const int rounds = 300;
  receiver.expected = talvi::testing::Pattern(rounds, 1);
  std::vector<double> micros;
  bool ok = true;
  for (int i = 0; i < rounds && ok; ++i) {
    const auto start = Clock::now();
    pty.Send(receiver.expected.substr(static_cast<std::size_t>(i), 1));
    Clock::time_point arrived;
    ok = receiver.WaitFor(static_cast<std::size_t>(i) + 1, std::chrono::seconds(5), arrived);
    micros.push_back(std::chrono::duration<double, std::micro>(arrived - start).count());
  }
  std::sort(micros.begin(), micros.end());

  // 2. Throughput: a long burst, written as fast as the line takes it.
  const std::size_t burst = 16U << 20;
  {
    std::lock_guard lock(receiver.mutex);
    receiver.expected = talvi::testing::Pattern(burst, 2);
    receiver.received = 0;
    receiver.notifications = 0;
  }
  const auto start = Clock::now();
  std::thread remote([&] {
    for (std::size_t at = 0; at < burst; at += 65536) {
      pty.Send(receiver.expected.substr(at, std::min<std::size_t>(65536, burst - at)));
    }
  });
  Clock::time_point end;
  ok = receiver.WaitFor(burst, std::chrono::seconds(60), end) && ok;
  if (!ok) {
    // The remote thread may be stuck on a full line: leave at once.
    std::fprintf(stderr, "bench_serial: bytes lost, corrupted or late\n");
    std::fflush(nullptr);
    std::_Exit(1);
  }
  remote.join();
  const double seconds = std::chrono::duration<double>(end - start).count();
  talvi::serial::CLOSECOMM(port);
  talvi::serial::SetWindowSender({});

  const double rate = static_cast<double>(burst) / seconds;
  std::printf("serial receive path (pty -> watcher -> ring -> notification -> READCOMM)\n");
  std::printf("  latency, one byte to handler: median %.0f us, p99 %.0f us (%d rounds)\n",
              micros[micros.size() / 2], micros[micros.size() * 99 / 100], rounds);
  std::printf("  throughput: %zu bytes in %.3f s = %.0f bytes/s (%.1f MiB/s)\n", burst, seconds,
              rate, rate / (1 << 20));
  std::printf("  = %.0f x the 57600 8N1 line rate (%.0f bytes/s)\n", rate / kLineRate, kLineRate);
  std::printf("  notifications: %zu, %.0f bytes each on average, all bytes in order\n",
              receiver.notifications,
              static_cast<double>(burst) / static_cast<double>(receiver.notifications));
  return 0;
}

}  // namespace

int main() {
  return Run();
}
