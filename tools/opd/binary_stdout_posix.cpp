// SPDX-License-Identifier: MIT
#include <unistd.h>

#include "opd/binary_stdout.h"

namespace talvi::opd {

bool PrepareBinaryStdout() {
  return ::isatty(STDOUT_FILENO) == 0;
}

}  // namespace talvi::opd
