// SPDX-License-Identifier: MIT
#include <windows.h>

#include "lib/startup_files.h"

namespace talvi::lib::startup_files {

void FailCriticalErrorsQuietly() {
  SetErrorMode(SEM_FAILCRITICALERRORS);
}

void CloseFile(FileHandle handle) {
  CloseHandle(reinterpret_cast<HANDLE>(handle));
}

}  // namespace talvi::lib::startup_files
