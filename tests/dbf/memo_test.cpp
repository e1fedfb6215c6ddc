// SPDX-License-Identifier: MIT
// Memo fields of tables the engine writes: DBT rewrites in place or at the
// next free block, FPT memos of FoxPro tables, binary memos that hold the
// end pair, and pointers that lead nowhere.
#include <gtest/gtest.h>

#include "dbf/area.h"
#include "dbf/codes.h"
#include "dbf/table.h"
#include "dbf_support.h"

namespace talvi::dbf {
namespace {

using talvi::testing::ReadBytes;

using testing::Fields;

class MemoTest : public testing::TableFixture {};

TEST_F(MemoTest, DbtMemosRewriteInPlaceWhenTheyFitElseAppend) {
  auto t = Make();
  ASSERT_NE(t, nullptr);
  ASSERT_EQ(Append(*t, "a", 1), 1u);
  std::string r;
  ASSERT_TRUE(t->ReadRecord(1, r));
  const std::string long_text(700, 'x');
  ASSERT_TRUE(t->PutValue(r, 4, Value::Character(long_text)));
  EXPECT_EQ(t->RawValue(r, 4), "         1");
  ASSERT_TRUE(t->PutValue(r, 4, Value::Character("short\r\nline")));
  EXPECT_EQ(t->RawValue(r, 4), "         1");  // in place
  ASSERT_TRUE(t->PutValue(r, 4, Value::Character(std::string(1100, 'y'))));
  EXPECT_EQ(t->RawValue(r, 4), "         3");  // did not fit two blocks
  ASSERT_TRUE(t->WriteRecord(1, r));
  EXPECT_EQ(t->GetValue(r, 4), Value::Character(std::string(1100, 'y')));
  ASSERT_TRUE(t->PutValue(r, 4, Value::Character("")));
  EXPECT_EQ(t->RawValue(r, 4), "          ");
  EXPECT_EQ(t->GetValue(r, 4), Value::Character(""));
  t.reset();  // an exclusive open keeps other readers out on Windows
  const std::string memo = ReadBytes(dir_ / "ITEMS.DBT");
  EXPECT_EQ(memo.substr(0, 4), std::string("\x06\0\0\0", 4));
  EXPECT_EQ(memo.substr(512, 13), "short\r\nline\x1A\x1A");
  EXPECT_EQ(memo.substr(1536 + 1100, 2), "\x1A\x1A");
  EXPECT_TRUE(log_.empty());
}

TEST_F(MemoTest, FptMemosOfAFoxProTableAreWritten) {
  TALVI_NEED_FIXTURE(d, dir_, "cdx-vfp-contacts");
  auto t = Table::Open(d + "/contacts.dbf", {.shared = true, .read_only = false});
  ASSERT_NE(t, nullptr);
  const int notes = t->FieldIndex("NOTES");
  std::string r;
  ASSERT_TRUE(t->ReadRecord(1, r));
  const std::string old = t->GetValue(r, notes).str();
  ASSERT_FALSE(old.empty());
  const std::string bin("bin\x1A\x1A\0data", 11);
  const std::string old_pointer(t->RawValue(r, notes));
  ASSERT_TRUE(t->PutValue(r, notes, Value::Character(bin)));
  ASSERT_GE(old.size(), bin.size());
  EXPECT_EQ(t->RawValue(r, notes), old_pointer);  // rewritten in place
  ASSERT_TRUE(t->WriteRecord(1, r));
  ASSERT_TRUE(t->ReadRecord(3, r));
  const std::string big(5000, 'z');
  ASSERT_TRUE(t->PutValue(r, notes, Value::Character(big)));
  std::uint32_t block = 0;
  ASSERT_TRUE(MemoPointer(t->RawValue(r, notes), block));
  EXPECT_GE(block * 64u, ReadBytes(d + "/contacts.FPT").size() - 5000 - 8 - 64);  // appended
  ASSERT_TRUE(t->WriteRecord(3, r));
  t.reset();
  auto again = Table::Open(d + "/contacts.dbf", {.shared = true, .read_only = true});
  ASSERT_NE(again, nullptr);
  ASSERT_TRUE(again->ReadRecord(1, r));
  EXPECT_EQ(again->GetValue(r, notes), Value::Character(bin));
  ASSERT_TRUE(again->ReadRecord(3, r));
  EXPECT_EQ(again->GetValue(r, notes), Value::Character(big));
  ASSERT_TRUE(again->ReadRecord(2, r));
  EXPECT_FALSE(again->GetValue(r, notes).str().empty());
  EXPECT_TRUE(again->Check().problems.empty());
  EXPECT_TRUE(log_.empty());
}

TEST_F(MemoTest, BinaryMemoRewrittenInPlaceStaysOutOfTheNextMemo) {
  // Record 2's PNG (blocks 60-246) holds the end pair inside; record 3's
  // text starts at block 247.
  TALVI_NEED_FIXTURE(d, dir_, "dbt-php-dbase3");
  auto t = Table::Open(d + "/dBaseIII.dbf", {.shared = false, .read_only = false});
  ASSERT_NE(t, nullptr);
  const int image = t->FieldIndex("IMAGE");
  const int bio = t->FieldIndex("BIO");
  std::string r2, r3;
  ASSERT_TRUE(t->ReadRecord(2, r2));
  ASSERT_TRUE(t->ReadRecord(3, r3));
  const std::string next_bio = t->GetValue(r3, bio).str();
  std::string png = t->GetValue(r2, image).str();
  ASSERT_EQ(png.size(), 95714u);
  png.resize(png.size() - 100);  // still holds the inner pairs
  ASSERT_TRUE(t->PutValue(r2, image, Value::Character(png)));
  EXPECT_EQ(t->RawValue(r2, image), "        60");  // in place
  ASSERT_TRUE(t->WriteRecord(2, r2));
  png += std::string(512 * 3, 'z');  // no longer fits before block 247
  ASSERT_TRUE(t->PutValue(r2, image, Value::Character(png)));
  EXPECT_NE(t->RawValue(r2, image), "        60");
  ASSERT_TRUE(t->WriteRecord(2, r2));
  t.reset();
  auto again = Table::Open(d + "/dBaseIII.dbf", {.shared = true, .read_only = true});
  ASSERT_NE(again, nullptr);
  ASSERT_TRUE(again->ReadRecord(3, r3));
  EXPECT_EQ(again->GetValue(r3, bio).str(), next_bio);
  ASSERT_TRUE(again->ReadRecord(2, r2));
  EXPECT_EQ(again->GetValue(r2, image).str(), png);
  EXPECT_TRUE(log_.empty());
}

// In shared mode where a memo ends may depend on where the next one
// starts (bytes after its end pair, as the BDE leaves them); what a reader
// learnt of the table's memos must not outlive the memos others append.
TEST_F(MemoTest, SharedReaderSeesWhereMemosEndAfterOthersAppend) {
  ASSERT_TRUE(Table::Create(path_, {{"NAME", 'C', 4, 0}, {"TXT", 'M', 10, 0}}));
  {
    WorkArea a(1);
    ASSERT_TRUE(a.Use(path_, "T", {.shared = false}));
    for (int i = 1; i <= 3; ++i) {
      ASSERT_TRUE(a.AppendBlank());
      ASSERT_TRUE(a.Put("TXT", Value::Character("seed " + std::to_string(i))));
    }
  }
  std::string memo = ReadBytes(dir_ / "ITEMS.DBT");
  ASSERT_EQ(memo.size(), 4 * 512u);
  std::fill(memo.begin() + 3 * 512 + 8, memo.end(), 'J');  // after "seed 3" and its pair
  talvi::testing::WriteBytes(dir_ / "ITEMS.DBT", memo);
  WorkArea reader(1);
  WorkArea writer(2);
  ASSERT_TRUE(reader.Use(path_, "R", {.shared = true}));
  ASSERT_TRUE(writer.Use(path_, "W", {.shared = true}));
  ASSERT_TRUE(reader.GoTo(3));
  EXPECT_EQ(reader.Get("TXT"), Value::Character("seed 3"));
  // The writer's new memo lands right after it (blocks 4 and 5).
  const std::string grown = std::string(600, 'g') + std::string("\x1A\x1A", 2) + "tail";
  ASSERT_TRUE(writer.GoTo(1));
  ASSERT_TRUE(writer.RLock());
  ASSERT_TRUE(writer.Put("TXT", Value::Character(grown)));
  ASSERT_TRUE(writer.UnlockAll());
  EXPECT_EQ(writer.table()->RawValue(writer.record(), 1), "         4");
  ASSERT_TRUE(reader.GoTo(3));
  EXPECT_EQ(reader.Get("TXT"), Value::Character("seed 3"));
  ASSERT_TRUE(reader.RLock());  // reads the table's memo pointers again
  EXPECT_EQ(reader.Get("TXT"), Value::Character("seed 3"));
  ASSERT_TRUE(reader.GoTo(1));
  EXPECT_EQ(reader.Get("TXT"), Value::Character(grown));
  EXPECT_TRUE(log_.empty());
}

TEST_F(MemoTest, BadMemoPointersAreAnErrorForThatFieldOnly) {
  auto t = Make();
  ASSERT_NE(t, nullptr);
  Append(*t, "a", 1);
  std::string r;
  ASSERT_TRUE(t->ReadRecord(1, r));
  ASSERT_TRUE(t->PutValue(r, 4, Value::Character("fine")));
  const std::string pointers[] = {"     99999", "  garbage!", "4294967295"};
  for (const auto& p : pointers) {
    std::string bad = r;
    bad.replace(28, 10, p);
    log_.clear();
    EXPECT_EQ(t->GetValue(bad, 4), Value::Character("")) << p;
    ASSERT_EQ(log_.errors().size(), 1u) << p;
    EXPECT_EQ(log_.last().GENCODE, kGenCorruption);
    EXPECT_EQ(log_.last().SUBCODE, kSubCorrupt);
    EXPECT_EQ(t->GetValue(bad, 0), Value::Character("a         "));
  }
  log_.clear();
  EXPECT_EQ(t->GetValue(r, 4), Value::Character("fine"));
  EXPECT_TRUE(log_.empty());
}

}  // namespace
}  // namespace talvi::dbf
