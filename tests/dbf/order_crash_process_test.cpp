// SPDX-License-Identifier: MIT
// A process that dies between a shared append and the record's first write
// leaves the record blank in the table; its orders hold it too, blank, so
// that the table and its indexes still agree for every other station, and
// the next write of the record moves its keys.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "dbf/areas.h"
#include "dbf/orders.h"
#include "dbf/settings.h"
#include "dbf_support.h"

namespace talvi::dbf {
namespace {

class OrderCrash : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override { Engine().driver = GetParam(); }
  void TearDown() override {
    Workspace().CloseAll();
    Engine().driver = "DBFCDX";
  }
  bool Ntx() const { return std::string(GetParam()) == "DBFNTX"; }
  // Opens the table shared with its index (the structural CDX, or the NTX).
  bool Open() {
    if (!Workspace().Use(path_, "", {.shared = true})) return false;
    return !Ntx() || Workspace().Current().orders().Open(dir_ / "BYNAME");
  }
  // The order's problems against the records, and its key count.
  std::vector<std::string> Problems(std::uint32_t& keys) {
    std::vector<std::string> problems, notes;
    EXPECT_TRUE(Workspace().Current().orders().Check(1, problems, notes, keys));
    return problems;
  }
  talvi::testing::TempDir dir_;
  std::string path_ = dir_ / "T.DBF";
};

TEST_P(OrderCrash, AProcessThatDiesBeforeWritingItsAppendLeavesTheOrdersRight) {
  testing::ErrorLog log;
  ASSERT_TRUE(Table::Create(path_, {{"NAME", 'C', 8, 0}}));
  ASSERT_TRUE(Workspace().Use(path_, "", {.shared = true}));
  WorkArea& a = Workspace().Current();
  ASSERT_TRUE(a.orders().Create(
      {.bag_path = dir_ / (Ntx() ? "BYNAME" : "T"), .tag = "BYNAME", .key = "NAME"}));
  ASSERT_TRUE(a.AppendBlank());
  ASSERT_TRUE(a.Put("NAME", Value::Character("plum")));
  ASSERT_TRUE(a.UnlockAll());
  Workspace().CloseAll();

  // The child appends, gives the record a name and dies before anything
  // writes it (no close, no unlock: as a killed process).
  const pid_t pid = ::fork();
  if (pid == 0) {
    if (!Open()) ::_exit(10);
    WorkArea& c = Workspace().Current();
    if (!c.AppendBlank() || !c.Put("NAME", Value::Character("apple"))) ::_exit(11);
    ::_exit(0);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  ASSERT_EQ(WEXITSTATUS(status), 0);

  ASSERT_TRUE(Open());
  WorkArea& b = Workspace().Current();
  EXPECT_EQ(b.RecCount(), 2u);
  std::uint32_t keys = 0;
  std::vector<std::string> problems = Problems(keys);
  EXPECT_TRUE(problems.empty()) << problems.front();
  EXPECT_EQ(keys, 2u);
  // The blank record is found in the order, and its first write moves it.
  ASSERT_TRUE(b.orders().SetCurrent("BYNAME"));
  ASSERT_TRUE(b.GoTop());
  EXPECT_EQ(b.RecNo(), 2u);
  ASSERT_TRUE(b.RLock(2));
  ASSERT_TRUE(b.Put("NAME", Value::Character("zucchini")));
  ASSERT_TRUE(b.UnlockAll());
  problems = Problems(keys);
  EXPECT_TRUE(problems.empty()) << problems.front();
  ASSERT_TRUE(b.GoTop());
  EXPECT_EQ(b.Get("NAME").str(), "plum    ");
  EXPECT_TRUE(log.empty());
}

INSTANTIATE_TEST_SUITE_P(Drivers, OrderCrash, ::testing::Values("DBFCDX", "DBFNTX"));

}  // namespace
}  // namespace talvi::dbf
