// SPDX-License-Identifier: MIT
#include "lib/wildexp.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "support/platform.h"
#include "support/temp_dir.h"

namespace talvi::lib {
namespace {

namespace fs = std::filesystem;
using Names = std::vector<std::string>;

class WildExpTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = tmp_.path();
    fs::create_directories(dir_ / "SUB.TXT");
    for (const char* name : {"B.TXT", "a.txt", ".hidden.txt", "ro.txt", "README", "c.dbf"}) {
      std::ofstream(dir_ / name) << "x";
    }
    fs::permissions(dir_ / "ro.txt", fs::perms::owner_read | fs::perms::group_read);
  }
  std::string Mask(const std::string& mask) const { return (dir_ / mask).string(); }

  talvi::testing::TempDir tmp_;  // removed with the read-only file in it
  fs::path dir_;
};

TEST_F(WildExpTest, ListsPlainFilesOfEachMaskInOrder) {
  EXPECT_EQ(WILDEXP({Mask("*.txt")}), (Names{".hidden.txt", "a.txt", "B.TXT", "ro.txt"}));
  EXPECT_EQ(WILDEXP({Mask("*.DBF"), Mask("?.TXT")}), (Names{"c.dbf", "a.txt", "B.TXT"}));
  EXPECT_EQ(WILDEXP({Mask("a.*"), Mask("A.TXT")}), (Names{"a.txt", "a.txt"}));
}

TEST_F(WildExpTest, WindowsWildcardRules) {
  EXPECT_EQ(WILDEXP({Mask("*.*")}).size(), 6U);
  EXPECT_EQ(WILDEXP({Mask("README.*")}), Names{"README"});
  EXPECT_EQ(WILDEXP({Mask("*E")}), Names{"README"});
  EXPECT_EQ(WILDEXP({Mask("R*D*E")}), Names{"README"});
}

TEST_F(WildExpTest, DosRulesForTheDotAndQuestionMarks) {
  if (talvi::testing::UnderWine()) {
    GTEST_SKIP() << "Wine's FindFirstFileA matches \"*.\" like \"*\" and each '?' as exactly "
                    "one character";
  }
  EXPECT_EQ(WILDEXP({Mask("*.")}), Names{"README"});
  EXPECT_EQ(WILDEXP({Mask("??.txt")}), (Names{"a.txt", "B.TXT", "ro.txt"}));
}

TEST_F(WildExpTest, BackslashFolderAndMissingPlaces) {
  const std::string mask = dir_.string() + "\\c.*";
  EXPECT_EQ(WILDEXP({mask}), Names{"c.dbf"});
  EXPECT_TRUE(WILDEXP({}).empty());
  EXPECT_TRUE(WILDEXP({Mask("missing/*.*")}).empty());
  EXPECT_TRUE(WILDEXP({Mask("")}).empty());
  EXPECT_TRUE(WILDEXP({Mask("*.zip")}).empty());
}

}  // namespace
}  // namespace talvi::lib
