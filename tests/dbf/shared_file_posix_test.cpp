// SPDX-License-Identifier: MIT
// SharedFile::Replace on Linux: the new file takes the old one's
// permissions and attributes, and a symbolic link stays a link.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "os/attributes.h"
#include "os/shared_file.h"
#include "support/temp_dir.h"

namespace talvi::os {
namespace {

std::unique_ptr<SharedFile> Beside(const std::string& path, const std::string& bytes) {
  OpenMode mode = ExclusiveMode(false);
  mode.create = true;
  mode.truncate = true;
  mode.share_delete = true;
  int oscode = 0;
  auto f = SharedFile::Open(path, mode, oscode);
  EXPECT_NE(f, nullptr);
  if (f) {
    EXPECT_TRUE(f->WriteAt(0, bytes.data(), bytes.size()));
  }
  return f;
}

TEST(SharedFileReplace, KeepsPermissionsAttributesAndLinks) {
  testing::TempDir dir;
  const std::string real = dir / "DATA/T.DBF";
  std::filesystem::create_directory(dir / "DATA");
  testing::WriteBytes(real, "old");
  ASSERT_EQ(::chmod(real.c_str(), 0640), 0);
  const bool xattrs = ::setxattr(real.c_str(), kAttribXattr, "H", 1, 0) == 0;
  const std::string link = dir / "T.DBF";
  std::filesystem::create_symlink(real, link);

  int oscode = 0;
  auto target = SharedFile::Open(link, ExclusiveMode(false), oscode);
  ASSERT_NE(target, nullptr);
  ASSERT_TRUE(SharedFile::Replace(target, Beside(real + ".new", "new"), oscode));
  target.reset();

  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(testing::ReadBytes(link), "new");
  struct stat st {};
  ASSERT_EQ(::stat(real.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  if (xattrs) {
    char attr[4] = {};
    EXPECT_EQ(::getxattr(real.c_str(), kAttribXattr, attr, sizeof attr), 1);
    EXPECT_EQ(attr[0], 'H');
  }
}

}  // namespace
}  // namespace talvi::os
