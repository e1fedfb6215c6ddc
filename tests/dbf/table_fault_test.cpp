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
#include "errors/error.h"
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

// The count write failing after the record reached the file (a shared
// open writes everything at once): the record stays uncounted in this
// process too, and the next append takes its number.
TEST_F(TableFaultTest, AFailedCountWriteLeavesTheRecordUncounted) {
  WorkArea a(1);
  ASSERT_TRUE(a.Use(path_, "A", {.shared = true}));
  {
    testing::FaultyOps ops;
    ops.FailWrite(2, 0, os::kOsDiskFull);
    EXPECT_FALSE(a.AppendBlank());
    ExpectRaised(kGenWrite, os::kOsDiskFull, path_);
  }
  EXPECT_EQ(a.RecCount(), 3u);
  EXPECT_FALSE(a.IsLocked(4));
  ASSERT_TRUE(a.AppendBlank());
  EXPECT_EQ(a.RecNo(), 4u);
  ASSERT_TRUE(a.Put("NAME", Value::Character("r4")));
  a.Close();
  ExpectCommitted({"r1      ", "r2      ", "r3      ", "r4      "});
}

// An exclusive open gathers its records in a cache and writes the count
// once, after them (dbf/table_file.h). A write that fails there is raised
// by the commit, never a success; the bytes stay buffered and the next
// commit tries them again.
TEST_F(TableFaultTest, ADeferredWriteThatFailsIsRaisedByTheCommitAndTriedAgain) {
  WorkArea a(1);
  ASSERT_TRUE(a.Use(path_, "A", {.shared = false}));
  ASSERT_TRUE(a.AppendBlank());
  ASSERT_TRUE(a.Put("NAME", Value::Character("r4")));
  {
    testing::FaultyOps ops;
    ops.FailWrite(1, 10, os::kOsGenFailure);  // the records: 10 bytes, then an I/O error
    EXPECT_FALSE(a.Commit());
    ExpectRaised(kGenWrite, os::kOsGenFailure, path_);
    const std::uint64_t header_length = a.table()->header().header_length;
    for (const auto& call : ops.write_log()) EXPECT_GE(call.offset, header_length);
    ops.Heal();
    ops.FailWrite(2, 0, os::kOsDiskFull);  // the records go out, the count does not
    EXPECT_FALSE(a.Commit());
    ExpectRaised(kGenWrite, os::kOsDiskFull, path_);
    EXPECT_EQ(ops.write_log().back().offset, 1u);
    ops.Heal();
    EXPECT_TRUE(a.Commit());
    EXPECT_TRUE(log_.empty());
  }
  EXPECT_EQ(a.RecCount(), 4u);
  a.Close();
  ExpectCommitted({"r1      ", "r2      ", "r3      ", "r4      "});
}

// A commit whose flush fails names the file that failed: the table's, or
// the memo file's.
TEST_F(TableFaultTest, AFailedFlushNamesItsFile) {
  WorkArea a(1);
  ASSERT_TRUE(a.Use(path_, "A", {.shared = false}));
  testing::FaultyOps ops;
  ops.FailFlush(1, os::kOsGenFailure);  // the table's
  EXPECT_FALSE(a.Commit());
  ExpectRaised(kGenWrite, os::kOsGenFailure, path_);
  ops.FailFlush(2, os::kOsDiskFull);  // the memo file's
  EXPECT_FALSE(a.Commit());
  ExpectRaised(kGenWrite, os::kOsDiskFull, memo_);
  EXPECT_TRUE(a.Commit());
  EXPECT_TRUE(log_.empty());
}

// The last write-back, at close, failing: raised, and the file keeps the
// table as last committed.
TEST_F(TableFaultTest, ADeferredWriteThatFailsAtCloseIsRaisedAndTheLastCommitStays) {
  WorkArea a(1);
  ASSERT_TRUE(a.Use(path_, "A", {.shared = false}));
  ASSERT_TRUE(a.GoTo(2));
  ASSERT_TRUE(a.Put("NAME", Value::Character("two")));
  ASSERT_TRUE(a.AppendBlank());
  ASSERT_TRUE(a.Put("NAME", Value::Character("r4")));
  {
    testing::FaultyOps ops;
    ops.FailWrite(1, 0, os::kOsDiskFull);
    a.Close();
    ExpectRaised(kGenWrite, os::kOsDiskFull, path_);
  }
  ExpectCommitted({"r1      ", "r2      ", "r3      "});
}

// A handler that abandons the error at close: the escape leaves Close, and
// nothing buffered stays behind to be written later or raised again.
TEST_F(TableFaultTest, AnEscapeFromTheCloseLeavesNothingBuffered) {
  WorkArea a(1);
  ASSERT_TRUE(a.Use(path_, "A", {.shared = false}));
  ASSERT_TRUE(a.AppendBlank());
  {
    testing::FaultyOps ops;
    ops.FailWrite(1, 0, os::kOsDiskFull);
    errors::Handler logging = errors::SetHandler(
        [](const errors::Error& e) -> errors::Answer { throw errors::Escape(e); });
    EXPECT_FALSE(errors::RecoveryPoint([&a] { a.Close(); }));
    errors::SetHandler(std::move(logging));
  }
  a.Close();
  EXPECT_FALSE(a.used());
  EXPECT_TRUE(log_.empty());
  ExpectCommitted({"r1      ", "r2      ", "r3      "});
}

// The cache is bounded: an append that needs the place of a page that
// cannot be written back goes to the system itself and fails there with
// the disk's error. The records before it stay readable, and reach the
// file at the next commit once the disk takes them.
TEST_F(TableFaultTest, AnAppendThatFindsNoRoomInTheCacheFailsWithTheDisksError) {
  WorkArea a(1);
  ASSERT_TRUE(a.Use(path_, "A", {.shared = false}));
  std::vector<std::string> names = {"r1      ", "r2      ", "r3      "};
  const auto padded = [](std::string s) {
    s.resize(8, ' ');
    return s;
  };
  {
    testing::FaultyOps ops;
    ops.FailWrite(1, 0, os::kOsDiskFull);
    while (a.AppendBlank()) {
      const std::string name = "r" + std::to_string(names.size() + 1);
      ASSERT_TRUE(a.Put("NAME", Value::Character(name)));
      names.push_back(padded(name));
      ASSERT_LT(names.size(), 100'000u) << "the cache is not bounded";
    }
    ExpectRaised(kGenWrite, os::kOsDiskFull, path_);
    EXPECT_GT(names.size(), 1000u);
    for (const std::uint32_t r : {1u, 2000u, static_cast<std::uint32_t>(names.size())}) {
      ASSERT_TRUE(a.GoTo(r));
      EXPECT_EQ(a.Get("NAME"), Value::Character(names[r - 1]));
    }
    ops.Heal();
    EXPECT_TRUE(a.Commit());
  }
  a.Close();
  ExpectCommitted(names);
}

// A read that needs the place of a page whose write fails reads what the
// system has instead (those bytes are not buffered); the failure is raised
// by the commit that tries the page again.
TEST_F(TableFaultTest, AReadNeverFailsForAWriteBackThatTheCommitReports) {
  WorkArea a(1);
  ASSERT_TRUE(a.Use(path_, "A", {.shared = false}));
  std::vector<std::string> names = {"r1      ", "r2      ", "r3      "};
  while (names.size() < 30'000) {
    ASSERT_TRUE(a.AppendBlank());
    names.push_back(std::to_string(names.size() + 1));
    ASSERT_TRUE(a.Put("NAME", Value::Character(names.back())));
    names.back().resize(8, ' ');
  }
  ASSERT_TRUE(a.Commit());
  // Every page of the cache written to: the first 20 000 records renamed.
  for (std::uint32_t r = 1; r <= 20'000; ++r) {
    ASSERT_TRUE(a.GoTo(r));
    names[r - 1] = "n" + std::to_string(r);
    ASSERT_TRUE(a.Put("NAME", Value::Character(names[r - 1])));
    names[r - 1].resize(8, ' ');
  }
  ASSERT_TRUE(a.GoTo(1));  // the last change leaves the record buffer
  {
    testing::FaultyOps ops;
    ops.FailWrite(1, 0, os::kOsDiskFull);
    for (std::uint32_t r = 25'000; r <= 30'000; ++r) {
      ASSERT_TRUE(a.GoTo(r));
      ASSERT_EQ(a.Get("NAME"), Value::Character(names[r - 1]));
    }
    EXPECT_TRUE(log_.empty());
    EXPECT_FALSE(a.Commit());
    ExpectRaised(kGenWrite, os::kOsDiskFull, path_);
    ops.Heal();
    EXPECT_TRUE(a.Commit());
  }
  a.Close();
  ExpectCommitted(names);
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
