// SPDX-License-Identifier: MIT
// Links inside a tree: deleting removes the link, copying copies the link,
// and neither ever enters, changes or erases what a link names, not even
// through a link loop.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "fs/attributes.h"
#include "fs/hooks.h"
#include "fs/tree.h"
#include "support/temp_dir.h"

namespace talvi::fs {
namespace {

namespace sfs = std::filesystem;
using talvi::testing::ReadBytes;
using talvi::testing::TempDir;
using talvi::testing::WriteBytes;

bool Exists(const std::string& p) {
  return sfs::exists(sfs::symlink_status(p));
}

mode_t Mode(const std::string& p) {
  struct stat st {};
  return ::stat(p.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

class TreeLinks : public ::testing::Test {
 protected:
  void SetUp() override {
    SetMessageSink([this](const std::string& text, int) { messages_.push_back(text); });
    // Outside the tree: a folder with files and a read-only, hidden file.
    sfs::create_directory(outside_ / "folder");
    WriteBytes(outside_ / "folder/keep.txt", "keep");
    WriteBytes(outside_ / "folder/ro.txt", "ro");
    ASSERT_TRUE(SETFILEATTRIBUTES(outside_ / "folder/ro.txt", 1));
    WriteBytes(outside_ / "secret.txt", "secret");
    ASSERT_TRUE(SETFILEATTRIBUTES(outside_ / "secret.txt", 1 | 2));
    secret_mode_ = Mode(outside_ / "secret.txt");
    // The tree: a file, links to the folder and the file outside, a link
    // back to the tree's own top (a loop) and one below a sub-folder.
    sfs::create_directories(tree_ + "/sub");
    WriteBytes(tree_ + "/a.txt", "a");
    sfs::create_directory_symlink(outside_ / "folder", tree_ + "/outdir");
    sfs::create_symlink(outside_ / "secret.txt", tree_ + "/outfile");
    sfs::create_directory_symlink(tree_, tree_ + "/sub/loop");
    sfs::create_directory_symlink("..", tree_ + "/sub/up");
  }
  void TearDown() override { SetMessageSink(nullptr); }

  void ExpectOutsideUntouched() {
    EXPECT_EQ(ReadBytes(outside_ / "folder/keep.txt"), "keep");
    EXPECT_EQ(ReadBytes(outside_ / "folder/ro.txt"), "ro");
    EXPECT_EQ(GETFILEATTRIBUTES(outside_ / "folder/ro.txt"), 1);
    EXPECT_EQ(ReadBytes(outside_ / "secret.txt"), "secret");
    EXPECT_EQ(GETFILEATTRIBUTES(outside_ / "secret.txt"), 1 | 2);
    EXPECT_EQ(Mode(outside_ / "secret.txt"), secret_mode_);
  }

  TempDir outside_;
  TempDir dir_;
  std::string tree_ = dir_ / "tree";
  std::vector<std::string> messages_;
  mode_t secret_mode_ = 0;
};

TEST_F(TreeLinks, DeleteDirRemovesTheLinksNotWhatTheyName) {
  EXPECT_TRUE(DELETEDIR(tree_));
  EXPECT_TRUE(messages_.empty()) << messages_.front();
  EXPECT_FALSE(Exists(tree_));
  ExpectOutsideUntouched();

  // Without removing the folder itself, only its entries go.
  sfs::create_directory(tree_);
  sfs::create_directory_symlink(outside_ / "folder", tree_ + "/outdir");
  EXPECT_TRUE(DELETEDIR(tree_, false));
  EXPECT_TRUE(sfs::is_empty(tree_));
  ExpectOutsideUntouched();
}

TEST_F(TreeLinks, DeleteDirOfALinkRemovesOnlyTheLink) {
  const std::string link = dir_ / "link";
  sfs::create_directory_symlink(outside_ / "folder", link);
  EXPECT_TRUE(DELETEDIR(link, false));  // nothing of its own to empty
  EXPECT_TRUE(Exists(link));
  EXPECT_TRUE(DELETEDIR(link));
  EXPECT_FALSE(Exists(link));
  ExpectOutsideUntouched();
}

TEST_F(TreeLinks, CopyDirCopiesLinksAsLinks) {
  const std::string copy = dir_ / "copy";
  EXPECT_TRUE(COPYDIR(tree_, copy));
  EXPECT_TRUE(messages_.empty()) << messages_.front();
  EXPECT_EQ(ReadBytes(copy + "/a.txt"), "a");
  ASSERT_TRUE(sfs::is_symlink(copy + "/outdir"));
  EXPECT_EQ(sfs::read_symlink(copy + "/outdir"), outside_.path() / "folder");
  ASSERT_TRUE(sfs::is_symlink(copy + "/outfile"));
  EXPECT_EQ(sfs::read_symlink(copy + "/outfile"), outside_.path() / "secret.txt");
  ASSERT_TRUE(sfs::is_symlink(copy + "/sub/loop"));  // not followed round the loop
  EXPECT_EQ(sfs::read_symlink(copy + "/sub/up"), "..");
  std::size_t entries = 0;
  for ([[maybe_unused]] const auto& e : sfs::recursive_directory_iterator(copy)) ++entries;
  EXPECT_EQ(entries, 6u);  // a.txt, outdir, outfile, sub, sub/loop, sub/up
  ExpectOutsideUntouched();
}

}  // namespace
}  // namespace talvi::fs
