// SPDX-License-Identifier: MIT
// An appended record reaches the orders once, when its buffer is written:
// with the values it was given, left blank, or given up blank after its
// write failed; an order built while the append is pending holds it once.
#include <gtest/gtest.h>

#include "dbf/areas.h"
#include "dbf/codes.h"
#include "dbf/orders.h"
#include "dbf/settings.h"
#include "dbf_support.h"
#include "os/os_code.h"
#include "os/shared_file.h"

namespace talvi::dbf {
namespace {

// Fails only the `nth` write from now (a full disk for that one call).
class FailOneWrite : public os::FileOps {
 public:
  explicit FailOneWrite(int nth) : was_(os::SetFileOps(this)), left_(nth) {}
  ~FailOneWrite() override { os::SetFileOps(was_); }
  FailOneWrite(const FailOneWrite&) = delete;
  FailOneWrite& operator=(const FailOneWrite&) = delete;
  std::int64_t WriteAt(os::NativeFile file, std::uint64_t offset, const void* data,
                       std::size_t size, int& oscode) override {
    if (--left_ == 0) {
      oscode = os::kOsDiskFull;
      return -1;
    }
    return FileOps::WriteAt(file, offset, data, size, oscode);
  }

 private:
  os::FileOps* was_;
  int left_;
};

class OrderAppend : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    Engine().driver = GetParam();
    Workspace().CloseAll();
    ASSERT_TRUE(Table::Create(path_, {{"NAME", 'C', 6, 0}, {"QTY", 'N', 5, 0}}));
  }
  void TearDown() override {
    Workspace().CloseAll();
    Engine().driver = "DBFCDX";
  }
  // Every order consistent with the records; its key count.
  std::uint32_t Consistent(WorkArea& a, int order) {
    std::vector<std::string> problems, notes;
    std::uint32_t keys = 0;
    EXPECT_TRUE(a.orders().Check(order, problems, notes, keys));
    EXPECT_TRUE(problems.empty()) << (problems.empty() ? "" : problems.front());
    return keys;
  }
  std::vector<std::string> Names(WorkArea& a) {
    std::vector<std::string> out;
    for (a.GoTop(); !a.Eof(); a.Skip(1)) out.push_back(a.Get("NAME").str());
    return out;
  }
  talvi::testing::TempDir dir_;
  std::string path_ = dir_ / "T.DBF";
};

TEST_P(OrderAppend, KeysGoInOnceWhenTheRecordIsWrittenBlankOrFilled) {
  testing::ErrorLog log;
  ASSERT_TRUE(Workspace().Use(path_, "", {.shared = true}));
  WorkArea& a = Workspace().Current();
  ASSERT_TRUE(a.orders().Create({.bag_path = dir_ / "BYNAME", .tag = "BYNAME", .key = "NAME"}));
  ASSERT_TRUE(a.orders().Create({.bag_path = dir_ / "BYQTY", .tag = "BYQTY", .key = "QTY"}));
  ASSERT_TRUE(a.orders().SetCurrent("BYNAME"));
  ASSERT_TRUE(a.AppendBlank());
  ASSERT_TRUE(a.Put("NAME", Value::Character("pear")));
  ASSERT_TRUE(a.Put("QTY", Value::Numeric(7)));
  ASSERT_TRUE(a.AppendBlank());  // the first one is written and told here; this one stays blank
  ASSERT_TRUE(a.AppendBlank());
  ASSERT_TRUE(a.Put("NAME", Value::Character("fig")));
  // Navigation writes the pending record first and finds it in the order.
  EXPECT_EQ(Names(a), (std::vector<std::string>{"      ", "fig   ", "pear  "}));
  EXPECT_EQ(Consistent(a, 1), 3u);
  EXPECT_EQ(Consistent(a, 2), 3u);
  // An order made while an append is pending holds the record once.
  ASSERT_TRUE(a.AppendBlank());
  ASSERT_TRUE(a.Put("NAME", Value::Character("apple")));
  ASSERT_TRUE(a.orders().Create({.bag_path = dir_ / "BYNAME2", .tag = "BYNAME2", .key = "NAME"}));
  EXPECT_EQ(Consistent(a, 1), 4u);
  EXPECT_EQ(Consistent(a, 3), 4u);
  EXPECT_TRUE(log.empty());
}

// A shared append whose field write fails at the unlock gives the change
// up; the record stays blank in the file, and the orders hold it blank.
TEST_P(OrderAppend, AnAppendWhoseWriteFailedIsInTheOrdersAsItIsInTheFile) {
  testing::ErrorLog log;
  ASSERT_TRUE(Workspace().Use(path_, "", {.shared = true}));
  WorkArea& a = Workspace().Current();
  ASSERT_TRUE(a.orders().Create({.bag_path = dir_ / "BYNAME", .tag = "BYNAME", .key = "NAME"}));
  ASSERT_TRUE(a.AppendBlank());
  ASSERT_TRUE(a.Put("NAME", Value::Character("kiwi")));
  {
    FailOneWrite fail(1);  // the record's write
    EXPECT_FALSE(a.UnlockAll());
  }
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.last().GENCODE, kGenWrite);
  log.clear();
  EXPECT_EQ(Consistent(a, 1), 1u);
  EXPECT_EQ(Names(a), (std::vector<std::string>{"      "}));
  EXPECT_TRUE(log.empty());
}

INSTANTIATE_TEST_SUITE_P(Drivers, OrderAppend, ::testing::Values("DBFCDX", "DBFNTX"));

}  // namespace
}  // namespace talvi::dbf
