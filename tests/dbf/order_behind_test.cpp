// SPDX-License-Identifier: MIT
// An index file (CDX or NTX) opened exclusively keeps its changed pages
// back: what a commit or a close leaves on the file is the whole index,
// and a write that fails when the pages go out is an error of the commit.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "dbf/areas.h"
#include "dbf/cdx.h"
#include "dbf/codes.h"
#include "dbf/ntx.h"
#include "dbf/orders.h"
#include "dbf/settings.h"
#include "dbf_support.h"
#include "faulty_ops.h"
#include "os/os_code.h"
#include "support/platform.h"

namespace talvi::dbf {
namespace {

class OrderBehind : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    Engine().driver = GetParam();
    cdx_ = Engine().driver == "DBFCDX";
    index_ = dir_ / (cdx_ ? "T.CDX" : "T.NTX");
    Workspace().CloseAll();
    ASSERT_TRUE(Table::Create(path_, {{"NAME", 'C', 8, 0}}));
    ASSERT_TRUE(Workspace().Use(path_, "", {.shared = false}));
    ASSERT_TRUE(Area().orders().Create({.bag_path = dir_ / "T", .tag = "NAME", .key = "NAME"}));
  }
  void TearDown() override {
    Workspace().CloseAll();
    Engine().driver = "DBFCDX";
  }
  WorkArea& Area() { return Workspace().Current(); }
  // Windows lets nobody read a file opened exclusively, not even to copy
  // it: there the file is looked at once it is closed.
  static constexpr bool kReadableWhileOpen = !talvi::testing::kOnWindows;
  // The keys of the file's bytes as they are on the disk now (read through
  // a copy: the file itself is open exclusively).
  std::multiset<std::pair<std::string, std::uint32_t>> OnDisk() {
    const std::string copy = dir_ / "COPY.IDX";
    talvi::testing::WriteBytes(copy, talvi::testing::ReadBytes(index_));
    std::multiset<std::pair<std::string, std::uint32_t>> keys;
    std::unique_ptr<CdxFile> cdx;
    std::unique_ptr<NtxFile> ntx;
    IndexTree* tree = nullptr;
    if (cdx_) {
      cdx = CdxFile::Open(copy, true, true);
      EXPECT_TRUE(cdx && cdx->tags().size() == 1);
      if (cdx && cdx->tags().size() == 1) tree = cdx->tags()[0].get();
    } else {
      ntx = NtxFile::Open(copy, true, true);
      EXPECT_TRUE(ntx);
      tree = ntx.get();
    }
    if (!tree) return keys;
    EXPECT_TRUE(tree->Walk([&](const IndexEntry& e) {
      keys.insert({e.key, e.recno});
      return true;
    }));
    return keys;
  }
  static std::string Name(int i) {
    std::string k = "n" + std::to_string(i * 7919 % 5003);
    k.resize(8, ' ');
    return k;
  }
  talvi::testing::TempDir dir_;
  std::string path_ = dir_ / "T.DBF";
  bool cdx_ = true;
  std::string index_;
};

TEST_P(OrderBehind, ACommitLeavesTheWholeIndexOnTheDisk) {
  testing::ErrorLog log;
  std::multiset<std::pair<std::string, std::uint32_t>> want;
  for (int i = 1; i <= 3000; ++i) {  // splits: new nodes, a new root
    ASSERT_TRUE(Area().AppendBlank());
    ASSERT_TRUE(Area().Put("NAME", Value::Character(Name(i))));
    want.insert({Name(i), static_cast<std::uint32_t>(i)});
  }
  ASSERT_TRUE(Area().Commit());
  if (kReadableWhileOpen) {
    EXPECT_EQ(OnDisk(), want);
  }
  // Keys changed and removed, then the table closed without a commit.
  for (int i = 1; i <= 3000; i += 3) {
    ASSERT_TRUE(Area().GoTo(static_cast<std::uint32_t>(i)));
    ASSERT_TRUE(Area().Put("NAME", Value::Character("zz")));
    want.erase(want.find({Name(i), static_cast<std::uint32_t>(i)}));
    want.insert({"zz      ", static_cast<std::uint32_t>(i)});
  }
  Workspace().CloseAll();
  EXPECT_EQ(OnDisk(), want);
  ASSERT_TRUE(Workspace().Use(path_, "", {.shared = true, .read_only = true}));
  if (!cdx_) {  // the CDX opens with its table
    ASSERT_TRUE(Area().orders().Open(index_));
  }
  std::vector<std::string> problems, notes;
  std::uint32_t keys = 0;
  ASSERT_TRUE(Area().orders().Check(1, problems, notes, keys));
  EXPECT_TRUE(problems.empty()) << problems.front();
  EXPECT_EQ(keys, 3000u);
  EXPECT_TRUE(log.empty());
}

TEST_P(OrderBehind, AWriteThatFailsAtTheCommitIsItsError) {
  testing::ErrorLog log;
  for (int i = 1; i <= 50; ++i) {
    ASSERT_TRUE(Area().AppendBlank());
    ASSERT_TRUE(Area().Put("NAME", Value::Character(Name(i))));
  }
  ASSERT_TRUE(Area().GoTop());  // the last record written and its key kept back
  {
    testing::FaultyOps ops;
    ops.FailWrite(1, 0, os::kOsDiskFull);
    EXPECT_FALSE(Area().Commit());
  }
  // The index's pages are written first, then the table's (kept back too
  // in an exclusive open): both fail on the full disk, each its own error.
  const auto index_error =
      std::find_if(log.errors().begin(), log.errors().end(),
                   [&](const errors::Error& e) { return e.FILENAME == index_; });
  ASSERT_NE(index_error, log.errors().end());
  EXPECT_EQ(index_error->GENCODE, kGenWrite);
  EXPECT_EQ(index_error->OSCODE, os::kOsDiskFull);
  log.clear();
  // The pages stayed kept: the next commit writes them.
  ASSERT_TRUE(Area().Commit());
  EXPECT_TRUE(log.empty());
  if (!kReadableWhileOpen) Workspace().CloseAll();
  EXPECT_EQ(OnDisk().size(), 50u);
}

INSTANTIATE_TEST_SUITE_P(Drivers, OrderBehind, ::testing::Values("DBFCDX", "DBFNTX"));

}  // namespace
}  // namespace talvi::dbf
