// SPDX-License-Identifier: MIT
// Real faults of a Linux file system. A full disk: a 64 KiB tmpfs mounted
// for the test (root only; the test skips where mounting is not
// permitted); appending records with memos until the disk refuses must
// leave a table that opens, checks clean and holds every record that was
// committed. A file cut short by another program under an open table.
#include <gtest/gtest.h>
#include <sys/mount.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "dbf/area.h"
#include "dbf/codes.h"
#include "dbf_support.h"

namespace talvi::dbf {
namespace {

class FullDiskTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (::mount("tmpfs", dir_.path().c_str(), "tmpfs", 0, "size=64k") != 0) {
      GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
    }
    mounted_ = true;
  }
  void TearDown() override {
    if (mounted_) ::umount2(dir_.path().c_str(), MNT_DETACH);
  }

  talvi::testing::TempDir dir_;
  bool mounted_ = false;
  testing::ErrorLog log_;
};

TEST_F(FullDiskTest, AppendingUntilTheDiskIsFullKeepsWhatWasCommitted) {
  const std::string path = dir_ / "FULL.DBF";
  ASSERT_TRUE(Table::Create(path, {{"NAME", 'C', 8, 0}, {"NOTE", 'M', 10, 0}}));
  WorkArea a(1);
  ASSERT_TRUE(a.Use(path, "F", {.shared = true}));
  const std::string note(700, 'n');  // two blocks each
  std::uint32_t committed = 0;
  for (int i = 1; i <= 1000; ++i) {
    if (!a.AppendBlank()) break;
    const bool ok = a.Put("NAME", Value::Character("r" + std::to_string(i))) &&
                    a.Put("NOTE", Value::Character(note));
    if (!a.UnlockAll() || !ok) break;
    committed = static_cast<std::uint32_t>(i);
  }
  ASSERT_FALSE(log_.empty()) << "64 KiB held 1000 records with memos";
  EXPECT_EQ(log_.last().GENCODE, kGenWrite);
  EXPECT_EQ(log_.last().OSCODE, os::kOsDiskFull);
  EXPECT_FALSE(log_.last().FILENAME.empty());
  EXPECT_GT(committed, 10u);
  a.Close();
  log_.clear();

  auto t = Table::Open(path, {.shared = false});
  ASSERT_TRUE(t);
  const Table::Report rep = t->Check();
  EXPECT_TRUE(rep.problems.empty()) << rep.problems.front();
  // The record whose memo did not fit may be there, blank.
  EXPECT_GE(t->RecordCount(), committed);
  EXPECT_LE(t->RecordCount(), committed + 1);
  std::string r;
  for (std::uint32_t n = 1; n <= committed; ++n) {
    ASSERT_TRUE(t->ReadRecord(n, r));
    EXPECT_EQ(t->GetValue(r, 0),
              Value::Character(("r" + std::to_string(n) + "       ").substr(0, 8)));
    EXPECT_EQ(t->GetValue(r, 1), Value::Character(note)) << "record " << n;
  }
  EXPECT_TRUE(log_.empty());
}

// The same with an exclusive open, whose records wait in its cache: the
// disk's refusal comes with the commit that writes them, and the file keeps
// what the commits before it wrote.
TEST_F(FullDiskTest, AnExclusiveOpenHearsOfTheFullDiskAtItsCommit) {
  const std::string path = dir_ / "FULL.DBF";
  ASSERT_TRUE(Table::Create(path, {{"NAME", 'C', 8, 0}}));
  std::uint32_t committed = 0;
  {
    WorkArea a(1);
    ASSERT_TRUE(a.Use(path, "F", {.shared = false}));
    for (std::uint32_t i = 1; i <= 100'000; ++i) {
      if (!a.AppendBlank() || !a.Put("NAME", Value::Character("r" + std::to_string(i)))) break;
      if (i % 500 == 0) {
        if (!a.Commit()) break;
        committed = i;
      }
    }
    ASSERT_FALSE(log_.empty()) << "64 KiB held 100 000 records";
    EXPECT_EQ(log_.last().GENCODE, kGenWrite);
    EXPECT_EQ(log_.last().OSCODE, os::kOsDiskFull);
    EXPECT_EQ(log_.last().FILENAME, path);
    EXPECT_GT(committed, 1000u);
  }  // the close tries once more, and raises again
  log_.clear();
  auto t = Table::Open(path, {.shared = false});
  ASSERT_TRUE(t);
  const Table::Report rep = t->Check();
  EXPECT_TRUE(rep.problems.empty()) << rep.problems.front();
  ASSERT_EQ(t->RecordCount(), committed);
  std::string r;
  for (std::uint32_t n = 1; n <= committed; ++n) {
    ASSERT_TRUE(t->ReadRecord(n, r));
    ASSERT_EQ(t->GetValue(r, 0),
              Value::Character(("r" + std::to_string(n) + "       ").substr(0, 8)));
  }
  EXPECT_TRUE(log_.empty());
}

// Another program cuts the file short under an open table: the records
// that went are corruption for this process, never a crash or stale bytes.
TEST(FileCutShortTest, RecordsThatWentAreCorruptionNeverStaleBytes) {
  talvi::testing::TempDir dir;
  testing::ErrorLog log;
  const std::string path = dir / "T.DBF";
  ASSERT_TRUE(Table::Create(path, {{"NAME", 'C', 8, 0}}));
  WorkArea a(1);
  ASSERT_TRUE(a.Use(path, "A", {.shared = true}));
  for (const char* name : {"r1", "r2", "r3"}) {
    ASSERT_TRUE(a.AppendBlank());
    ASSERT_TRUE(a.Put("NAME", Value::Character(name)));
  }
  ASSERT_TRUE(a.UnlockAll());
  auto t = Table::Open(path, {.shared = true});
  ASSERT_TRUE(t);
  std::filesystem::resize_file(path, t->header().header_length + t->header().record_length);
  ASSERT_TRUE(a.GoTo(3));
  EXPECT_TRUE(a.Get("NAME").IsNil());
  ASSERT_EQ(log.errors().size(), 1u);
  EXPECT_EQ(log.last().GENCODE, kGenCorruption);
  EXPECT_EQ(log.last().FILENAME, path);
  EXPECT_TRUE(a.Eof());
  ASSERT_TRUE(a.GoTo(1));
  EXPECT_EQ(a.Get("NAME"), Value::Character("r1      "));
}

}  // namespace
}  // namespace talvi::dbf
