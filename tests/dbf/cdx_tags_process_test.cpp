// SPDX-License-Identifier: MIT
// Tags that another process adds to (or replaces in) a compound index file
// that this process holds open with its table. Every process that changes
// the table keeps every tag of the file, also one it did not know when it
// opened the file; an order that another process replaced is an error
// once, then record order. Real processes: the parent holds the table,
// a child adds the tags (or the other way round), and `talvi-dbf check`
// reads the result.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "command_output.h"
#include "dbf/areas.h"
#include "dbf/codes.h"
#include "dbf/orders.h"
#include "dbf/settings.h"
#include "dbf_support.h"

namespace talvi::dbf {
namespace {

using ToolRun = testing::CommandOutput;

ToolRun Tool(const std::string& args) {
  return testing::RunCommand(std::string(TALVI_DBF_TOOL) + " " + args + " 2>&1");
}

std::string Name(int i) {
  char key[16];
  std::snprintf(key, sizeof key, "N%05d", (i * 7919) % 10007);
  return key;
}

// Runs `body` in a child process and gives back its exit code.
template <typename Body>
int InChild(Body body) {
  const pid_t pid = ::fork();
  if (pid == 0) ::_exit(body());
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class CdxTagsProcess : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(Table::Create(table_, {{"NAME", 'C', 10, 0}, {"QTY", 'N', 8, 0}}));
    ASSERT_TRUE(Workspace().Use(table_, "T", {.shared = false}));
    WorkArea& a = Workspace().Current();
    for (int i = 0; i < 40; ++i) {
      ASSERT_TRUE(a.AppendBlank());
      ASSERT_TRUE(a.Put("NAME", Value::Character(Name(i))));
      ASSERT_TRUE(a.Put("QTY", Value::Numeric(i % 7)));
    }
    // The structural CDX with one tag.
    ASSERT_TRUE(a.orders().Create({.bag_path = dir_ / "T", .tag = "NAME", .key = "NAME"}));
    Workspace().CloseAll();
  }
  void TearDown() override { Workspace().CloseAll(); }

  // Appends `n` records and rewrites the name and quantity of every fifth
  // one of the table, deletes every seventh and recalls every
  // fourteenth, each change under its record lock.
  static bool Churn(WorkArea& a, int from, int n) {
    for (int i = from; i < from + n; ++i) {
      if (!a.AppendBlank() || !a.Put("NAME", Value::Character(Name(i))) ||
          !a.Put("QTY", Value::Numeric(i % 11)) || !a.UnlockAll()) {
        return false;
      }
    }
    const std::uint32_t count = a.RecCount();
    for (std::uint32_t r = 1; r <= count; ++r) {
      if (r % 5 != 0 && r % 7 != 0) continue;
      if (!a.GoTo(r) || !a.RLock(r)) return false;
      if (r % 5 == 0 && (!a.Put("NAME", Value::Character("R" + Name(static_cast<int>(r)))) ||
                         !a.Put("QTY", Value::Numeric(100 - r % 13)))) {
        return false;
      }
      if (r % 7 == 0 && !(r % 14 == 0 ? a.Recall() : a.Delete())) return false;
      if (!a.UnlockAll()) return false;
    }
    return true;
  }

  // Adds the tags QTY (a numeric key) and LIVE (names of the records not
  // deleted) to the structural CDX from another process.
  int AddTagsElsewhere() {
    return InChild([&] {
      testing::ErrorLog quiet;
      if (!Workspace().Use(table_, "T", {.shared = true})) return 10;
      Orders& o = Workspace().Current().orders();
      if (!o.Create({.bag_path = dir_ / "T", .tag = "QTY", .key = "QTY"})) return 11;
      if (!o.Create(
              {.bag_path = dir_ / "T", .tag = "LIVE", .key = "NAME", .condition = "!DELETED()"})) {
        return 12;
      }
      Workspace().CloseAll();
      return quiet.empty() ? 0 : 13;
    });
  }

  talvi::testing::TempDir dir_;
  std::string table_ = dir_ / "T.DBF";
};

TEST_F(CdxTagsProcess, ChangesReachTagsThatAnotherProcessAddedWhileTheTableWasOpen) {
  testing::ErrorLog log;
  ASSERT_TRUE(Workspace().Use(table_, "T", {.shared = true}));
  WorkArea& a = Workspace().Current();
  ASSERT_EQ(a.orders().count(), 1);
  ASSERT_TRUE(a.orders().SetCurrent("NAME"));
  ASSERT_TRUE(a.GoTop());
  ASSERT_EQ(AddTagsElsewhere(), 0);
  // This process goes on changing the table: the new tags follow.
  ASSERT_TRUE(Churn(a, 40, 60));
  // They are in the list of orders, behind the one that was current.
  EXPECT_EQ(a.orders().count(), 3);
  EXPECT_EQ(a.orders().Current()->name, "NAME");
  ASSERT_TRUE(a.orders().SetCurrent("QTY"));
  ASSERT_TRUE(a.GoTop());
  double last = -1;
  std::uint32_t seen = 0;
  for (; !a.Eof(); ++seen) {
    EXPECT_LE(last, a.Get("QTY").num());
    last = a.Get("QTY").num();
    ASSERT_TRUE(a.Skip(1));
  }
  EXPECT_EQ(seen, a.Count());
  Workspace().CloseAll();
  EXPECT_TRUE(log.empty()) << (log.empty() ? "" : log.last().DESCRIPTION.value_or(""));
  const ToolRun check = Tool("check " + table_);
  EXPECT_EQ(check.code, 0) << check.out;
  EXPECT_NE(check.out.find("order QTY (T.CDX): 100 keys, consistent"), std::string::npos)
      << check.out;
  EXPECT_NE(check.out.find("order LIVE (T.CDX)"), std::string::npos) << check.out;
}

// A table opened before it had a structural CDX: another process makes
// one, and this process opens it at its next change (the lock reads the
// header's flag again) and keeps it.
TEST_F(CdxTagsProcess, AStructuralIndexMadeElsewhereIsOpenedAndKept) {
  testing::ErrorLog log;
  const std::string bare = dir_ / "BARE.DBF";
  ASSERT_TRUE(Table::Create(bare, {{"NAME", 'C', 10, 0}, {"QTY", 'N', 8, 0}}));
  ASSERT_TRUE(Workspace().Use(bare, "B", {.shared = true}));
  WorkArea& a = Workspace().Current();
  ASSERT_TRUE(Churn(a, 0, 30));
  ASSERT_EQ(a.orders().count(), 0);
  ASSERT_EQ(InChild([&] {
              testing::ErrorLog quiet;
              if (!Workspace().Use(bare, "B", {.shared = true})) return 10;
              if (!Workspace().Current().orders().Create(
                      {.bag_path = dir_ / "BARE", .tag = "QTY", .key = "QTY"})) {
                return 11;
              }
              Workspace().CloseAll();
              return quiet.empty() ? 0 : 12;
            }),
            0);
  ASSERT_TRUE(Churn(a, 30, 30));
  EXPECT_EQ(a.orders().count(), 1);
  Workspace().CloseAll();
  EXPECT_TRUE(log.empty()) << (log.empty() ? "" : log.last().DESCRIPTION.value_or(""));
  const ToolRun check = Tool("check " + bare);
  EXPECT_EQ(check.code, 0) << check.out;
  EXPECT_NE(check.out.find("order QTY (BARE.CDX): 60 keys, consistent"), std::string::npos)
      << check.out;
}

// The same with the roles changing hands while both work: a child appends
// and rewrites keys all along, this process adds the tags in between (the
// build waits for the table lock, which the writer leaves free between
// its changes).
TEST_F(CdxTagsProcess, TagsAddedWhileAnotherProcessKeepsChangingTheTable) {
  testing::ErrorLog log;
  int ready[2];
  ASSERT_EQ(::pipe(ready), 0);
  const pid_t pid = ::fork();
  if (pid == 0) {
    testing::ErrorLog quiet;  // refused locks while the tags are built
    ::close(ready[0]);
    if (!Workspace().Use(table_, "T", {.shared = true})) ::_exit(10);
    WorkArea& a = Workspace().Current();
    if (::write(ready[1], "r", 1) != 1) ::_exit(11);
    for (int i = 40; i < 400; ++i) {
      while (!a.AppendBlank()) std::this_thread::sleep_for(std::chrono::microseconds(200));
      if (!a.Put("NAME", Value::Character(Name(i))) || !a.Put("QTY", Value::Numeric(i % 11)) ||
          !a.UnlockAll()) {
        ::_exit(12);
      }
      const auto r = static_cast<std::uint32_t>(1 + (i * 13) % (i - 1));
      while (!a.GoTo(r) || !a.RLock(r)) std::this_thread::sleep_for(std::chrono::microseconds(200));
      if (!a.Put("NAME", Value::Character("R" + Name(i))) ||
          !(i % 3 == 0 ? a.Delete() : a.Recall()) || !a.UnlockAll()) {
        ::_exit(13);
      }
      std::this_thread::sleep_for(std::chrono::microseconds(300));
    }
    Workspace().CloseAll();
    ::_exit(0);
  }
  ::close(ready[1]);
  char c = 0;
  ASSERT_EQ(::read(ready[0], &c, 1), 1);
  ::close(ready[0]);
  ASSERT_TRUE(Workspace().Use(table_, "T", {.shared = true}));
  Orders& o = Workspace().Current().orders();
  const auto started = std::chrono::steady_clock::now();
  const auto create = [&](const OrderSpec& wanted) {
    while (!o.Create(wanted)) {
      ASSERT_LT(std::chrono::steady_clock::now() - started, std::chrono::minutes(2));
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  };
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  create({.bag_path = dir_ / "T", .tag = "QTY", .key = "QTY"});
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  create({.bag_path = dir_ / "T", .tag = "LIVE", .key = "NAME", .condition = "!DELETED()"});
  // Only refused table locks were raised here.
  for (const auto& e : log.errors()) EXPECT_EQ(e.GENCODE, kGenLock);
  Workspace().CloseAll();
  int status = 0;
  ::waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  ASSERT_EQ(WEXITSTATUS(status), 0);
  const ToolRun check = Tool("check " + table_);
  EXPECT_EQ(check.code, 0) << check.out;
  EXPECT_NE(check.out.find("order QTY (T.CDX): 400 keys, consistent"), std::string::npos)
      << check.out;
}

// The current order replaced by another process (a tag of the same name
// made again): the next navigation through it is an error, the area is in
// record order afterwards, and the new tag is there under its name.
TEST_F(CdxTagsProcess, TheCurrentOrderReplacedByAnotherProcessIsAnErrorOnce) {
  testing::ErrorLog log;
  ASSERT_TRUE(Workspace().Use(table_, "T", {.shared = true}));
  WorkArea& a = Workspace().Current();
  ASSERT_TRUE(a.orders().SetCurrent("NAME"));
  ASSERT_TRUE(a.GoTop());
  ASSERT_EQ(a.Get("NAME").str(), "N00000    ");
  const int made = InChild([&] {
    testing::ErrorLog quiet;
    if (!Workspace().Use(table_, "T", {.shared = true})) return 10;
    Orders& o = Workspace().Current().orders();
    // Descending by name, under the same tag name.
    if (!o.Create({.bag_path = dir_ / "T", .tag = "NAME", .key = "NAME", .descending = true})) {
      return 11;
    }
    Workspace().CloseAll();
    return quiet.empty() ? 0 : 12;
  });
  ASSERT_EQ(made, 0);
  EXPECT_FALSE(a.GoTop());
  ASSERT_EQ(log.errors().size(), 1u);
  EXPECT_EQ(log.last().GENCODE, kGenBound);
  EXPECT_NE(log.last().DESCRIPTION.value_or("").find("NAME"), std::string::npos);
  log.clear();
  EXPECT_EQ(a.orders().current(), 0);
  ASSERT_TRUE(a.GoTop());
  EXPECT_EQ(a.RecNo(), 1u);  // record order
  ASSERT_TRUE(a.Skip(1));
  EXPECT_EQ(a.RecNo(), 2u);
  // The new tag, by its name.
  ASSERT_EQ(a.orders().count(), 1);
  EXPECT_TRUE(a.orders().At(1)->descending);
  ASSERT_TRUE(a.orders().SetCurrent("NAME"));
  ASSERT_TRUE(Churn(a, 40, 20));
  ASSERT_TRUE(a.GoTop());
  std::string previous = "\xff";
  while (!a.Eof()) {
    EXPECT_GE(previous, a.Get("NAME").str());
    previous = a.Get("NAME").str();
    ASSERT_TRUE(a.Skip(1));
  }
  Workspace().CloseAll();
  EXPECT_TRUE(log.empty()) << (log.empty() ? "" : log.last().DESCRIPTION.value_or(""));
  const ToolRun check = Tool("check " + table_);
  EXPECT_EQ(check.code, 0) << check.out;
}

// An update is where the process may first notice: the replaced current
// order is reported then, the change reaches the other tags, and
// navigation goes on in record order.
TEST_F(CdxTagsProcess, AReplacedCurrentOrderNoticedByAnUpdateIsReportedOnce) {
  testing::ErrorLog log;
  ASSERT_TRUE(Workspace().Use(table_, "T", {.shared = true}));
  WorkArea& a = Workspace().Current();
  ASSERT_TRUE(a.orders().SetCurrent("NAME"));
  ASSERT_EQ(AddTagsElsewhere(), 0);
  ASSERT_EQ(InChild([&] {
              testing::ErrorLog quiet;
              if (!Workspace().Use(table_, "T", {.shared = true})) return 10;
              if (!Workspace().Current().orders().Create(
                      {.bag_path = dir_ / "T", .tag = "NAME", .key = "QTY"})) {
                return 11;
              }
              Workspace().CloseAll();
              return 0;
            }),
            0);
  ASSERT_TRUE(a.GoTo(3));
  ASSERT_TRUE(a.RLock());
  ASSERT_TRUE(a.Put("NAME", Value::Character("ZZZ")));
  ASSERT_TRUE(a.UnlockAll());
  ASSERT_EQ(log.errors().size(), 1u);
  EXPECT_EQ(log.last().GENCODE, kGenBound);
  log.clear();
  EXPECT_EQ(a.orders().current(), 0);
  EXPECT_EQ(a.orders().count(), 3);
  ASSERT_TRUE(a.GoTop());
  EXPECT_EQ(a.RecNo(), 1u);
  Workspace().CloseAll();
  EXPECT_TRUE(log.empty()) << (log.empty() ? "" : log.last().DESCRIPTION.value_or(""));
  const ToolRun check = Tool("check " + table_);
  EXPECT_EQ(check.code, 0) << check.out;
}

}  // namespace
}  // namespace talvi::dbf
