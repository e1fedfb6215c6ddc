// SPDX-License-Identifier: MIT
// A private Xvfb server for tests that need a real X display. Each instance
// picks a free display number itself (-displayfd), so test programs can run
// in parallel without stepping on each other's keyboards.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

extern char** environ;

namespace talvi::testing {

class XServer {
 public:
  XServer() {
    int fds[2];
    if (pipe(fds) != 0) return;
    const std::string fd = std::to_string(fds[1]);
    std::vector<std::string> args = {"Xvfb",        "-displayfd", fd,    "-screen", "0",
                                     "1024x768x24", "-nolisten",  "tcp", "-noreset"};
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const int rc = posix_spawnp(&pid_, "Xvfb", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    if (rc != 0) {
      pid_ = -1;
      close(fds[0]);
      return;
    }
    // Xvfb writes the display number followed by a newline once it is ready.
    std::string number;
    char c;
    while (read(fds[0], &c, 1) == 1 && c != '\n') number += c;
    close(fds[0]);
    if (number.empty()) return;
    display_ = ":" + number;
  }

  ~XServer() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
    }
  }

  XServer(const XServer&) = delete;
  XServer& operator=(const XServer&) = delete;

  bool ok() const { return !display_.empty(); }
  // ":N", or empty when the server did not start.
  const std::string& display() const { return display_; }
  pid_t pid() const { return pid_; }
  // Points DISPLAY of this process (and the children it starts) here.
  void exportDisplay() const { setenv("DISPLAY", display_.c_str(), 1); }

 private:
  pid_t pid_ = -1;
  std::string display_;
};

}  // namespace talvi::testing
