// SPDX-License-Identifier: MIT
// Pack when the file system fails under it (a full disk at each of its
// writes in turn, a rename refused): the error reaches the handler, and
// the table under its own name is the old one (pack false) or the packed
// one (pack true), consistent and with its memos; the table object goes
// on working, or, where another program took the table while Windows had
// it closed for the rename, fails at every use. Killed processes:
// table_pack_process_test.cpp.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

#include "dbf/codes.h"
#include "dbf_support.h"
#include "faulty_ops.h"
#include "table_content.h"

namespace talvi::dbf {
namespace {

namespace fs = std::filesystem;
using testing::Content;
using testing::Read;

class PackFaultTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(Table::Create(path_, {{"NAME", 'C', 8, 0}, {"NOTE", 'M', 10, 0}}));
    auto t = Table::Open(path_, {.shared = false});
    ASSERT_NE(t, nullptr);
    for (int i = 1; i <= 6; ++i) {
      std::string r = t->BlankRecord();
      ASSERT_TRUE(t->PutValue(r, 0, Value::Character("r" + std::to_string(i))));
      ASSERT_TRUE(t->PutValue(r, 1, Value::Character("first " + std::to_string(i))));
      ASSERT_TRUE(
          t->PutValue(r, 1, Value::Character(std::string(static_cast<std::size_t>(i) * 300, 'm'))));
      if (i % 2 == 0) r[0] = '*';
      std::uint32_t n = 0;
      ASSERT_TRUE(t->AppendRecord(r, n));
    }
    t.reset();
    before_ = Read(path_, "NAME");
    ASSERT_TRUE(before_.problems.empty());
    for (const std::string& l : before_.lines)
      if (l[0] != '*') after_.lines.push_back(l);
    for (const std::string& f : {path_, memo_}) fs::copy_file(f, f + ".orig");
  }
  void Restore() {
    // Removed first: mingw's copy_file refuses to overwrite.
    for (const std::string& f : {path_, memo_}) {
      fs::remove(f);
      fs::copy_file(f + ".orig", f);
    }
  }

  // After a pack that gave `packed`: the open table still reads; closed,
  // the files are the old or the packed pair.
  void ExpectConsistent(std::unique_ptr<Table>& t, bool packed, const std::string& where) {
    std::string r;
    EXPECT_TRUE(t->ReadRecord(1, r)) << where;
    EXPECT_EQ(t->GetValue(r, 0), Value::Character("r1      ")) << where;
    EXPECT_EQ(t->RecordCount(), packed ? 3u : 6u) << where;
    t.reset();  // an exclusive open keeps other readers out
    const Content now = Read(path_, "NAME");
    EXPECT_TRUE(now.problems.empty()) << where << ": " << now.problems.front();
    EXPECT_EQ(now.lines, packed ? after_.lines : before_.lines) << where;
  }

  talvi::testing::TempDir dir_;
  testing::ErrorLog log_;
  std::string path_ = dir_ / "P.DBF";
  std::string memo_ = dir_ / "P.DBT";
  Content before_;
  Content after_;
};

TEST_F(PackFaultTest, AFullDiskAtAnyWriteLeavesTheOldOrThePackedPair) {
  for (std::size_t keep : {std::size_t{0}, std::size_t{3}}) {
    int failed_packs = 0;
    int packed_with_error = 0;
    for (int n = 1;; ++n) {
      Restore();
      auto t = Table::Open(path_, {.shared = false});
      ASSERT_NE(t, nullptr);
      bool packed = false;
      int writes = 0;
      {
        testing::FaultyOps ops;
        ops.FailWrite(n, keep, os::kOsDiskFull);
        packed = t->Pack();
        writes = ops.writes();
      }
      const std::string where = "write " + std::to_string(n) + " keeping " + std::to_string(keep);
      if (writes < n) {
        // Through without meeting the fault: the whole pack.
        EXPECT_TRUE(packed);
        EXPECT_TRUE(log_.empty()) << where;
        ExpectConsistent(t, true, where);
        break;
      }
      ASSERT_FALSE(log_.empty()) << where << ": no error raised";
      EXPECT_EQ(log_.last().OSCODE, os::kOsDiskFull) << where;
      EXPECT_FALSE(log_.last().FILENAME.empty()) << where;
      log_.clear();
      (packed ? packed_with_error : failed_packs)++;
      ExpectConsistent(t, packed, where);
      // The next pack (the disk has room again) finishes the work.
      t = Table::Open(path_, {.shared = false});
      ASSERT_TRUE(t && t->Pack()) << where;
      t.reset();
      EXPECT_EQ(Read(path_, "NAME").lines, after_.lines) << where;
      // Header, then 300, 900 and 1500 bytes with their end pairs.
      EXPECT_EQ(fs::file_size(memo_), (1u + 1 + 2 + 3) * 512) << where;
      ASSERT_LT(n, 200);
    }
    // Both halves were met: before the packed table took the name (false,
    // old pair) and after it (true, the memo file not yet compacted).
    EXPECT_GT(failed_packs, 3);
    EXPECT_GT(packed_with_error, 3);
  }
  EXPECT_FALSE(fs::exists(path_ + ".pack"));
}

TEST_F(PackFaultTest, ARefusedRenameLeavesTheOldPair) {
  auto t = Table::Open(path_, {.shared = false});
  ASSERT_NE(t, nullptr);
  {
    testing::FaultyOps ops;
    ops.FailRenames(os::kOsAccessDenied);
    EXPECT_FALSE(t->Pack());
  }
  ASSERT_FALSE(log_.empty());
  EXPECT_EQ(log_.last().GENCODE, kGenWrite);
  EXPECT_EQ(log_.last().OSCODE, os::kOsAccessDenied);
  EXPECT_EQ(log_.last().FILENAME, path_);
  log_.clear();
  EXPECT_FALSE(fs::exists(path_ + ".pack"));
  // The open table goes on as it was, and packs once the rename works.
  std::string r;
  ASSERT_TRUE(t->ReadRecord(6, r));
  EXPECT_EQ(t->GetValue(r, 1), Value::Character(std::string(1800, 'm')));
  ExpectConsistent(t, false, "rename refused");
  // The memo file is as it was, not grown by the copies.
  EXPECT_EQ(talvi::testing::ReadBytes(memo_), talvi::testing::ReadBytes(memo_ + ".orig"));
  t = Table::Open(path_, {.shared = false});
  ASSERT_TRUE(t && t->Pack());
  ExpectConsistent(t, true, "packed after all");
  EXPECT_TRUE(log_.empty());
}

// Windows closes the table for the rename; another program may open it in
// that moment and keep it. This one opens it, in `mode`, and the rename
// then fails as it would.
class TakenDuringRename : public testing::FaultyOps {
 public:
  explicit TakenDuringRename(const os::OpenMode& mode) : mode_(mode) {}
  bool Rename(const std::string&, const std::string& to, int& oscode) override {
    int ignored = 0;
    taker = os::SharedFile::Open(to, mode_, ignored);
    oscode = os::kOsSharingViolation;
    return false;
  }
  std::unique_ptr<os::SharedFile> taker;

 private:
  os::OpenMode mode_;
};

TEST_F(PackFaultTest, ATableTakenByAnotherProgramDuringTheRenameIsLeftToIt) {
  // Taken shared (the exclusive open must not come back shared and write
  // beside it) and taken exclusively (nothing comes back).
  for (const bool exclusive : {false, true}) {
    const std::string where = exclusive ? "taken exclusively" : "taken shared";
    Restore();
    auto t = Table::Open(path_, {.shared = false});
    ASSERT_NE(t, nullptr);
    std::unique_ptr<os::SharedFile> taker;
    {
      TakenDuringRename ops(exclusive ? os::ExclusiveMode(false) : os::SharedMode(false));
      EXPECT_FALSE(t->Pack()) << where;
      taker = std::move(ops.taker);
    }
    ASSERT_FALSE(log_.empty()) << where;
    EXPECT_EQ(log_.last().OSCODE, os::kOsSharingViolation) << where;
    log_.clear();
    if (!taker) {
      // Linux keeps the table open through the rename: nobody got in.
      ExpectConsistent(t, false, where);
      continue;
    }
    // Every use of this open fails now, reads and writes alike, and
    // closing it neither crashes nor touches the file.
    std::string r;
    EXPECT_FALSE(t->ReadRecord(1, r)) << where;
    ASSERT_FALSE(log_.empty()) << where;
    EXPECT_EQ(log_.last().OSCODE, os::kOsInvalidHandle) << where;
    r = t->BlankRecord();
    std::uint32_t n = 0;
    EXPECT_FALSE(t->AppendRecord(r, n)) << where;
    t.reset();
    log_.clear();
    taker.reset();
    EXPECT_EQ(talvi::testing::ReadBytes(path_), talvi::testing::ReadBytes(path_ + ".orig"))
        << where;
    EXPECT_FALSE(fs::exists(path_ + ".pack")) << where;
  }
}

}  // namespace
}  // namespace talvi::dbf
