// SPDX-License-Identifier: MIT
// Profile writing where POSIX files differ from Windows ones: permission
// bits, symbolic links and the stored attribute bits.
#include <gtest/gtest.h>
#include <sys/xattr.h>

#include <filesystem>

#include "fs/profile.h"
#include "fs/profile_write_fixture.h"
#include "support/temp_dir.h"

namespace talvi::fs {
namespace {

namespace sfs = std::filesystem;
using talvi::testing::ReadBytes;
using talvi::testing::WriteBytes;

TEST_F(ProfileWrite, KeepsPermissionsAndFollowsSymlinks) {
  WriteBytes(ini_, "[A]\nk=1\n");
  sfs::permissions(ini_, sfs::perms::owner_read | sfs::perms::owner_write);
  const std::string link = dir_ / "link.ini";
  sfs::create_symlink("t.ini", link);
  EXPECT_TRUE(WritePrivateProfileString("A", "k", "2", link));
  EXPECT_TRUE(sfs::is_symlink(link));
  EXPECT_EQ(ReadBytes(ini_), "[A]\nk=2\n");
  EXPECT_EQ(sfs::status(ini_).permissions() & sfs::perms::all,
            sfs::perms::owner_read | sfs::perms::owner_write);
}

TEST_F(ProfileWrite, HiddenFileStaysHidden) {
  WriteBytes(ini_, "[A]\nk=1\n");
  ASSERT_EQ(::setxattr(ini_.c_str(), "user.talvi.attrib", "2", 1, 0), 0);
  EXPECT_TRUE(Put("A", "k", "2"));
  char attr[8] = {};
  EXPECT_EQ(::getxattr(ini_.c_str(), "user.talvi.attrib", attr, sizeof attr), 1);
  EXPECT_EQ(attr[0], '2');
}

}  // namespace
}  // namespace talvi::fs
