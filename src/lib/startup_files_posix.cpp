// SPDX-License-Identifier: MIT
#include <unistd.h>

#include "lib/startup_files.h"

namespace talvi::lib::startup_files {

// Linux shows no box of its own for a drive that is not ready.
void FailCriticalErrorsQuietly() {}

void CloseFile(FileHandle handle) {
  close(static_cast<int>(handle));
}

}  // namespace talvi::lib::startup_files
