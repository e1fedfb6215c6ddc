// SPDX-License-Identifier: MIT
// Runs a shell command line for a test that drives another program (the
// talvi-dbf tool, the other DBF readers) and gives what it printed and how
// it exited. POSIX only: the tests that use it are process tests.
#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <string>

namespace talvi::dbf::testing {

struct CommandOutput {
  int code = -1;  // exit status; -1 when it did not exit normally or did not start
  std::string out;
};

// `command` runs through /bin/sh; its standard output is read to the end
// (redirect standard error in the command line to see it too).
inline CommandOutput RunCommand(const std::string& command) {
  CommandOutput r;
  FILE* p = ::popen(command.c_str(), "r");
  if (p == nullptr) return r;
  char buf[4096];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
  const int status = ::pclose(p);
  r.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

}  // namespace talvi::dbf::testing
