// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "os/attributes.h"
#include "support/temp_dir.h"

namespace talvi::os {
namespace {

namespace sfs = std::filesystem;
using talvi::testing::TempDir;
using talvi::testing::WriteBytes;

bool OwnerCanWrite(const std::string& p) {
  return (sfs::status(p).permissions() & sfs::perms::owner_write) != sfs::perms::none;
}

TEST(Attributes, FileRoundTrips) {
  TempDir dir;
  const std::string f = dir / "f.txt";
  WriteBytes(f, "x");
  EXPECT_EQ(ReadAttributes(f), kAttrNormal);

  ASSERT_TRUE(WriteAttributes(f, kAttrReadOnly | kAttrHidden | kAttrSystem));
  EXPECT_EQ(ReadAttributes(f), kAttrReadOnly | kAttrHidden | kAttrSystem);
  EXPECT_FALSE(OwnerCanWrite(f));
  EXPECT_EQ(sfs::status(f).permissions() & sfs::perms::others_write, sfs::perms::none);

  // Changing the stored bits of a read-only file keeps it read-only.
  ASSERT_TRUE(WriteAttributes(f, kAttrReadOnly));
  EXPECT_EQ(ReadAttributes(f), kAttrReadOnly);
  EXPECT_FALSE(OwnerCanWrite(f));

  ASSERT_TRUE(WriteAttributes(f, kAttrNormal | kAttrArchive));
  EXPECT_EQ(ReadAttributes(f), kAttrArchive);
  EXPECT_TRUE(OwnerCanWrite(f));
  ASSERT_TRUE(WriteAttributes(f, 0));
  EXPECT_EQ(ReadAttributes(f), kAttrNormal);
}

TEST(Attributes, FoldersKeepTheirEntriesWritable) {
  TempDir dir;
  const std::string d = dir / "sub";
  sfs::create_directory(d);
  EXPECT_EQ(ReadAttributes(d), kAttrDirectory);
  ASSERT_TRUE(WriteAttributes(d, kAttrReadOnly | kAttrHidden | kAttrDirectory));
  EXPECT_EQ(ReadAttributes(d), kAttrReadOnly | kAttrHidden | kAttrDirectory);
  EXPECT_TRUE(OwnerCanWrite(d));
  // A folder without write permission reads as read-only, and clearing the
  // bit gives the permission back.
  ASSERT_TRUE(WriteAttributes(d, kAttrDirectory));
  sfs::permissions(d, sfs::perms::owner_write, sfs::perm_options::remove);
  EXPECT_EQ(ReadAttributes(d), kAttrReadOnly | kAttrDirectory);
  ASSERT_TRUE(WriteAttributes(d, kAttrDirectory));
  EXPECT_TRUE(OwnerCanWrite(d));
}

TEST(Attributes, DotNamesAndMissingPaths) {
  TempDir dir;
  const std::string dot = dir / ".profile";
  WriteBytes(dot, "");
  EXPECT_EQ(ReadAttributes(dot), kAttrHidden);
  ASSERT_TRUE(WriteAttributes(dot, kAttrNormal));  // the stored bits now decide
  EXPECT_EQ(ReadAttributes(dot), kAttrNormal);
  EXPECT_EQ(ReadAttributes(dir / "."), kAttrDirectory);

  EXPECT_EQ(ReadAttributes(dir / "missing"), -1);
  EXPECT_FALSE(WriteAttributes(dir / "missing", kAttrHidden));
  EXPECT_FALSE(sfs::exists(dir / "missing"));
}

}  // namespace
}  // namespace talvi::os
