// SPDX-License-Identifier: MIT
#include <fcntl.h>
#include <io.h>

#include <cstdio>

#include "opd/binary_stdout.h"

namespace talvi::opd {

bool PrepareBinaryStdout() {
  if (::_isatty(::_fileno(stdout)) != 0) return false;
  std::fflush(stdout);
  return ::_setmode(::_fileno(stdout), _O_BINARY) != -1;
}

}  // namespace talvi::opd
