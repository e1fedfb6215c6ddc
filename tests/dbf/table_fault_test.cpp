// SPDX-License-Identifier: MIT
// Tables whose file calls fail under them: a write cut short, a full disk,
// a file gone from under its handle (a file cut short by another program
// and a real full disk: table_fault_posix_test.cpp).
// After each the error object has reached the handler with the file and
// the system's code, and the table holds what was committed: the count is
// right, it opens again and its check is clean.
#include <gtest/gtest.h>

#include "dbf/area.h"
#include "dbf/codes.h"
#include "dbf_support.h"
#include "faulty_ops.h"

namespace talvi::dbf {
namespace {

class TableFaultTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(
        Table::Create(path_, {{"NAME", 'C', 8, 0}, {"QTY", 'N', 6, 0}, {"NOTE", 'M', 10, 0}}));
    WorkArea a(1);
    ASSERT_TRUE(a.Use(path_, "T", {.shared = false}));
    for (int i = 1; i <= 3; ++i) {
      ASSERT_TRUE(a.AppendBlank());
      ASSERT_TRUE(a.Put("NAME", Value::Character("r" + std::to_string(i))));
      ASSERT_TRUE(a.Put("NOTE", Value::Character("note " + std::to_string(i))));
    }
  }

  // The error that reached the handler last, checked for what every
  // failed file call must carry.
  void ExpectRaised(int gencode, int oscode, const std::string& file) {
    ASSERT_FALSE(log_.empty());
    EXPECT_EQ(log_.last().GENCODE, gencode);
    EXPECT_EQ(log_.last().OSCODE, oscode);
    EXPECT_EQ(log_.last().FILENAME, file);
    log_.clear();
  }

  // Opens the table afresh: its check is clean and it holds `names`.
  void ExpectCommitted(const std::vector<std::string>& names) {
    auto t = Table::Open(path_, {.shared = false});
    ASSERT_TRUE(t);
    const Table::Report rep = t->Check();
    EXPECT_TRUE(rep.problems.empty()) << rep.problems.front();
    ASSERT_EQ(t->RecordCount(), names.size());
    std::string r;
    for (std::uint32_t n = 1; n <= names.size(); ++n) {
      ASSERT_TRUE(t->ReadRecord(n, r));
      EXPECT_EQ(t->GetValue(r, 0), Value::Character(names[n - 1])) << "record " << n;
    }
    EXPECT_TRUE(log_.empty());
  }

  talvi::testing::TempDir dir_;
  testing::ErrorLog log_;
  std::string path_ = dir_ / "T.DBF";
  std::string memo_ = dir_ / "T.DBT";
};

TEST_F(TableFaultTest, AnAppendCutShortKeepsTheCountAndFreesTheHeaderLock) {
  WorkArea a(1);
  WorkArea b(2);
  ASSERT_TRUE(a.Use(path_, "A", {.shared = true}));
  ASSERT_TRUE(b.Use(path_, "B", {.shared = true}));
  {
    testing::FaultyOps ops;
    ops.FailWrite(1, 10, os::kOsGenFailure);  // the record: 10 bytes, then an I/O error
    EXPECT_FALSE(a.AppendBlank());
    ExpectRaised(kGenWrite, os::kOsGenFailure, path_);
    EXPECT_EQ(ops.writes(), 2);  // the count was never written
  }
  EXPECT_EQ(a.RecCount(), 3u);
  EXPECT_FALSE(a.IsLocked(4));
  ASSERT_TRUE(b.AppendBlank());  // writes over the cut record
  EXPECT_EQ(b.RecNo(), 4u);
  ASSERT_TRUE(b.Put("NAME", Value::Character("r4")));
  b.Close();
  a.Close();
  ExpectCommitted({"r1      ", "r2      ", "r3      ", "r4      "});
}

// The count write failing after the record reached the file: the record
// stays uncounted in this process too, and the next append takes its number.
TEST_F(TableFaultTest, AFailedCountWriteLeavesTheRecordUncounted) {
  for (const bool shared : {false, true}) {
    SCOPED_TRACE(shared ? "shared" : "exclusive");
    SetUp();
    WorkArea a(1);
    ASSERT_TRUE(a.Use(path_, "A", {.shared = shared}));
    {
      testing::FaultyOps ops;
      ops.FailWrite(2, 0, os::kOsDiskFull);
      EXPECT_FALSE(a.AppendBlank());
      ExpectRaised(kGenWrite, os::kOsDiskFull, path_);
    }
    EXPECT_EQ(a.RecCount(), 3u);
    EXPECT_FALSE(a.IsLocked(4) && shared);
    ASSERT_TRUE(a.AppendBlank());
    EXPECT_EQ(a.RecNo(), 4u);
    ASSERT_TRUE(a.Put("NAME", Value::Character("r4")));
    a.Close();
    ExpectCommitted({"r1      ", "r2      ", "r3      ", "r4      "});
  }
}

TEST_F(TableFaultTest, AFullDiskKeepsTheOldFieldsAndMemosAndFreesTheLock) {
  WorkArea a(1);
  WorkArea b(2);
  ASSERT_TRUE(a.Use(path_, "A", {.shared = true}));
  ASSERT_TRUE(b.Use(path_, "B", {.shared = true}));
  ASSERT_TRUE(a.GoTo(2));
  ASSERT_TRUE(a.RLock());
  {
    testing::FaultyOps ops;
    ops.FailWrite(1, 0, os::kOsDiskFull);
    // A memo too long for its block goes to the end of the memo file.
    EXPECT_FALSE(a.Put("NOTE", Value::Character(std::string(2000, 'x'))));
    ExpectRaised(kGenWrite, os::kOsDiskFull, memo_);
    ASSERT_TRUE(a.Put("NAME", Value::Character("new")));
    EXPECT_FALSE(a.UnlockAll());  // the record write fails; the lock goes all the same
    ExpectRaised(kGenWrite, os::kOsDiskFull, path_);
  }
  EXPECT_TRUE(b.RLock(2));
  ASSERT_TRUE(b.GoTo(2));
  EXPECT_EQ(b.Get("NOTE"), Value::Character("note 2"));
  b.Close();
  a.Close();
  ExpectCommitted({"r1      ", "r2      ", "r3      "});
}

TEST_F(TableFaultTest, AFileThatVanishesRaisesItsErrorsAndNoneOfItsRecordsChange) {
  WorkArea a(1);
  ASSERT_TRUE(a.Use(path_, "A", {.shared = true}));
  constexpr int kNetnameDeleted = 64;  // the share's server went away
  {
    testing::FaultyOps ops;
    ops.Vanish(kNetnameDeleted);
    ASSERT_TRUE(a.GoTo(2));
    EXPECT_TRUE(a.Get("NAME").IsNil());
    ExpectRaised(kGenRead, kNetnameDeleted, path_);
    EXPECT_FALSE(a.RLock(3));  // the lock is taken, the header cannot be read again
    ExpectRaised(kGenRead, kNetnameDeleted, path_);
    EXPECT_FALSE(a.AppendBlank());
    ExpectRaised(kGenRead, kNetnameDeleted, path_);
    a.UnlockAll();
  }
  // The header lock did not stay behind.
  WorkArea b(2);
  ASSERT_TRUE(b.Use(path_, "B", {.shared = true}));
  ASSERT_TRUE(b.AppendBlank());
  ASSERT_TRUE(b.Put("NAME", Value::Character("r4")));
  b.Close();
  a.Close();
  ExpectCommitted({"r1      ", "r2      ", "r3      ", "r4      "});
}

}  // namespace
}  // namespace talvi::dbf
