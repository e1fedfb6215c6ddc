// SPDX-License-Identifier: MIT
// The helpers take and give names in the program's text (1252); on disk
// they are the UTF-8 names of Linux.
#include <gtest/gtest.h>

#include <filesystem>

#include "fs/directory.h"
#include "fs/files.h"
#include "fs/find.h"
#include "support/temp_dir.h"

namespace talvi::fs {
namespace {

namespace sfs = std::filesystem;
using talvi::testing::ReadBytes;
using talvi::testing::TempFolder;
using talvi::testing::WriteBytes;

TEST(AccentedNames, HelpersMeetTheUtf8NamesOnDisk) {
  TempFolder dir;
  ASSERT_TRUE(CREATEDIR("Citt\xE0"));
  EXPECT_TRUE(sfs::is_directory("Citt\xC3\xA0"));
  WriteBytes("perch\xC3\xA9.txt", "p");
  ASSERT_TRUE(COPYFILE("perch\xE9.txt", "Citt\xE0\\caff\xE8.txt"));
  EXPECT_EQ(ReadBytes("Citt\xC3\xA0/caff\xC3\xA8.txt"), "p");

  Win32FindData data = OWIN32FINDDATA();
  const std::int64_t h = FINDFIRSTFILE("Citt\xE0\\*.txt", data.cBuffer);
  ASSERT_NE(h, -1);
  EXPECT_EQ(data.cFileName(), "caff\xE8.txt");
  FINDCLOSE(h);
  const auto entries = ListDirectory("Citt\xE0\\*.*", "");
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].name, "caff\xE8.txt");

  EXPECT_EQ(FULLNAME("Citt\xE0\\caff\xE8.txt"), dir.path().string() + "/Citt\xE0/caff\xE8.txt");
  EXPECT_TRUE(DELETEFILE("Citt\xE0\\caff\xE8.txt"));
  EXPECT_TRUE(REMOVEDIR("Citt\xE0"));
  EXPECT_FALSE(sfs::exists("Citt\xC3\xA0"));
}

}  // namespace
}  // namespace talvi::fs
