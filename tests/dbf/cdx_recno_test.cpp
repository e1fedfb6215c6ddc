// SPDX-License-Identifier: MIT
// The record-number width of CDX leaves comes from the table's size: a
// leaf that holds only small record numbers still has room for the
// largest record of the table, and the tag stays whole as the table grows.
#include <gtest/gtest.h>

#include <cstdio>

#include "dbf/areas.h"
#include "dbf/orders.h"
#include "dbf/settings.h"
#include "dbf_support.h"

namespace talvi::dbf {
namespace {

std::string Key(int i) {
  char b[16];
  std::snprintf(b, sizeof b, "%08d", i);
  return b;
}

// The record-number bits of every leaf of the file's one tag (the
// directory's leaf is the first node, at 1024).
std::vector<int> LeafRecnoBits(const std::string& path) {
  const std::string bytes = talvi::testing::ReadBytes(path);
  std::vector<int> bits;
  for (std::size_t at = 1536; at + 512 <= bytes.size(); at += 512) {
    const auto attributes =
        static_cast<unsigned char>(bytes[at]) | (static_cast<unsigned char>(bytes[at + 1]) << 8);
    const auto keys = static_cast<unsigned char>(bytes[at + 2]);
    if ((attributes == 2 || attributes == 3) && keys > 0) {
      bits.push_back(static_cast<unsigned char>(bytes[at + 20]));
    }
  }
  return bits;
}

// A table of `records` records keyed K ("00000001"...) with its CDX tag.
void MakeTable(const std::string& path, int records) {
  Workspace().CloseAll();
  ASSERT_TRUE(Table::Create(path, {{"K", 'C', 8, 0}}));
  ASSERT_TRUE(Workspace().Use(path, "", {.shared = false}));
  WorkArea& a = Workspace().Current();
  for (int i = 1; i <= records; ++i) {
    ASSERT_TRUE(a.AppendBlank());
    ASSERT_TRUE(a.Put("K", Value::Character(Key(i))));
  }
  ASSERT_TRUE(a.orders().Create({.bag_path = path.substr(0, path.size() - 4), .key = "K"}));
  Workspace().CloseAll();
}

TEST(CdxRecno, LeavesHaveRoomForTheTablesLargestRecordNumber) {
  talvi::testing::TempDir dir;
  testing::ErrorLog log;
  // 300 records need 9 bits; the first leaves, records below 256, would
  // fit 8 on their own (8-byte keys: 4 bits for each count).
  ASSERT_NO_FATAL_FAILURE(MakeTable(dir / "T.DBF", 300));
  const auto bits = LeafRecnoBits(dir / "T.CDX");
  ASSERT_GE(bits.size(), 2u);
  for (int b : bits) EXPECT_GE(b, 9);
  EXPECT_TRUE(log.empty());
}

// A table of 250 records (two bytes an entry, leaves packed full) grows
// past 256 while shared: the full leaf beside a split keeps its own width
// when its sibling link is written, new leaves take the wider one, and
// the order stays whole.
TEST(CdxRecno, FullLeavesOfASmallerTableStayWholeAsItGrows) {
  talvi::testing::TempDir dir;
  testing::ErrorLog log;
  const std::string path = dir / "T.DBF";
  ASSERT_NO_FATAL_FAILURE(MakeTable(path, 250));
  for (int b : LeafRecnoBits(dir / "T.CDX")) EXPECT_EQ(b, 8);
  // Exclusively: a shared append passes its blank key through the first
  // leaf, which would then be written again.
  ASSERT_TRUE(Workspace().Use(path, "", {.shared = false}));
  WorkArea& a = Workspace().Current();
  for (int i = 251; i <= 1100; ++i) {
    ASSERT_TRUE(a.AppendBlank());
    ASSERT_TRUE(a.Put("K", Value::Character(Key(i))));
  }
  ASSERT_TRUE(a.Commit());
  std::vector<std::string> problems, notes;
  std::uint32_t keys = 0;
  ASSERT_TRUE(a.orders().Check(1, problems, notes, keys));
  EXPECT_TRUE(problems.empty()) << problems.front();
  EXPECT_EQ(keys, 1100u);
  Workspace().CloseAll();
  int narrow = 0, wide = 0;
  for (int b : LeafRecnoBits(dir / "T.CDX")) (b == 8 ? narrow : wide) += 1;
  EXPECT_GT(narrow, 0);
  EXPECT_GT(wide, 0);
  EXPECT_TRUE(log.empty());
}

}  // namespace
}  // namespace talvi::dbf
