// SPDX-License-Identifier: MIT
// The cache of an exclusive open (dbf/table_file.h): records written in
// pages and the count once after them, every read seeing every write,
// lone accesses going straight to the system, and maintenance (pack, zap,
// check) over buffered records. Faults of the deferred writes:
// table_fault_test.cpp.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>

#include "dbf/area.h"
#include "dbf/table_file.h"
#include "dbf_support.h"
#include "faulty_ops.h"

namespace talvi::dbf {
namespace {

class TableCacheTest : public ::testing::Test {
 protected:
  // The table's bytes as the system has them (after the exclusive open is
  // closed: Windows lets nobody else read them before).
  std::string OnDisk() const {
    std::string bytes(static_cast<std::size_t>(std::filesystem::file_size(path_)), '\0');
    std::ifstream(path_, std::ios::binary)
        .read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return bytes;
  }
  static std::uint32_t CountIn(const std::string& file) {
    std::uint32_t n = 0;
    std::memcpy(&n, file.data() + 4, 4);  // little-endian, as the build machines
    return n;
  }

  talvi::testing::TempDir dir_;
  testing::ErrorLog log_;
  std::string path_ = dir_ / "CACHE.DBF";
};

TEST_F(TableCacheTest, AnExclusiveOpenWritesItsRecordsInPagesAndItsCountOnceAfterThem) {
  ASSERT_TRUE(Table::Create(path_, {{"NAME", 'C', 20, 0}, {"QTY", 'N', 10, 2}}));
  WorkArea a(1);
  ASSERT_TRUE(a.Use(path_, "C", {.shared = false}));
  const std::size_t header_length = a.table()->header().header_length;
  const std::size_t record_length = a.table()->header().record_length;
  constexpr std::uint32_t kRecords = 50'000;  // 1.6 MB: more than the cache holds
  testing::FaultyOps ops;
  for (std::uint32_t r = 1; r <= kRecords; ++r) {
    ASSERT_TRUE(a.AppendBlank());
    ASSERT_TRUE(a.Put(1, Value::Character("name " + std::to_string(r))));
    ASSERT_TRUE(a.Put(2, Value::Numeric(r / 4.0)));
  }
  // Whole pages went out to make room, in file order, none touched the
  // header (the count waits), and what waits in the cache is bounded.
  const std::size_t size = header_length + kRecords * record_length + 1;
  EXPECT_LE(ops.write_log().size(), size / TableFile::kPageSize + 1);
  std::size_t written = header_length;
  for (const auto& call : ops.write_log()) {
    EXPECT_EQ(call.offset, written);
    EXPECT_EQ(call.size, TableFile::kPageSize);
    written += call.size;
  }
  EXPECT_GE(written + TableFile::kPages * TableFile::kPageSize, size);
  // This open reads what it wrote, from the cache or from the file (a
  // page may go out to make room for one read).
  const auto appended = static_cast<std::ptrdiff_t>(ops.write_log().size());
  for (const std::uint32_t r : {1u, 2u, kRecords / 2, kRecords}) {
    ASSERT_TRUE(a.GoTo(r));
    EXPECT_EQ(a.Get(1), Value::Character("name " + std::to_string(r) +
                                         std::string(15 - std::to_string(r).size(), ' ')));
  }
  EXPECT_EQ(a.RecCount(), kRecords);
  ASSERT_TRUE(a.Commit());
  // Then the commit: the rest of the records, then the date and count in
  // one write.
  std::vector<testing::FaultyOps::Call> rest(ops.write_log().begin() + appended,
                                             ops.write_log().end());
  ASSERT_GE(rest.size(), 2u);
  EXPECT_EQ(rest.back().offset, 1u);
  EXPECT_EQ(rest.back().size, 7u);
  rest.pop_back();
  std::sort(rest.begin(), rest.end(),
            [](const auto& x, const auto& y) { return x.offset < y.offset; });
  for (const auto& call : rest) {
    EXPECT_EQ(call.offset, written);
    written += call.size;
  }
  EXPECT_EQ(written, size);
  const std::size_t committed = ops.write_log().size();
  a.Close();
  EXPECT_EQ(ops.write_log().size(), committed);  // nothing was left to write
  const std::string disk = OnDisk();
  ASSERT_EQ(disk.size(), size);
  EXPECT_EQ(CountIn(disk), kRecords);
  EXPECT_EQ(disk.back(), '\x1A');
  EXPECT_EQ(disk.substr(header_length + (kRecords - 1) * record_length, record_length),
            " name 50000" + std::string(10, ' ') + "  12500.00");
  EXPECT_TRUE(log_.empty());
}

// Going to records here and there reads and writes just the record, at
// once, as without a cache: a page is read only for a run of records.
TEST_F(TableCacheTest, LoneReadsAndWritesGoStraightToTheSystem) {
  ASSERT_TRUE(Table::Create(path_, {{"NAME", 'C', 20, 0}}));
  {
    WorkArea a(1);
    ASSERT_TRUE(a.Use(path_, "C", {.shared = false}));
    for (int r = 1; r <= 40'000; ++r) ASSERT_TRUE(a.AppendBlank());
  }
  WorkArea a(1);
  ASSERT_TRUE(a.Use(path_, "C", {.shared = false}));
  const std::size_t record_length = a.table()->header().record_length;
  testing::FaultyOps ops;
  std::minstd_rand random(12);
  for (int i = 0; i < 200; ++i) {
    const auto r = static_cast<std::uint32_t>(random() % 40'000 + 1);
    ASSERT_TRUE(a.GoTo(r));
    ASSERT_TRUE(a.Put(1, Value::Character("x" + std::to_string(r))));
  }
  ASSERT_TRUE(a.GoTo(1));
  for (const auto& call : ops.read_log()) EXPECT_EQ(call.size, record_length);
  for (const auto& call : ops.write_log()) EXPECT_EQ(call.size, record_length);
  EXPECT_EQ(ops.write_log().size(), 200u);
  // A run of records reads a page.
  for (std::uint32_t r = 2; r <= 100; ++r) ASSERT_TRUE(a.GoTo(r) && a.Deleted() == false);
  EXPECT_EQ(ops.read_log().back().size, TableFile::kPageSize);
  a.Close();
  EXPECT_TRUE(log_.empty());
}

// Reads, writes and appends in runs and here and there, against a model
// of the file: every read sees every write, whether it waits in the
// cache, went out to make room, went out at a commit or at once; the file
// holds the model after each close. Records of 37 bytes straddle the pages.
TEST_F(TableCacheTest, EveryReadSeesEveryWrite) {
  ASSERT_TRUE(Table::Create(path_, {{"TEXT", 'C', 36, 0}}));
  auto t = Table::Open(path_, {.shared = false});
  ASSERT_TRUE(t);
  const std::size_t header_length = t->header().header_length;
  std::vector<std::string> model;
  const auto expect_file = [&] {
    const std::string disk = OnDisk();
    ASSERT_EQ(disk.size(), header_length + model.size() * 37 + 1);
    ASSERT_EQ(CountIn(disk), model.size());
    for (std::size_t r = 0; r < model.size(); ++r) {
      ASSERT_EQ(disk.compare(header_length + r * 37, 37, model[r]), 0) << "record " << r + 1;
    }
  };
  std::minstd_rand random(7);
  std::string record;
  const auto make = [&](std::uint32_t step) {
    record = t->BlankRecord();
    const std::string text = std::to_string(step) + "/" + std::to_string(random());
    record.replace(1, text.size(), text);
    return record;
  };
  std::uint32_t at = 1;  // where the current run goes on
  for (std::uint32_t step = 1; step <= 60'000; ++step) {
    const std::uint32_t count = static_cast<std::uint32_t>(model.size());
    const auto what = static_cast<unsigned>(random() % 1000);
    if (what < 300 || count == 0) {
      std::uint32_t n = 0;
      ASSERT_TRUE(t->AppendRecord(make(step), n));
      ASSERT_EQ(n, count + 1);
      model.push_back(record);
    } else if (what < 995) {
      // A run goes on, or a lone record somewhere else.
      const std::uint32_t r =
          what < 800 ? (at > count ? 1 : at) : static_cast<std::uint32_t>(random() % count + 1);
      at = r + 1;
      if (what % 2 == 0) {
        ASSERT_TRUE(t->WriteRecord(r, make(step)));
        model[r - 1] = record;
      } else {
        ASSERT_TRUE(t->ReadRecord(r, record));
        ASSERT_EQ(record, model[r - 1]) << "record " << r << " at step " << step;
      }
    } else if (what % 2 == 0) {
      ASSERT_TRUE(t->Flush(false));
    } else {
      t->Close();
      t.reset();
      expect_file();
      t = Table::Open(path_, {.shared = false});
      ASSERT_TRUE(t);
    }
  }
  t->Close();
  t.reset();
  expect_file();
  t = Table::Open(path_, {.shared = true});
  ASSERT_TRUE(t);
  ASSERT_EQ(t->RecordCount(), model.size());
  for (std::uint32_t r = 1; r <= model.size(); ++r) {
    ASSERT_TRUE(t->ReadRecord(r, record));
    ASSERT_EQ(record, model[r - 1]) << "record " << r;
  }
  EXPECT_TRUE(t->Check().problems.empty());
  EXPECT_TRUE(log_.empty());
}

// Maintenance works on the records as this open sees them, buffered ones
// included, and a table dropped without Close still reaches the file.
TEST_F(TableCacheTest, PackZapAndCheckSeeTheBufferedRecords) {
  ASSERT_TRUE(Table::Create(path_, {{"N", 'N', 6, 0}}));
  {
    WorkArea a(1);
    ASSERT_TRUE(a.Use(path_, "C", {.shared = false}));
    for (int r = 1; r <= 3000; ++r) {
      ASSERT_TRUE(a.AppendBlank());
      ASSERT_TRUE(a.Put(1, Value::Numeric(r)));
      if (r % 3 != 0) {
        ASSERT_TRUE(a.Delete());
      }
    }
    const Table::Report report = a.table()->Check();
    EXPECT_TRUE(report.problems.empty());
    ASSERT_TRUE(a.Pack());
    EXPECT_EQ(a.RecCount(), 1000u);
    ASSERT_TRUE(a.GoTo(1000));
    EXPECT_EQ(a.Get(1).num(), 3000);
  }
  {
    auto t = Table::Open(path_, {.shared = false});
    ASSERT_TRUE(t);
    EXPECT_EQ(t->RecordCount(), 1000u);
    EXPECT_TRUE(t->Check().problems.empty());
    std::uint32_t n = 0;
    ASSERT_TRUE(t->AppendRecord(t->BlankRecord(), n));
    EXPECT_EQ(n, 1001u);
    // Dropped without Close: the destructor writes back.
  }
  EXPECT_EQ(CountIn(OnDisk()), 1001u);
  {
    WorkArea a(1);
    ASSERT_TRUE(a.Use(path_, "C", {.shared = false}));
    for (int r = 1; r <= 10; ++r) ASSERT_TRUE(a.AppendBlank());
    ASSERT_TRUE(a.Zap());
    EXPECT_EQ(a.RecCount(), 0u);
  }
  const std::string disk = OnDisk();
  EXPECT_EQ(CountIn(disk), 0u);
  EXPECT_EQ(disk.size(), 32u + 32 + 1 + 1);
  EXPECT_TRUE(log_.empty());
}

// Bytes below the end that nobody wrote (a write far beyond the end
// leaves a hole) read as zeros, from the cache or from the system.
TEST(TableFileTest, AHoleBeforeABufferedWriteReadsAsZeros) {
  talvi::testing::TempDir dir;
  os::OpenMode mode = os::ExclusiveMode(false);
  mode.create = true;
  int oscode = 0;
  auto file = os::SharedFile::Open(dir / "HOLE", mode, oscode);
  ASSERT_TRUE(file);
  ASSERT_TRUE(file->WriteAt(0, "0123456789", 10));
  TableFile f(std::move(file));
  ASSERT_TRUE(f.StartCache(4));
  ASSERT_TRUE(f.WriteAt(200'000, "end", 3));
  EXPECT_EQ(f.Size(), 200'003);
  std::string bytes(1000, 'x');
  ASSERT_EQ(f.ReadAt(5, bytes.data(), bytes.size()), 1000);
  EXPECT_EQ(bytes, "56789" + std::string(995, '\0'));
  bytes.assign(8, 'x');
  ASSERT_EQ(f.ReadAt(199'998, bytes.data(), bytes.size()), 5);
  EXPECT_EQ(bytes, std::string("\0\0endxxx", 8));
  ASSERT_TRUE(f.WriteBack());
  EXPECT_EQ(std::filesystem::file_size(dir / "HOLE"), 200'003u);
}

}  // namespace
}  // namespace talvi::dbf
