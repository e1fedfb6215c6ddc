// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "fs/attributes.h"
#include "fs/hooks.h"
#include "fs/immutable.h"
#include "fs/tree.h"
#include "support/temp_dir.h"

namespace talvi::fs {
namespace {

namespace sfs = std::filesystem;
using talvi::testing::ReadBytes;
using talvi::testing::TempDir;
using talvi::testing::WriteBytes;

class Tree : public ::testing::Test {
 protected:
  void SetUp() override {
    SetMessageSink([this](const std::string& text, int type) {
      messages_.push_back(text);
      EXPECT_EQ(type, 1);
    });
    SetRefreshHook([this] { ++refreshes_; });
    // src: a.txt, ro.txt (read-only), hid.txt (hidden), sys.txt (system),
    // .dot, and the hidden, read-only folder sub holding deep.txt.
    sfs::create_directory(src_);
    WriteBytes(src_ + "/a.txt", "a");
    WriteBytes(src_ + "/ro.txt", "ro");
    WriteBytes(src_ + "/hid.txt", "hid");
    WriteBytes(src_ + "/sys.txt", "sys");
    WriteBytes(src_ + "/.dot", "dot");
    sfs::create_directory(src_ + "/sub");
    WriteBytes(src_ + "/sub/deep.txt", "deep");
    ASSERT_TRUE(SETFILEATTRIBUTES(src_ + "/ro.txt", 1));
    ASSERT_TRUE(SETFILEATTRIBUTES(src_ + "/hid.txt", 2));
    ASSERT_TRUE(SETFILEATTRIBUTES(src_ + "/sys.txt", 4));
    ASSERT_TRUE(SETFILEATTRIBUTES(src_ + "/sub", 1 | 2));
  }
  void TearDown() override {
    SetMessageSink(nullptr);
    SetRefreshHook(nullptr);
  }
  static std::set<std::string> Names(const std::string& folder) {
    std::set<std::string> names;
    for (const auto& e : sfs::recursive_directory_iterator(folder)) {
      names.insert(sfs::relative(e.path(), folder).string());
    }
    return names;
  }

  TempDir dir_;
  std::string src_ = dir_ / "src";
  std::string dst_ = dir_ / "dst";
  std::vector<std::string> messages_;
  int refreshes_ = 0;
};

TEST_F(Tree, CopyDirCopiesAllButSystemFilesWithAttributes) {
  ASSERT_TRUE(COPYDIR(src_, dst_));
  EXPECT_EQ(Names(dst_),
            (std::set<std::string>{"a.txt", "ro.txt", "hid.txt", ".dot", "sub", "sub/deep.txt"}));
  EXPECT_EQ(ReadBytes(dst_ + "/sub/deep.txt"), "deep");
  EXPECT_EQ(GETFILEATTRIBUTES(dst_ + "/ro.txt"), 1);
  EXPECT_EQ(GETFILEATTRIBUTES(dst_ + "/hid.txt"), 2);
  EXPECT_TRUE(messages_.empty());
}

TEST_F(Tree, CopyDirOntoExistingFolderNeedsCreateFalse) {
  sfs::create_directory(dst_);
  EXPECT_FALSE(COPYDIR(src_, dst_));
  EXPECT_EQ(messages_, std::vector<std::string>{"Impossibile creare la cartella " + dst_ + "."});
  EXPECT_TRUE(Names(dst_).empty());
  EXPECT_TRUE(COPYDIR(src_, dst_, false));
  EXPECT_EQ(ReadBytes(dst_ + "/a.txt"), "a");
}

TEST_F(Tree, CopyDirStopsAtFirstFailedFile) {
  sfs::create_directory(dst_);
  WriteBytes(dst_ + "/hid.txt", "kept");
  ASSERT_TRUE(SETFILEATTRIBUTES(dst_ + "/hid.txt",
                                1));  // a read-only target cannot be replaced
  EXPECT_FALSE(COPYDIR(src_, dst_, false));
  EXPECT_EQ(messages_,
            std::vector<std::string>{"Impossibile copiare il file " + src_ + "/hid.txt."});
  EXPECT_EQ(ReadBytes(dst_ + "/hid.txt"), "kept");
  EXPECT_TRUE(sfs::exists(dst_ + "/a.txt"));  // copied before the failure, and kept
  EXPECT_FALSE(sfs::exists(dst_ + "/sub"));   // never reached
}

TEST_F(Tree, CopyDirOfMissingSourceFailsOnItsTime) {
  EXPECT_FALSE(COPYDIR(dir_ / "missing", dst_));
  EXPECT_EQ(messages_, std::vector<std::string>{"Impossibile impostare data e ora della cartella " +
                                                dst_ + "."});
}

TEST_F(Tree, DeleteDirRemovesEverythingIncludingSystemFiles) {
  EXPECT_TRUE(DELETEDIR(src_));
  EXPECT_FALSE(sfs::exists(src_));
  EXPECT_EQ(refreshes_, 6);  // once per erased file
  EXPECT_TRUE(messages_.empty());
}

TEST_F(Tree, DeleteDirWithoutRemoveKeepsTheEmptyFolder) {
  ASSERT_TRUE(SETFILEATTRIBUTES(src_, 1));
  EXPECT_TRUE(DELETEDIR(src_, false));
  EXPECT_TRUE(sfs::is_directory(src_));
  EXPECT_TRUE(Names(src_).empty());
  EXPECT_EQ(GETFILEATTRIBUTES(src_), 16 | 1);
}

TEST_F(Tree, DeleteDirStopsAtFileThatCannotGo) {
  talvi::testing::Immutable stuck(src_ + "/sub/deep.txt");
  if (!stuck.ok()) GTEST_SKIP() << "immutable files not available here";
  EXPECT_FALSE(DELETEDIR(src_));
  EXPECT_EQ(messages_,
            std::vector<std::string>{"Impossibile cancellare il file " + src_ + "/sub/deep.txt."});
  EXPECT_TRUE(sfs::exists(src_ + "/sub"));
}

}  // namespace
}  // namespace talvi::fs
