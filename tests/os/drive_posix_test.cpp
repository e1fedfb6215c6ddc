// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>
#include <sys/statvfs.h>
#include <sys/vfs.h>

#include "os/drive.h"
#include "support/temp_dir.h"

namespace talvi::os {
namespace {

TEST(DriveType, FileSystemTypesMapToDriveKinds) {
  EXPECT_EQ(DriveTypeOf("nfs4", false), kDriveRemote);
  EXPECT_EQ(DriveTypeOf("cifs", false), kDriveRemote);
  EXPECT_EQ(DriveTypeOf("iso9660", true), kDriveCdrom);
  EXPECT_EQ(DriveTypeOf("tmpfs", false), kDriveRamdisk);
  EXPECT_EQ(DriveTypeOf("vfat", true), kDriveRemovable);
  EXPECT_EQ(DriveTypeOf("ext4", false), kDriveFixed);
}

TEST(DriveType, RealMounts) {
  talvi::testing::TempDir dir;
  EXPECT_EQ(DriveType(dir / "missing"), kDriveNoRootDir);
  EXPECT_EQ(DriveType("/proc/self/status"),
            kDriveNoRootDir);  // a file, no folder
  struct statfs sfs {};
  ASSERT_EQ(::statfs("/dev/shm", &sfs), 0);
  if (sfs.f_type == 0x01021994) {  // tmpfs
    EXPECT_EQ(DriveType("/dev/shm"), kDriveRamdisk);
  }
  const int type = DriveType(dir.path().string());
  EXPECT_TRUE(type == kDriveFixed || type == kDriveRamdisk || type == kDriveRemovable) << type;
}

TEST(DiskFreeBytes, CountsAllFreeBlocks) {
  talvi::testing::TempDir dir;
  struct statvfs vfs {};
  ASSERT_EQ(::statvfs(dir.path().c_str(), &vfs), 0);
  const std::uint64_t expected = static_cast<std::uint64_t>(vfs.f_bfree) * vfs.f_frsize;
  const std::uint64_t got = DiskFreeBytes(dir.path().string());
  // Other processes write meanwhile: allow a few megabytes of drift.
  EXPECT_LT(got > expected ? got - expected : expected - got, 64u << 20);
  EXPECT_GE(got, static_cast<std::uint64_t>(vfs.f_bavail) * vfs.f_frsize / 2);
  EXPECT_EQ(DiskFreeBytes(dir / "missing"), 0u);
}

}  // namespace
}  // namespace talvi::os
