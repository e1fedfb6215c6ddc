// SPDX-License-Identifier: MIT
#include "os/atomic_file.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "os/attributes.h"
#include "support/platform.h"
#include "support/temp_dir.h"

namespace talvi::os {
namespace {

namespace sfs = std::filesystem;
using talvi::testing::ReadBytes;
using talvi::testing::TempDir;
using talvi::testing::WriteBytes;

TEST(ReplaceFileContents, NewReplacedAndRefused) {
  TempDir dir;
  const std::string f = dir / "image.opd";
  ASSERT_TRUE(ReplaceFileContents(f, std::string("\0\1\2", 3)));
  EXPECT_EQ(ReadBytes(f), std::string("\0\1\2", 3));
  ASSERT_TRUE(WriteAttributes(f, kAttrHidden | kAttrSystem));
  ASSERT_TRUE(ReplaceFileContents(f, "second"));
  EXPECT_EQ(ReadBytes(f), "second");
  // Windows marks every rewritten file for archiving; the other bits stay.
  const std::int64_t archive = talvi::testing::kOnWindows ? kAttrArchive : 0;
  EXPECT_EQ(ReadAttributes(f) & ~archive, kAttrHidden | kAttrSystem);

  ASSERT_TRUE(WriteAttributes(f, kAttrReadOnly));
  EXPECT_FALSE(ReplaceFileContents(f, "third"));
  EXPECT_EQ(ReadBytes(f), "second");
  sfs::create_directory(dir / "folder");
  EXPECT_FALSE(ReplaceFileContents(dir / "folder", "x"));
  EXPECT_FALSE(ReplaceFileContents(dir / "missing/x", "x"));
  EXPECT_EQ(std::distance(sfs::directory_iterator(dir.path()), {}), 2);  // no temporary left
}

}  // namespace
}  // namespace talvi::os
