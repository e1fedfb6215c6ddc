// SPDX-License-Identifier: MIT
// A helper for the lock tests between systems: opens FILE shared, locks
// LENGTH bytes at OFFSET, prints "locked" (or "refused"), then holds the
// lock until its standard input ends. Built for Windows, run under Wine by
// the Linux test wine_lock_process_test.cpp.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "os/shared_file.h"

int main(int argc, char** argv) {
  if (argc != 4) return 64;
  int oscode = 0;
  auto f = talvi::os::SharedFile::Open(argv[1], talvi::os::SharedMode(false), oscode);
  if (!f) {
    std::printf("open failed %d\n", oscode);
    return 2;
  }
  const auto offset = std::strtoull(argv[2], nullptr, 10);
  const auto length = std::strtoull(argv[3], nullptr, 10);
  std::puts(f->TryLock(offset, length) ? "locked" : "refused");
  std::fflush(stdout);
  while (std::getchar() != EOF) {
  }
  return 0;
}
