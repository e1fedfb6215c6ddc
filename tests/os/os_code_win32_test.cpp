// SPDX-License-Identifier: MIT
// On Windows a system error number is its own OS code: the codes read
// after real failing calls are the ones the error handler decides on.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "os/os_code.h"
#include "support/temp_dir.h"

namespace talvi::os {
namespace {

HANDLE Open(const std::string& path, DWORD share, DWORD disposition) {
  return ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, share, nullptr, disposition,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

TEST(OsCode, LastCodeAfterRealFailingCalls) {
  testing::TempDir dir;
  EXPECT_EQ(OsCodeOf(ERROR_SHARING_VIOLATION), kOsSharingViolation);

  EXPECT_EQ(Open(dir / "missing.dbf", 0, OPEN_EXISTING), INVALID_HANDLE_VALUE);
  EXPECT_EQ(LastOsCode(), kOsFileNotFound);

  EXPECT_EQ(Open(dir / "nofolder\\x.dbf", 0, OPEN_EXISTING), INVALID_HANDLE_VALUE);
  EXPECT_EQ(LastOsCode(), kOsPathNotFound);

  // A second open against an exclusive one: the sharing violation.
  const HANDLE first = Open(dir / "table.dbf", 0, CREATE_NEW);
  ASSERT_NE(first, INVALID_HANDLE_VALUE);
  EXPECT_EQ(Open(dir / "table.dbf", FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(LastOsCode(), kOsSharingViolation);

  EXPECT_EQ(Open(dir / "table.dbf", 0, CREATE_NEW), INVALID_HANDLE_VALUE);
  EXPECT_EQ(LastOsCode(), kOsFileExists);
  ::CloseHandle(first);
}

}  // namespace
}  // namespace talvi::os
