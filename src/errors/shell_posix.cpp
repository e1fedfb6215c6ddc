// SPDX-License-Identifier: MIT
// The program's own path and the desktop's default handler on Linux.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

#include "errors/errorsys.h"

extern char** environ;

namespace talvi::errors {

std::string ProgramPath() {
  std::vector<char> buffer(256);
  for (;;) {
    const ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n < 0) return {};
    if (static_cast<std::size_t>(n) < buffer.size()) {
      return std::string(buffer.data(), static_cast<std::size_t>(n));
    }
    buffer.resize(buffer.size() * 2);
  }
}

void OpenWithDefaultHandler(const std::string& link) {
  // A short-lived shell starts xdg-open in the background and ends at once,
  // so the handler lives on by itself (also after this program has quit)
  // and no child is left for us to reap.
  std::string shell = "/bin/sh", dash_c = "-c", script = "xdg-open \"$1\" >/dev/null 2>&1 &",
              name = "sh", argument = link;
  char* argv[] = {shell.data(), dash_c.data(),   script.data(),
                  name.data(),  argument.data(), nullptr};
  posix_spawn_file_actions_t actions;
  if (posix_spawn_file_actions_init(&actions) != 0) return;
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  pid_t child = 0;
  const int failed = posix_spawn(&child, shell.c_str(), &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  if (failed != 0) return;
  while (waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
  }
}

}  // namespace talvi::errors
