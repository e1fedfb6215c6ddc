// SPDX-License-Identifier: MIT
// The system error numbers that error objects carry as their OS code: the
// Windows numbers (GetLastError) on every system. On Windows a system
// error is its own code; on Linux an errno value is mapped to the Windows
// number of the same failure (docs/linux-mapping.md), so that the error
// handler and the table engine decide alike on both.
#pragma once

namespace talvi::os {

inline constexpr int kOsFileNotFound = 2;       // ERROR_FILE_NOT_FOUND
inline constexpr int kOsPathNotFound = 3;       // ERROR_PATH_NOT_FOUND
inline constexpr int kOsTooManyOpen = 4;        // ERROR_TOO_MANY_OPEN_FILES
inline constexpr int kOsAccessDenied = 5;       // ERROR_ACCESS_DENIED
inline constexpr int kOsInvalidHandle = 6;      // ERROR_INVALID_HANDLE
inline constexpr int kOsWriteProtect = 19;      // ERROR_WRITE_PROTECT
inline constexpr int kOsNotReady = 21;          // ERROR_NOT_READY (drive without a medium)
inline constexpr int kOsSectorNotFound = 27;    // ERROR_SECTOR_NOT_FOUND (unformatted medium)
inline constexpr int kOsGenFailure = 31;        // ERROR_GEN_FAILURE
inline constexpr int kOsSharingViolation = 32;  // ERROR_SHARING_VIOLATION
inline constexpr int kOsLockViolation = 33;     // ERROR_LOCK_VIOLATION
inline constexpr int kOsHandleEof = 38;         // ERROR_HANDLE_EOF
inline constexpr int kOsFileExists = 80;        // ERROR_FILE_EXISTS
inline constexpr int kOsCannotMake = 82;        // ERROR_CANNOT_MAKE (folder full)
inline constexpr int kOsInvalidParameter = 87;  // ERROR_INVALID_PARAMETER
inline constexpr int kOsDiskFull = 112;         // ERROR_DISK_FULL
inline constexpr int kOsNameTooLong = 206;      // ERROR_FILENAME_EXCED_RANGE

// The OS code of a system error number: an errno value on Linux, a
// GetLastError value on Windows (given back as it is). 0 stays 0; a
// failure without a Windows counterpart is kOsGenFailure.
int OsCodeOf(int systemError);

// The OS code of the calling thread's last system error (errno on Linux,
// GetLastError on Windows), read at once after the failing call.
int LastOsCode();

}  // namespace talvi::os
