// SPDX-License-Identifier: MIT
// Linux: errno values mapped to the Windows numbers of the same failure.
#include <cerrno>

#include "os/os_code.h"

namespace talvi::os {

int OsCodeOf(int systemError) {
  switch (systemError) {
    case 0: return 0;
    case ENOENT: return kOsFileNotFound;
    case ENOTDIR: return kOsPathNotFound;
    case EACCES:
    case EPERM:
    case EISDIR: return kOsAccessDenied;
    case EROFS: return kOsWriteProtect;
    case ENOMEDIUM: return kOsNotReady;
    case EEXIST: return kOsFileExists;
    case EMFILE:
    case ENFILE: return kOsTooManyOpen;
    case ENOSPC:
    case EDQUOT: return kOsDiskFull;
    case ENAMETOOLONG: return kOsNameTooLong;
    case EAGAIN:
    case EDEADLK: return kOsLockViolation;
    case EINVAL:
    case EOVERFLOW: return kOsInvalidParameter;
    default: return kOsGenFailure;
  }
}

int LastOsCode() {
  return OsCodeOf(errno);
}

}  // namespace talvi::os
