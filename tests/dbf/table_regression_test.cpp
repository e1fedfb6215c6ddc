// SPDX-License-Identifier: MIT
// The tables in tests/dbf/regressions (see its README): what faults found
// in the engine leave behind, read and appended to as they must be.
#include <gtest/gtest.h>

#include <filesystem>

#include "dbf/area.h"
#include "dbf_support.h"

namespace talvi::dbf {
namespace {

class RegressionTest : public ::testing::Test {
 protected:
  // A copy of the regression table `name` to work on.
  std::string Copy(const std::string& name) {
    const std::string to = dir_ / "T.DBF";
    std::filesystem::copy_file(std::filesystem::path(TALVI_DBF_REGRESSIONS) / name, to);
    return to;
  }
  // Opens `path`, appends r4 and checks the four records and the file's end.
  void AppendOverTheLeftovers(const std::string& path) {
    {
      WorkArea a(1);
      ASSERT_TRUE(a.Use(path, "T", {.shared = true}));
      EXPECT_EQ(a.RecCount(), 3u);
      ASSERT_TRUE(a.AppendBlank());
      EXPECT_EQ(a.RecNo(), 4u);
      ASSERT_TRUE(a.Put("NAME", Value::Character("r4")));
      ASSERT_TRUE(a.Put("QTY", Value::Numeric(44)));
    }
    auto t = Table::Open(path, {.shared = false});
    ASSERT_TRUE(t);
    const Table::Report rep = t->Check();
    EXPECT_TRUE(rep.problems.empty());
    EXPECT_TRUE(rep.notes.empty()) << rep.notes.front();  // ends with the 0x1A again
    ASSERT_EQ(t->RecordCount(), 4u);
    std::string r;
    ASSERT_TRUE(t->ReadRecord(4, r));
    EXPECT_EQ(r, " r4          44");
    ASSERT_TRUE(t->ReadRecord(3, r));
    EXPECT_EQ(r, " r3           3");
    EXPECT_EQ(std::filesystem::file_size(path), t->header().header_length + 4u * 15u + 1u);
    EXPECT_TRUE(log_.empty());
  }

  talvi::testing::TempDir dir_;
  testing::ErrorLog log_;
};

TEST_F(RegressionTest, ARecordLeftUncountedByAFailedCountWriteIsWrittenOver) {
  const std::string path = Copy("uncounted_record_after_failed_count_write.dbf");
  {
    auto t = Table::Open(path, {.shared = false});
    ASSERT_TRUE(t);
    EXPECT_EQ(t->RecordCount(), 3u);
    const Table::Report rep = t->Check();
    EXPECT_TRUE(rep.problems.empty());
    ASSERT_EQ(rep.notes.size(), 1u);
    EXPECT_NE(rep.notes[0].find("bytes after the last counted record"), std::string::npos);
  }
  AppendOverTheLeftovers(path);
}

TEST_F(RegressionTest, ARecordCutShortAfterTheCountIsWrittenOver) {
  const std::string path = Copy("record_cut_short_after_the_last_counted.dbf");
  AppendOverTheLeftovers(path);
}

}  // namespace
}  // namespace talvi::dbf
