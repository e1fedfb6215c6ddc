// SPDX-License-Identifier: MIT
// errno values become the Windows numbers of the same failure, both as
// numbers and as read after real failing calls.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "os/os_code.h"
#include "support/temp_dir.h"

namespace talvi::os {
namespace {

TEST(OsCode, ErrnoValuesMapToTheWindowsNumbers) {
  struct Case {
    int err;
    int code;
  };
  const Case cases[] = {
      {0, 0},
      {ENOENT, kOsFileNotFound},
      {ENOTDIR, kOsPathNotFound},
      {EACCES, kOsAccessDenied},
      {EPERM, kOsAccessDenied},
      {EISDIR, kOsAccessDenied},
      {EROFS, kOsWriteProtect},
      {ENOMEDIUM, kOsNotReady},
      {EEXIST, kOsFileExists},
      {EMFILE, kOsTooManyOpen},
      {ENFILE, kOsTooManyOpen},
      {ENOSPC, kOsDiskFull},
      {EDQUOT, kOsDiskFull},
      {ENAMETOOLONG, kOsNameTooLong},
      {EAGAIN, kOsLockViolation},
      {EDEADLK, kOsLockViolation},
      {EINVAL, kOsInvalidParameter},
      {EOVERFLOW, kOsInvalidParameter},
      // Without a Windows counterpart: the general failure.
      {EIO, kOsGenFailure},
      {ENOTSOCK, kOsGenFailure},
  };
  for (const Case& c : cases) EXPECT_EQ(OsCodeOf(c.err), c.code) << "errno " << c.err;
  EXPECT_EQ(kOsSharingViolation, 32);  // the number the handler answers with a retry
  EXPECT_EQ(kOsFileNotFound, 2);
  EXPECT_EQ(kOsAccessDenied, 5);
}

TEST(OsCode, LastCodeAfterRealFailingCalls) {
  testing::TempDir dir;
  errno = 0;
  EXPECT_EQ(LastOsCode(), 0);

  EXPECT_LT(::open((dir / "missing.dbf").c_str(), O_RDONLY), 0);
  EXPECT_EQ(LastOsCode(), kOsFileNotFound);

  testing::WriteBytes(dir / "plain", "x");
  EXPECT_LT(::open((dir / "plain/under").c_str(), O_RDONLY), 0);
  EXPECT_EQ(LastOsCode(), kOsPathNotFound);

  EXPECT_LT(::open((dir / "plain").c_str(), O_CREAT | O_EXCL | O_WRONLY, 0644), 0);
  EXPECT_EQ(LastOsCode(), kOsFileExists);

  EXPECT_LT(::open((dir / std::string(300, 'n')).c_str(), O_RDONLY), 0);
  EXPECT_EQ(LastOsCode(), kOsNameTooLong);

  // Opening a folder for writing is refused as Windows refuses it.
  EXPECT_LT(::open(dir.path().c_str(), O_WRONLY), 0);
  EXPECT_EQ(LastOsCode(), kOsAccessDenied);
}

}  // namespace
}  // namespace talvi::os
