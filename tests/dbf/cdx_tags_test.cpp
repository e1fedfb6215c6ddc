// SPDX-License-Identifier: MIT
// Two work areas of one process share a table and its structural CDX as
// two processes would (each open has its own locks): a tag one adds is
// kept by the other's changes, and a build that other openers keep needs
// the table lock. The real processes are in cdx_tags_process_test.cpp.
#include <gtest/gtest.h>

#include "dbf/areas.h"
#include "dbf/codes.h"
#include "dbf/orders.h"
#include "dbf_support.h"

namespace talvi::dbf {
namespace {

class CdxTags : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(Table::Create(table_, {{"NAME", 'C', 8, 0}, {"QTY", 'N', 6, 0}}));
    ASSERT_TRUE(Workspace().Use(table_, "ONE", {.shared = true}));
    for (int i = 0; i < 30; ++i) {
      ASSERT_TRUE(One().AppendBlank());
      ASSERT_TRUE(One().Put("NAME", Value::Character("K" + std::to_string(i * 37 % 30))));
      ASSERT_TRUE(One().Put("QTY", Value::Numeric(i % 4)));
    }
    ASSERT_TRUE(One().orders().Create({.bag_path = dir_ / "T", .tag = "NAME", .key = "NAME"}));
    ASSERT_TRUE(One().UnlockAll());  // the last record appended
    ASSERT_TRUE(Workspace().Use(table_, "TWO", {.shared = true}, true));
    ASSERT_EQ(Two().orders().count(), 1);
  }
  void TearDown() override { Workspace().CloseAll(); }

  WorkArea& One() { return *Workspace().Area(Workspace().Find("ONE")); }
  WorkArea& Two() { return *Workspace().Area(Workspace().Find("TWO")); }
  // Problems of every order of `a`.
  static std::vector<std::string> Check(WorkArea& a) {
    std::vector<std::string> problems, notes;
    for (int n = 1; n <= a.orders().count(); ++n) {
      std::uint32_t keys = 0;
      a.orders().Check(n, problems, notes, keys);
    }
    return problems;
  }

  talvi::testing::TempDir dir_;
  testing::ErrorLog log_;
  std::string table_ = dir_ / "T.DBF";
};

TEST_F(CdxTags, ATagAddedThroughOneAreaIsKeptByTheOthersChanges) {
  ASSERT_TRUE(Two().orders().Create({.bag_path = dir_ / "T", .tag = "QTY", .key = "QTY"}));
  ASSERT_EQ(One().orders().count(), 1);  // not asked yet
  // An append and a field write through the first area reach the new tag.
  ASSERT_TRUE(One().AppendBlank());
  ASSERT_TRUE(One().Put("QTY", Value::Numeric(9)));
  ASSERT_TRUE(One().UnlockAll());
  ASSERT_TRUE(One().GoTo(4));
  ASSERT_TRUE(One().RLock());
  ASSERT_TRUE(One().Put("QTY", Value::Numeric(-1)));
  ASSERT_TRUE(One().UnlockAll());
  EXPECT_EQ(One().orders().count(), 2);
  EXPECT_TRUE(Check(One()).empty()) << Check(One()).front();
  EXPECT_TRUE(Check(Two()).empty()) << Check(Two()).front();
  ASSERT_TRUE(Two().orders().SetCurrent("QTY"));
  ASSERT_TRUE(Two().GoTop());
  EXPECT_EQ(Two().RecNo(), 4u);
  ASSERT_TRUE(Two().GoBottom());
  EXPECT_EQ(Two().RecNo(), 31u);
  EXPECT_TRUE(log_.empty()) << log_.last().GENCODE << " " << log_.last().DESCRIPTION.value_or("");
}

TEST_F(CdxTags, ANewTagIsFoundByNameBeforeAnyOtherAccess) {
  ASSERT_TRUE(Two().orders().Create({.bag_path = dir_ / "T", .tag = "QTY", .key = "QTY"}));
  ASSERT_TRUE(One().orders().SetCurrent("QTY"));
  EXPECT_EQ(One().orders().count(), 2);
  ASSERT_TRUE(One().orders().SetCurrent(2));
  EXPECT_EQ(One().orders().Current()->name, "QTY");
  EXPECT_TRUE(log_.empty());
}

TEST_F(CdxTags, AddingATagOrReindexingNeedsTheTableLock) {
  ASSERT_TRUE(One().GoTo(3));
  ASSERT_TRUE(One().RLock());
  EXPECT_FALSE(Two().orders().Create({.bag_path = dir_ / "T", .tag = "QTY", .key = "QTY"}));
  ASSERT_FALSE(log_.empty());
  EXPECT_EQ(log_.last().GENCODE, kGenLock);
  EXPECT_EQ(Two().orders().count(), 1);  // nothing was made
  log_.clear();
  // A new file is no other opener's: no table lock needed.
  EXPECT_TRUE(Two().orders().Create({.bag_path = dir_ / "OWN", .tag = "QTY", .key = "QTY"}));
  // Nor is a reindex, which rebuilds orders the other opener keeps.
  EXPECT_FALSE(Two().orders().Reindex());
  EXPECT_EQ(log_.last().GENCODE, kGenLock);
  log_.clear();
  ASSERT_TRUE(One().UnlockAll());
  ASSERT_TRUE(Two().orders().Create({.bag_path = dir_ / "T", .tag = "QTY", .key = "QTY"}));
  // The lock taken for the build is given back.
  EXPECT_FALSE(Two().TableLocked());
  ASSERT_TRUE(One().RLock(5));
  ASSERT_TRUE(One().UnlockAll());
  // Holding the table lock itself, an area builds and keeps it.
  ASSERT_TRUE(Two().FLock());
  ASSERT_TRUE(Two().orders().Reindex());
  EXPECT_TRUE(Two().TableLocked());
  EXPECT_TRUE(Check(Two()).empty());
  EXPECT_TRUE(log_.empty());
}

}  // namespace
}  // namespace talvi::dbf
