// SPDX-License-Identifier: MIT
// Tables the engine creates and writes: header, records, encodings, limits,
// read-only opens and corrupt files.
#include "dbf/table.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "dbf/codes.h"
#include "dbf/date.h"
#include "dbf_support.h"
#include "os/shared_file.h"

namespace talvi::dbf {
namespace {

using talvi::testing::ReadBytes;
using talvi::testing::WriteBytes;

using testing::Fields;

class TableTest : public testing::TableFixture {};

TEST_F(TableTest, CreatedTableHasTheDbaseIIILayout) {
  auto t = Make();
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->memo_path(), dir_ / "ITEMS.DBT");
  EXPECT_EQ(Append(*t, "apple", 1.5), 1u);
  EXPECT_EQ(Append(*t, "pear", -2), 2u);
  t.reset();
  const std::string b = ReadBytes(path_);
  ASSERT_EQ(b.size(), 32u + 5 * 32 + 1 + 2 * 38 + 1);
  EXPECT_EQ(static_cast<unsigned char>(b[0]), 0x83);
  const Ymd today = FromJulianDay(Today());
  EXPECT_EQ(static_cast<unsigned char>(b[1]), today.year - 1900);
  EXPECT_EQ(b[2], today.month);
  EXPECT_EQ(b[3], today.day);
  EXPECT_EQ(b.substr(4, 4), std::string("\x02\0\0\0", 4));
  EXPECT_EQ(b.substr(8, 2), std::string("\xC1\0", 2));   // 193
  EXPECT_EQ(b.substr(10, 2), std::string("\x26\0", 2));  // 38
  EXPECT_EQ(b[29], '\x03');
  EXPECT_EQ(b.substr(32, 11), std::string("NAME\0\0\0\0\0\0\0", 11));
  EXPECT_EQ(b[192], '\x0D');
  EXPECT_EQ(b.substr(193, 38), std::string(" apple         1.50                   "));
  EXPECT_EQ(b.substr(231, 19), std::string(" pear         -2.00"));
  EXPECT_EQ(b.back(), '\x1A');
  const std::string memo = ReadBytes(dir_ / "ITEMS.DBT");
  ASSERT_EQ(memo.size(), 512u);
  EXPECT_EQ(memo.substr(0, 4), std::string("\x01\0\0\0", 4));
  EXPECT_TRUE(log_.empty());
}

TEST_F(TableTest, NumbersThatDoNotFitAreRefusedNeverCut) {
  auto t = Make({{"N", 'N', 5, 2}, {"W", 'N', 3, 0}});
  ASSERT_NE(t, nullptr);
  std::string r = t->BlankRecord();
  const std::string before = r;
  EXPECT_FALSE(t->PutValue(r, 0, Value::Numeric(123.456)));  // "123.46" is 6 wide
  ASSERT_EQ(log_.errors().size(), 1u);
  EXPECT_EQ(log_.last().GENCODE, kGenDataWidth);
  EXPECT_EQ(log_.last().OPERATION, "N");
  EXPECT_FALSE(t->PutValue(r, 0, Value::Numeric(99.999)));  // rounds to 100.00
  EXPECT_FALSE(t->PutValue(r, 1, Value::Numeric(1e300)));
  EXPECT_FALSE(t->PutValue(r, 1, Value::Numeric(-100)));
  EXPECT_EQ(r, before);
  EXPECT_FALSE(t->PutValue(r, 0, Value::Character("12")));
  EXPECT_EQ(log_.last().GENCODE, kGenDataType);
  log_.clear();
  EXPECT_TRUE(t->PutValue(r, 0, Value::Numeric(-0.001)));
  EXPECT_EQ(t->RawValue(r, 0), " 0.00");
  EXPECT_TRUE(t->PutValue(r, 0, Value::Numeric(-9.994)));
  EXPECT_EQ(t->RawValue(r, 0), "-9.99");
  EXPECT_TRUE(t->PutValue(r, 1, Value::Numeric(999)));
  EXPECT_EQ(t->RawValue(r, 1), "999");
  EXPECT_TRUE(log_.empty());
}

TEST_F(TableTest, DirtyValuesReadAsEmptyWithTheirBytesKept) {
  auto t = Make({{"N", 'N', 4, 0}, {"L", 'L', 1, 0}, {"D", 'D', 8, 0}, {"C", 'C', 3, 0}});
  ASSERT_NE(t, nullptr);
  std::string r = t->BlankRecord();
  const std::pair<std::string, std::string> dirty[] = {
      {"  **", "?"}, {std::string("\0\0\0\0", 4), "x"}, {"   .", " "}, {"1e5 ", "F"}};
  for (const auto& [n, l] : dirty) {
    r.replace(1, 4, n);
    r.replace(5, 1, l);
    r.replace(6, 8, "00000000");
    EXPECT_EQ(t->GetValue(r, 0), Value::Numeric(0)) << n;
    EXPECT_EQ(t->RawValue(r, 0), n);
    EXPECT_EQ(t->GetValue(r, 1), Value::Logical(false));
    EXPECT_EQ(t->GetValue(r, 2), Value::Date(0));
  }
  r.replace(6, 8, "20240229");
  EXPECT_EQ(t->GetValue(r, 2), Value::Date(JulianDay(2024, 2, 29)));
  r.replace(6, 8, "20230229");
  EXPECT_EQ(t->GetValue(r, 2), Value::Date(0));
  // Bytes stay bytes: no code-page step.
  r.replace(14, 3, std::string("\xE0\x00\xFF", 3));
  EXPECT_EQ(t->GetValue(r, 3), Value::Character(std::string("\xE0\x00\xFF", 3)));
}

TEST_F(TableTest, FilesThatAreNotTablesAreCorruptNeverACrash) {
  struct Case {
    const char* what;
    std::string bytes;
  };
  std::string good;
  {
    auto t = Make({{"A", 'C', 4, 0}});
    ASSERT_NE(t, nullptr);
    Append(*t, "x", 0);
  }
  good = ReadBytes(path_);
  std::string short_header = good;
  short_header[8] = 10;  // header length 10
  std::string zero_len = good;
  zero_len[32 + 16] = 0;
  std::string past = good;
  past[10] = 2;  // record length 2 < 1 + 4
  const Case cases[] = {{"empty", ""},
                        {"ten bytes", "0123456789"},
                        {"short header", short_header},
                        {"field of length 0", zero_len},
                        {"fields past the record", past},
                        {"cut inside the header", good.substr(0, 40)}};
  for (const auto& c : cases) {
    WriteBytes(path_, c.bytes);
    log_.clear();
    EXPECT_EQ(Table::Open(path_, {.shared = true, .read_only = true}), nullptr) << c.what;
    ASSERT_EQ(log_.errors().size(), 1u) << c.what;
    EXPECT_EQ(log_.last().GENCODE, kGenCorruption) << c.what;
    EXPECT_EQ(log_.last().SUBCODE, kSubCorrupt) << c.what;
    EXPECT_EQ(log_.last().FILENAME, path_) << c.what;
    EXPECT_EQ(ReadBytes(path_), c.bytes);
  }
  // A count beyond the end of the file: the whole records are read, the
  // check reports the rest.
  std::string beyond = good;
  beyond[4] = 9;
  WriteBytes(path_, beyond);
  log_.clear();
  auto t = Table::Open(path_, {.shared = true, .read_only = true});
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->RecordCount(), 1u);
  EXPECT_EQ(t->header().count, 9u);
  EXPECT_FALSE(t->Check().problems.empty());
  EXPECT_TRUE(log_.empty());
}

TEST_F(TableTest, CreateEnforcesTheFormatLimits) {
  const std::vector<std::vector<FieldDef>> bad = {{},
                                                  {{"ELEVENCHARS", 'C', 1, 0}},
                                                  {{"A", 'C', 1, 0}, {"a", 'N', 2, 0}},
                                                  {{"N", 'N', 21, 0}},
                                                  {{"N", 'N', 4, 3}},
                                                  {{"X", 'Q', 4, 0}},
                                                  {{"A B", 'C', 1, 0}},
                                                  {{"A", 'C', 65000, 0}, {"B", 'C', 600, 0}}};
  for (const auto& f : bad) {
    log_.clear();
    EXPECT_FALSE(Table::Create(path_, f));
    ASSERT_EQ(log_.errors().size(), 1u);
    EXPECT_EQ(log_.last().GENCODE, kGenLimit);
    EXPECT_FALSE(log_.last().DESCRIPTION->empty());
  }
  // A long character field keeps its length's high byte in the decimals.
  log_.clear();
  auto t = Make({{"LONG", 'C', 300, 0}});
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->fields()[0].length, 300);
  EXPECT_EQ(t->header().record_length, 301);
  EXPECT_TRUE(log_.empty());
}

TEST_F(TableTest, OpenFailuresAndReadOnlyOpensRaiseTheirErrors) {
  {
    auto t = Make();
    ASSERT_NE(t, nullptr);
    Append(*t, "a", 1);
  }
  const std::string before = ReadBytes(path_);
  log_.clear();
  EXPECT_EQ(Table::Open(dir_ / "missing", {}), nullptr);
  ASSERT_EQ(log_.errors().size(), 1u);
  EXPECT_EQ(log_.last().GENCODE, kGenOpen);
  EXPECT_EQ(log_.last().OSCODE, os::kOsFileNotFound);
  EXPECT_EQ(log_.last().FILENAME, dir_ / "MISSING.DBF");
  {
    auto ex = Table::Open(path_, {.shared = false, .read_only = false});
    ASSERT_NE(ex, nullptr);
    log_.clear();
    EXPECT_EQ(Table::Open(path_, {.shared = true, .read_only = true}), nullptr);
    ASSERT_EQ(log_.errors().size(), 1u);
    EXPECT_EQ(log_.last().GENCODE, kGenOpen);
    EXPECT_EQ(log_.last().OSCODE, os::kOsSharingViolation);
    EXPECT_TRUE(log_.last().CANDEFAULT);
  }
  log_.clear();
  auto ro = Table::Open(path_, {.shared = true, .read_only = true});
  ASSERT_NE(ro, nullptr);
  std::string r;
  ASSERT_TRUE(ro->ReadRecord(1, r));
  EXPECT_FALSE(ro->PutValue(r, 0, Value::Character("b")));
  EXPECT_EQ(log_.last().GENCODE, kGenReadOnly);
  EXPECT_FALSE(ro->WriteRecord(1, r));
  std::uint32_t n = 0;
  EXPECT_FALSE(ro->AppendRecord(r, n));
  EXPECT_FALSE(ro->Zap());
  EXPECT_FALSE(ro->Pack());
  EXPECT_EQ(log_.errors().size(), 5u);
  EXPECT_EQ(ReadBytes(path_), before);
}

TEST_F(TableTest, ZapAndPack) {
  auto t = Make();
  ASSERT_NE(t, nullptr);
  for (int i = 1; i <= 5; ++i) Append(*t, "r" + std::to_string(i), i);
  std::string r;
  for (std::uint32_t n : {2u, 4u}) {
    ASSERT_TRUE(t->ReadRecord(n, r));
    r[0] = '*';
    ASSERT_TRUE(t->WriteRecord(n, r));
  }
  ASSERT_TRUE(t->Pack());
  EXPECT_EQ(t->RecordCount(), 3u);
  const char* left[] = {"r1", "r3", "r5"};
  for (std::uint32_t n = 1; n <= 3; ++n) {
    ASSERT_TRUE(t->ReadRecord(n, r));
    EXPECT_EQ(t->GetValue(r, 0), Value::Character(std::string(left[n - 1]) + "        "));
  }
  // An exclusive open keeps other readers out on Windows: close to look.
  t.reset();
  EXPECT_EQ(ReadBytes(path_).size(), 193u + 3 * 38 + 1);
  t = Table::Open(path_, {.shared = false, .read_only = false});
  ASSERT_NE(t, nullptr);
  ASSERT_TRUE(t->Zap());
  EXPECT_EQ(t->RecordCount(), 0u);
  t.reset();
  EXPECT_EQ(ReadBytes(path_).size(), 194u);
  t = Table::Open(path_, {.shared = false, .read_only = false});
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(Append(*t, "again", 1), 1u);
  EXPECT_TRUE(t->Check().problems.empty());
  EXPECT_TRUE(log_.empty());
}

// Pack writes the memo file anew: the memos of removed records and the
// blocks that rewritten memos left behind are gone, the rest reads back.
TEST_F(TableTest, PackLeavesNoDeadMemoBlocks) {
  auto t = Make();
  ASSERT_NE(t, nullptr);
  const auto memo = [](int i) {
    return std::string(static_cast<std::size_t>(i) * 300, static_cast<char>('a' + i));
  };
  std::string r;
  for (int i = 1; i <= 6; ++i) {
    r = t->BlankRecord();
    ASSERT_TRUE(t->PutValue(r, 0, Value::Character("r" + std::to_string(i))));
    ASSERT_TRUE(t->PutValue(r, 4, Value::Character(memo(1))));
    // Longer each time: the memo moves to the end, its old block is dead.
    ASSERT_TRUE(t->PutValue(r, 4, Value::Character(memo(i))));
    if (i == 5) {
      ASSERT_TRUE(t->PutValue(r, 4, Value::Character("")));
    }
    std::uint32_t n = 0;
    ASSERT_TRUE(t->AppendRecord(r, n));
  }
  for (std::uint32_t n : {2u, 4u}) {
    ASSERT_TRUE(t->ReadRecord(n, r));
    r[0] = '*';
    ASSERT_TRUE(t->WriteRecord(n, r));
  }
  const std::string memo_path = t->memo_path();
  const auto before = std::filesystem::file_size(memo_path);
  ASSERT_TRUE(t->Pack());
  ASSERT_EQ(t->RecordCount(), 4u);
  const int left[] = {1, 3, 5, 6};
  for (std::uint32_t n = 1; n <= 4; ++n) {
    ASSERT_TRUE(t->ReadRecord(n, r));
    const int i = left[n - 1];
    EXPECT_EQ(t->GetValue(r, 0), Value::Character("r" + std::to_string(i) + "        "));
    EXPECT_EQ(t->GetValue(r, 4), Value::Character(i == 5 ? "" : memo(i))) << "record " << n;
  }
  EXPECT_TRUE(t->Check().problems.empty());
  t.reset();
  // Header block, then 300, 900 and 1800 bytes with their terminators: 1 + 1 + 2 + 4 blocks.
  const auto after = std::filesystem::file_size(memo_path);
  EXPECT_LT(after, before);
  EXPECT_EQ(after, 8u * 512u);
  EXPECT_FALSE(std::filesystem::exists(memo_path + ".pack"));
  // Opened again, read only, the packed files check clean.
  t = Table::Open(path_, {.shared = false, .read_only = true});
  ASSERT_NE(t, nullptr);
  EXPECT_TRUE(t->Check().problems.empty());
  EXPECT_TRUE(log_.empty());
}

TEST_F(TableTest, TableOverTwoGibibytesIsReadWithBoundedMemory) {
  // 40 000 records of 60 000 bytes: 2.4 GB, sparse where the file system
  // allows; only the header and the last record are ever written.
  ASSERT_TRUE(Table::Create(path_, {{"A", 'C', 59999, 0}}));
  constexpr std::uint32_t kCount = 40'000;
  {
    int oscode = 0;
    auto f = os::SharedFile::Open(path_, os::ExclusiveMode(false), oscode);
    ASSERT_NE(f, nullptr);
    const std::uint64_t last = 65 + std::uint64_t{kCount - 1} * 60000;
    std::string rec(60000, ' ');
    rec.replace(1, 4, "LAST");
    rec += '\x1A';
    ASSERT_TRUE(f->WriteAt(last, rec.data(), rec.size()));
    char count[4] = {static_cast<char>(kCount & 0xFF), static_cast<char>(kCount >> 8), 0, 0};
    ASSERT_TRUE(f->WriteAt(4, count, 4));
  }
  auto t = Table::Open(path_, {.shared = true, .read_only = false});
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->RecordCount(), kCount);
  std::string r;
  ASSERT_TRUE(t->ReadRecord(kCount, r));
  EXPECT_EQ(t->RawValue(r, 0).substr(0, 4), "LAST");
  r.replace(1, 4, "EDIT");
  ASSERT_TRUE(t->WriteRecord(kCount, r));
  ASSERT_TRUE(t->ReadRecord(kCount, r));
  EXPECT_EQ(t->RawValue(r, 0).substr(0, 4), "EDIT");
  ASSERT_TRUE(t->ReadRecord(kCount / 2, r));
  std::uint32_t n = 0;
  ASSERT_TRUE(t->TryLockHeader());
  ASSERT_TRUE(t->AppendRecord(std::string(60000, ' '), n));
  EXPECT_EQ(n, kCount + 1);
  EXPECT_TRUE(log_.empty());
}

}  // namespace
}  // namespace talvi::dbf
