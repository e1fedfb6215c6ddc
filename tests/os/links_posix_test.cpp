// SPDX-License-Identifier: MIT
// Symbolic links are entries of their own: searches and attributes describe
// the link, attribute changes never reach what it names, and removing a
// folder link leaves the folder.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <map>

#include "os/attributes.h"
#include "os/files.h"
#include "os/find.h"
#include "support/temp_dir.h"

namespace talvi::os {
namespace {

namespace sfs = std::filesystem;
using talvi::testing::ReadBytes;
using talvi::testing::TempDir;
using talvi::testing::WriteBytes;

mode_t Mode(const std::string& p) {
  struct stat st {};
  return ::stat(p.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

class Links : public ::testing::Test {
 protected:
  void SetUp() override {
    sfs::create_directory(outside_ / "folder");
    WriteBytes(outside_ / "folder/keep.txt", "keep");
    WriteBytes(outside_ / "ro.txt", "ro");
    ASSERT_TRUE(WriteAttributes(outside_ / "ro.txt", kAttrReadOnly | kAttrHidden));
    sfs::create_directory_symlink(outside_ / "folder", dir_ / "dirlink");
    sfs::create_symlink(outside_ / "ro.txt", dir_ / "filelink");
    sfs::create_symlink(dir_ / "gone", dir_ / "dangling");
  }
  TempDir outside_;
  TempDir dir_;
};

TEST_F(Links, SearchAndAttributesDescribeTheLinkItself) {
  EXPECT_EQ(ReadAttributes(dir_ / "dirlink"), kAttrReparsePoint | kAttrDirectory);
  EXPECT_EQ(ReadAttributes(dir_ / "filelink"), kAttrReparsePoint);  // not the target's bits
  EXPECT_EQ(ReadAttributes(dir_ / "dangling"), kAttrReparsePoint);
  EXPECT_TRUE(IsLink(dir_ / "dirlink"));
  EXPECT_TRUE(IsLink(dir_ / "dangling"));
  EXPECT_FALSE(IsLink(outside_ / "folder"));
  EXPECT_FALSE(IsLink(dir_ / "missing"));
  std::map<std::string, FindData> seen;
  FindData d;
  const FindHandle h = FindFirstEntry(dir_ / "*", d);
  ASSERT_NE(h, kInvalidFind);
  do seen[d.name] = d;
  while (FindNextEntry(h, d));
  FindCloseSearch(h);
  ASSERT_EQ(seen.count("dirlink"), 1u);
  EXPECT_EQ(seen["dirlink"].attributes, kAttrReparsePoint | kAttrDirectory);
  EXPECT_EQ(seen["dirlink"].reserved0, kReparseTagSymlink);
  EXPECT_EQ(seen["dirlink"].size, 0u);
  EXPECT_TRUE(IsLinkEntry(seen["dirlink"].attributes, seen["dirlink"].reserved0));
  EXPECT_EQ(seen["filelink"].attributes, kAttrReparsePoint);
  EXPECT_EQ(seen["filelink"].size, 0u);
  EXPECT_EQ(seen["dangling"].attributes, kAttrReparsePoint);
}

TEST_F(Links, AttributeChangesNeverReachTheTarget) {
  const mode_t before = Mode(outside_ / "ro.txt");
  EXPECT_FALSE(WriteAttributes(dir_ / "filelink", kAttrNormal | kAttrHidden));
  EXPECT_FALSE(WriteAttributes(dir_ / "dirlink", kAttrReadOnly | kAttrDirectory));
  EXPECT_TRUE(WriteAttributes(dir_ / "filelink", kAttrNormal));  // nothing to change
  EXPECT_EQ(Mode(outside_ / "ro.txt"), before);
  EXPECT_EQ(ReadAttributes(outside_ / "ro.txt"), kAttrReadOnly | kAttrHidden);
  EXPECT_EQ(ReadAttributes(outside_ / "folder"), kAttrDirectory);
}

TEST_F(Links, RemovingAFolderLinkKeepsTheFolder) {
  EXPECT_FALSE(RemoveEmptyDirectory(dir_ / "filelink"));  // a file link is no folder
  EXPECT_FALSE(RemoveEmptyDirectory(dir_ / "dangling"));
  EXPECT_TRUE(RemoveEmptyDirectory(dir_ / "dirlink"));
  EXPECT_FALSE(sfs::exists(sfs::symlink_status(dir_ / "dirlink")));
  EXPECT_EQ(ReadBytes(outside_ / "folder/keep.txt"), "keep");
  EXPECT_TRUE(sfs::exists(sfs::symlink_status(dir_ / "filelink")));
}

TEST_F(Links, CopyLinkMakesALinkToTheSamePlace) {
  sfs::create_symlink("relative/name", dir_ / "rel");
  ASSERT_TRUE(CopyLink(dir_ / "rel", dir_ / "rel2"));
  EXPECT_EQ(sfs::read_symlink(dir_ / "rel2"), "relative/name");
  ASSERT_TRUE(CopyLink(dir_ / "dirlink", dir_ / "dirlink2"));
  EXPECT_EQ(sfs::read_symlink(dir_ / "dirlink2"), outside_.path() / "folder");
  EXPECT_FALSE(CopyLink(dir_ / "rel", dir_ / "rel2"));  // exists
  WriteBytes(dir_ / "plain", "p");
  EXPECT_FALSE(CopyLink(dir_ / "plain", dir_ / "plain2"));  // no link
  EXPECT_FALSE(sfs::exists(sfs::symlink_status(dir_ / "plain2")));
}

}  // namespace
}  // namespace talvi::os
