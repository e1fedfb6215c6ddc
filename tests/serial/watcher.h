// SPDX-License-Identifier: MIT
// The watcher thread of a port as the port layer reports it, and what Linux
// tells of that thread: lets tests check that a port's own watcher ended
// with the port (or used no processor) without counting the process's
// threads, which a sanitizer's run-time may add to at any moment.
#pragma once

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "serial/comm_port.h"

namespace talvi::testing {

// Generous: these normally take microseconds.
inline constexpr auto kWatcherPatience = std::chrono::seconds(30);

// The kernel id of an open port's watcher, once it has started; 0 when it
// did not start within the patience.
inline std::uint64_t WatcherOf(serial::Handle port) {
  const auto end = std::chrono::steady_clock::now() + kWatcherPatience;
  std::uint64_t id = serial::PortWatcherId(port);
  while (id == 0 && std::chrono::steady_clock::now() < end) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    id = serial::PortWatcherId(port);
  }
  return id;
}

// Whether the port layer counts this watcher as running.
inline bool WatcherRunning(std::uint64_t id) {
  const std::vector<std::uint64_t> running = serial::RunningWatchers();
  return std::find(running.begin(), running.end(), id) != running.end();
}

inline std::string TaskPath(std::uint64_t tid) {
  return "/proc/self/task/" + std::to_string(tid);
}

// Whether the system's thread with this kernel id has gone from the
// process, waiting up to the patience: a joined thread leaves the task list
// a moment after its joiner has been told that it ended.
inline bool ThreadGone(std::uint64_t tid) {
  const std::string path = TaskPath(tid);
  const auto end = std::chrono::steady_clock::now() + kWatcherPatience;
  while (::access(path.c_str(), F_OK) == 0) {
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

// The processor time the thread has used so far, in seconds; -1 when the
// system does not tell.
inline double ThreadCpuSeconds(std::uint64_t tid) {
  std::ifstream stat(TaskPath(tid) + "/schedstat");
  unsigned long long ns = 0;
  if (!(stat >> ns)) return -1;
  return static_cast<double>(ns) / 1e9;
}

}  // namespace talvi::testing
