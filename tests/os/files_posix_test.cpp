// SPDX-License-Identifier: MIT
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "os/attributes.h"
#include "os/files.h"
#include "support/temp_dir.h"

namespace talvi::os {
namespace {

namespace sfs = std::filesystem;
using talvi::testing::ReadBytes;
using talvi::testing::TempDir;
using talvi::testing::WriteBytes;

struct stat StatOf(const std::string& p) {
  struct stat st {};
  ::stat(p.c_str(), &st);
  return st;
}

void SetTimes(const std::string& p, time_t atime, time_t mtime) {
  const timespec t[2] = {{atime, 0}, {mtime, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, p.c_str(), t, 0), 0);
}

TEST(CopyOneFile, OverwritesAndCarriesTimeModeAndAttributes) {
  TempDir dir;
  const std::string src = dir / "src.bin";
  const std::string dst = dir / "dst.bin";
  std::string big(3 * 1024 * 1024 + 17, '\0');
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7);
  WriteBytes(src, big);
  WriteBytes(dst, "old");
  SetTimes(src, 1000, 1100000000);
  ASSERT_TRUE(WriteAttributes(src, kAttrSystem));
  sfs::permissions(src, sfs::perms::owner_read | sfs::perms::owner_write | sfs::perms::group_read);

  int ticks = 0;
  ASSERT_TRUE(CopyOneFile(src, dst, [&] { ++ticks; }));
  EXPECT_EQ(ReadBytes(dst), big);
  EXPECT_GE(ticks, 4);  // once at the start and after every chunk
  EXPECT_EQ(StatOf(dst).st_mtim.tv_sec, 1100000000);
  EXPECT_EQ(StatOf(dst).st_mode & 07777, 0640u);
  EXPECT_EQ(ReadAttributes(dst), kAttrSystem);
  EXPECT_EQ(std::distance(sfs::directory_iterator(dir.path()), {}), 2);
}

TEST(CopyOneFile, RefusalsLeaveTheDestinationWhole) {
  TempDir dir;
  const std::string src = dir / "src";
  WriteBytes(src, "new");
  const std::string ro = dir / "ro";
  WriteBytes(ro, "keep");
  ASSERT_TRUE(WriteAttributes(ro, kAttrReadOnly));
  const std::string hidden = dir / "hidden";
  WriteBytes(hidden, "keep");
  ASSERT_TRUE(WriteAttributes(hidden, kAttrHidden));
  sfs::create_directory(dir / "folder");

  EXPECT_FALSE(CopyOneFile(src, ro, nullptr));
  EXPECT_FALSE(CopyOneFile(src, hidden, nullptr));
  EXPECT_FALSE(CopyOneFile(src, dir / "folder", nullptr));
  EXPECT_FALSE(CopyOneFile(dir / "folder", dir / "x", nullptr));
  EXPECT_FALSE(CopyOneFile(dir / "missing", ro, nullptr));
  EXPECT_EQ(ReadBytes(ro), "keep");
  EXPECT_EQ(ReadBytes(hidden), "keep");
  EXPECT_EQ(std::distance(sfs::directory_iterator(dir.path()), {}), 4);
}

TEST(CopyOneFile, ReplacesTheFileALinkNames) {
  TempDir dir;
  WriteBytes(dir / "src", "new");
  WriteBytes(dir / "target", "old");
  sfs::create_symlink("target", dir / "link");
  ASSERT_TRUE(CopyOneFile(dir / "src", dir / "link", nullptr));
  EXPECT_TRUE(sfs::is_symlink(dir / "link"));
  EXPECT_EQ(ReadBytes(dir / "target"), "new");
}

TEST(FileOps, DeleteMoveAndFolders) {
  TempDir dir;
  const std::string a = dir / "a";
  WriteBytes(a, "1");
  WriteBytes(dir / "b", "2");
  EXPECT_FALSE(MovePath(a, dir / "b"));  // never replaces
  EXPECT_TRUE(MovePath(a, dir / "c"));
  EXPECT_EQ(ReadBytes(dir / "c"), "1");

  ASSERT_TRUE(WriteAttributes(dir / "c", kAttrReadOnly));
  EXPECT_FALSE(DeletePlainFile(dir / "c"));
  ASSERT_TRUE(WriteAttributes(dir / "c", kAttrNormal));
  EXPECT_TRUE(DeletePlainFile(dir / "c"));
  EXPECT_FALSE(sfs::exists(dir / "c"));

  const std::string sub = dir / "sub";
  EXPECT_TRUE(MakeDirectory(sub));
  EXPECT_FALSE(MakeDirectory(sub));
  EXPECT_FALSE(MakeDirectory(dir / "x/y"));
  EXPECT_FALSE(DeletePlainFile(sub));
  WriteBytes(sub + "/f", "");
  EXPECT_FALSE(RemoveEmptyDirectory(sub));
  ASSERT_TRUE(DeletePlainFile(sub + "/f"));
  ASSERT_TRUE(WriteAttributes(sub, kAttrReadOnly));
  EXPECT_FALSE(RemoveEmptyDirectory(sub));
  ASSERT_TRUE(WriteAttributes(sub, 0));
  EXPECT_TRUE(RemoveEmptyDirectory(sub));
}

TEST(CopyLastWriteTime, OnlyTheWriteTimeMoves) {
  TempDir dir;
  const std::string f1 = dir / "f1";
  const std::string f2 = dir / "f2";
  const std::string d1 = dir / "d1";
  const std::string d2 = dir / "d2";
  WriteBytes(f1, "");
  WriteBytes(f2, "");
  sfs::create_directory(d1);
  sfs::create_directory(d2);
  SetTimes(f1, 500000000, 600000000);
  SetTimes(f2, 700000000, 800000000);
  SetTimes(d1, 510000000, 610000000);
  SetTimes(d2, 710000000, 810000000);

  EXPECT_TRUE(CopyLastWriteTime(d1, d2));
  EXPECT_EQ(StatOf(d2).st_mtim.tv_sec, 610000000);
  EXPECT_EQ(StatOf(d2).st_atim.tv_sec, 710000000);
  EXPECT_EQ(StatOf(d1).st_atim.tv_sec, 510000000);
  EXPECT_TRUE(CopyLastWriteTime(f1, f2));
  EXPECT_EQ(StatOf(f2).st_mtim.tv_sec, 600000000);
  EXPECT_EQ(StatOf(f2).st_atim.tv_sec, 700000000);
  EXPECT_TRUE(CopyLastWriteTime(f1, d1));
  EXPECT_EQ(StatOf(d1).st_mtim.tv_sec, 600000000);

  EXPECT_FALSE(CopyLastWriteTime(dir / "missing", f2));
  EXPECT_FALSE(CopyLastWriteTime(f1, dir / "missing"));
  ASSERT_TRUE(WriteAttributes(f2, kAttrReadOnly));
  EXPECT_FALSE(CopyLastWriteTime(d2, f2));
  EXPECT_EQ(StatOf(f2).st_mtim.tv_sec, 600000000);
}

}  // namespace
}  // namespace talvi::os
