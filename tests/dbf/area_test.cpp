// SPDX-License-Identifier: MIT
// Work areas: navigation over deleted records, fields, appends, locks between
// two areas of one process, the hooks an index will use, and the area table.
#include <gtest/gtest.h>

#include "dbf/areas.h"
#include "dbf/codes.h"
#include "dbf/expr.h"
#include "dbf/settings.h"
#include "dbf_support.h"
#include "errors/errorsys.h"

namespace talvi::dbf {
namespace {

class AreaTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(
        Table::Create(path_, {{"ID", 'N', 6, 0}, {"NAME", 'C', 8, 0}, {"NOTE", 'M', 10, 0}}));
    WorkArea a(1);
    ASSERT_TRUE(a.Use(path_, "T", {.shared = false}));
    for (int i = 1; i <= 6; ++i) {
      ASSERT_TRUE(a.AppendBlank());
      ASSERT_TRUE(a.Put("ID", Value::Numeric(i)));
      ASSERT_TRUE(a.Put(2, Value::Character("n" + std::to_string(i))));
    }
    // Records 1, 3 and 6 deleted.
    for (std::uint32_t n : {1u, 3u, 6u}) {
      ASSERT_TRUE(a.GoTo(n));
      ASSERT_TRUE(a.Delete());
    }
  }
  void TearDown() override { Engine().deleted = true; }

  std::vector<std::uint32_t> Walk(WorkArea& a) {
    std::vector<std::uint32_t> seen;
    for (a.GoTop(); !a.Eof(); a.Skip()) seen.push_back(a.RecNo());
    return seen;
  }
  std::vector<std::uint32_t> WalkBack(WorkArea& a) {
    std::vector<std::uint32_t> seen;
    for (a.GoBottom(); !a.Bof(); a.Skip(-1)) seen.push_back(a.RecNo());
    return seen;
  }

  talvi::testing::TempDir dir_;
  testing::ErrorLog log_;
  std::string path_ = dir_ / "T.DBF";
};

TEST_F(AreaTest, DeletedRecordsAreInvisibleWhileTheSettingIsOn) {
  WorkArea a(1);
  ASSERT_TRUE(a.Use(path_, "T", {.shared = true}));
  EXPECT_EQ(a.RecNo(), 2u);  // top skips deleted record 1
  EXPECT_EQ(Walk(a), (std::vector<std::uint32_t>{2, 4, 5}));
  EXPECT_EQ(WalkBack(a), (std::vector<std::uint32_t>{5, 4, 2}));
  EXPECT_EQ(a.Count(), 3u);
  EXPECT_EQ(a.RecCount(), 6u);
  // Past the ends.
  ASSERT_TRUE(a.GoBottom());
  EXPECT_EQ(a.RecNo(), 5u);
  ASSERT_TRUE(a.Skip());
  EXPECT_TRUE(a.Eof());
  EXPECT_EQ(a.RecNo(), 7u);
  EXPECT_EQ(a.Get("ID"), Value::Numeric(0, 0));
  ASSERT_TRUE(a.Skip(-1));
  EXPECT_EQ(a.RecNo(), 5u);
  ASSERT_TRUE(a.GoTop());
  ASSERT_TRUE(a.Skip(-1));
  EXPECT_TRUE(a.Bof());
  EXPECT_EQ(a.RecNo(), 2u);
  ASSERT_TRUE(a.Skip(2));
  EXPECT_EQ(a.RecNo(), 5u);
  // GoTo reaches a deleted record by number.
  ASSERT_TRUE(a.GoTo(3));
  EXPECT_TRUE(a.Deleted());
  EXPECT_EQ(a.Get(1), Value::Numeric(3, 0));
  Engine().deleted = false;
  EXPECT_EQ(Walk(a), (std::vector<std::uint32_t>{1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(a.Count(), 6u);
  EXPECT_TRUE(log_.empty());
}

TEST_F(AreaTest, AllDeletedOrEmptyTableIsBofAndEof) {
  WorkArea a(1);
  ASSERT_TRUE(a.Use(path_, "T", {.shared = false}));
  for (std::uint32_t n : {2u, 4u, 5u}) {
    ASSERT_TRUE(a.GoTo(n));
    ASSERT_TRUE(a.Delete());
  }
  ASSERT_TRUE(a.GoTop());
  EXPECT_TRUE(a.Eof());
  EXPECT_TRUE(a.Bof());
  EXPECT_EQ(a.Count(), 0u);
  ASSERT_TRUE(a.Zap());
  EXPECT_TRUE(a.Eof() && a.Bof());
  EXPECT_EQ(a.RecCount(), 0u);
  ASSERT_TRUE(a.Skip(-1));
  EXPECT_TRUE(a.Bof());
}

TEST_F(AreaTest, FieldsRecallPackAndMemosThroughTheArea) {
  WorkArea a(1);
  ASSERT_TRUE(a.Use(path_, "T", {.shared = false}));
  EXPECT_EQ(a.FCount(), 3);
  EXPECT_EQ(a.FieldPos("name"), 2);
  EXPECT_EQ(a.FieldName(3), "NOTE");
  ASSERT_TRUE(a.GoTo(3));
  ASSERT_TRUE(a.Recall());
  ASSERT_TRUE(a.Put("note", Value::Character("memo of three")));
  ASSERT_TRUE(a.Commit());
  EXPECT_FALSE(a.Get("NOPE").IsCharacter());
  EXPECT_EQ(log_.last().GENCODE, kGenNoVar);
  log_.clear();
  ASSERT_TRUE(a.Pack());
  EXPECT_EQ(a.RecCount(), 4u);
  EXPECT_EQ(Walk(a), (std::vector<std::uint32_t>{1, 2, 3, 4}));
  ASSERT_TRUE(a.GoTo(2));
  EXPECT_EQ(a.Get("ID"), Value::Numeric(3, 0));
  EXPECT_EQ(a.Get("NOTE"), Value::Character("memo of three"));
  EXPECT_TRUE(log_.empty());
}

TEST_F(AreaTest, TwoAreasOnOneTableExcludeEachOtherLikeTwoStations) {
  WorkArea a(1);
  WorkArea b(2);
  ASSERT_TRUE(a.Use(path_, "A", {.shared = true}));
  ASSERT_TRUE(b.Use(path_, "B", {.shared = true}));
  ASSERT_TRUE(a.GoTo(2));
  ASSERT_TRUE(b.GoTo(2));
  // Changing needs the lock.
  EXPECT_FALSE(b.Put("NAME", Value::Character("x")));
  EXPECT_EQ(log_.last().GENCODE, kGenUnlocked);
  log_.clear();
  ASSERT_TRUE(a.RLock());
  EXPECT_FALSE(b.RLock());
  EXPECT_FALSE(b.FLock());
  EXPECT_TRUE(b.RLock(4));
  ASSERT_TRUE(a.Put("NAME", Value::Character("changed")));
  ASSERT_TRUE(a.UnlockAll());  // the change is written before the lock goes
  ASSERT_TRUE(b.RLock(2));     // and read again once b holds the lock
  EXPECT_EQ(b.Get("NAME"), Value::Character("changed "));
  ASSERT_TRUE(b.UnlockAll());
  // A table lock keeps appends and record locks of the other area out.
  ASSERT_TRUE(a.FLock());
  EXPECT_FALSE(b.RLock(5));
  EXPECT_FALSE(b.AppendBlank());
  ASSERT_EQ(log_.errors().size(), 1u);
  EXPECT_EQ(log_.last().GENCODE, kGenAppendLock);
  EXPECT_TRUE(log_.last().CANDEFAULT);
  EXPECT_EQ(log_.last().FILENAME, path_);
  ASSERT_TRUE(a.AppendBlank());  // the table lock covers the header lock
  EXPECT_EQ(a.RecNo(), 7u);
  ASSERT_TRUE(a.UnlockAll());
  log_.clear();
  ASSERT_TRUE(b.AppendBlank());
  EXPECT_EQ(b.RecNo(), 8u);
  EXPECT_TRUE(b.IsLocked(8));
  EXPECT_FALSE(a.RLock(8));
  EXPECT_EQ(a.RecCount(), 8u);
  EXPECT_TRUE(log_.empty());
}

// GoTo leaves its record unread until it is used (so that a GoTo and a
// lock read it once, after the lock): whatever comes first must see the
// record GoTo went to, and evaluating a key on another record must not
// leave that record in the buffer.
TEST_F(AreaTest, GoToReadsItsRecordWhenFirstUsed) {
  Workspace().CloseAll();
  ASSERT_TRUE(Workspace().Use(path_, "A", {.shared = true}));
  WorkArea& a = Workspace().Current();
  WorkArea b(2);
  ASSERT_TRUE(b.Use(path_, "B", {.shared = true}));
  ASSERT_TRUE(a.GoTo(3));
  EXPECT_TRUE(a.Deleted());  // the flag comes from record 3, not the buffer of record 1
  ASSERT_TRUE(a.GoTo(2));
  ASSERT_TRUE(b.GoTo(2));
  ASSERT_TRUE(b.RLock());
  ASSERT_TRUE(b.Put("NAME", Value::Character("later")));
  ASSERT_TRUE(b.UnlockAll());
  EXPECT_EQ(a.Get("NAME"), Value::Character("later   "));
  const auto name = Expression::Compile("NAME");
  ASSERT_TRUE(name);
  ASSERT_TRUE(a.GoTo(4));
  ASSERT_TRUE(b.GoTo(5));
  EXPECT_EQ(a.EvaluateOn(*name, b.record(), 5), Value::Character("n5      "));
  EXPECT_EQ(a.RecNo(), 4u);
  EXPECT_EQ(a.Get("NAME"), Value::Character("n4      "));
  ASSERT_TRUE(a.GoTo(5));
  ASSERT_TRUE(a.RLock());
  ASSERT_TRUE(a.Put("ID", Value::Numeric(50)));
  ASSERT_TRUE(a.UnlockAll());
  ASSERT_TRUE(b.Skip(0));
  EXPECT_EQ(b.Get("ID"), Value::Numeric(50, 0, 6));
  EXPECT_EQ(b.Get("NAME"), Value::Character("n5      "));
  EXPECT_TRUE(log_.empty());
  Workspace().CloseAll();
}

TEST_F(AreaTest, RefusedAppendSetsTheNetworkErrorFlagThroughTheHandler) {
  errors::ERRORSYS();
  errors::NETERR(false);
  WorkArea a(1);
  WorkArea b(2);
  ASSERT_TRUE(a.Use(path_, "A", {.shared = true}));
  ASSERT_TRUE(b.Use(path_, "B", {.shared = true}));
  ASSERT_TRUE(a.FLock());
  EXPECT_FALSE(b.AppendBlank());
  EXPECT_TRUE(errors::NETERR());
  errors::NETERR(false);
  WorkArea c(3);
  ASSERT_TRUE(a.UnlockAll());
  a.Close();
  b.Close();
  ASSERT_TRUE(a.Use(path_, "A", {.shared = false}));
  EXPECT_FALSE(c.Use(path_, "C", {.shared = true}));
  EXPECT_TRUE(errors::NETERR());
  EXPECT_FALSE(c.used());
}

class Recorder : public TableObserver {
 public:
  void OnAppend(WorkArea&, std::uint32_t recno, const std::string&) override {
    log.push_back("append " + std::to_string(recno));
  }
  void OnChange(WorkArea&, std::uint32_t recno, const std::string& before,
                const std::string& after) override {
    log.push_back("change " + std::to_string(recno) + " " + before.substr(0, 7) + "|" +
                  after.substr(0, 7));
  }
  void OnZap(WorkArea&) override { log.push_back("zap"); }
  void OnPack(WorkArea&) override { log.push_back("pack"); }
  void OnClose(WorkArea&) override { log.push_back("close"); }
  std::vector<std::string> log;
};

TEST_F(AreaTest, ObserversSeeEveryChangeAfterItReachedTheFile) {
  WorkArea a(1);
  ASSERT_TRUE(a.Use(path_, "T", {.shared = false}));
  Recorder rec;
  a.AddObserver(&rec);
  ASSERT_TRUE(a.GoTo(2));
  ASSERT_TRUE(a.Put("ID", Value::Numeric(42)));
  ASSERT_TRUE(a.Put("ID", Value::Numeric(43)));  // one change when written
  ASSERT_TRUE(a.Skip());
  ASSERT_TRUE(a.Delete());
  ASSERT_TRUE(a.Commit());
  ASSERT_TRUE(a.AppendBlank());
  ASSERT_TRUE(a.Pack());
  ASSERT_TRUE(a.Zap());
  a.Close();
  const std::string two = " " + std::string(5, ' ') + "2";
  const std::string four = " " + std::string(5, ' ') + "4";
  EXPECT_EQ(rec.log, (std::vector<std::string>{"change 2 " + two + "|     43",
                                               "change 4 " + four + "|*     4", "append 7", "pack",
                                               "zap", "close"}));
}

TEST(AreasTest, SelectByNumberAliasAndFirstFree) {
  talvi::testing::TempDir dir;
  testing::ErrorLog log;
  const std::string path = dir / "CUST.DBF";
  ASSERT_TRUE(Table::Create(path, {{"A", 'C', 1, 0}}));
  Areas& w = Workspace();
  EXPECT_EQ(w.CurrentNumber(), 1);
  EXPECT_EQ(w.FirstFree(), 1);
  ASSERT_TRUE(w.Use(path, "", {.shared = true}));
  EXPECT_EQ(w.Alias(1), "CUST");
  EXPECT_EQ(w.FirstFree(), 2);
  ASSERT_TRUE(w.Use(path, "second", {.shared = true}, true));
  EXPECT_EQ(w.CurrentNumber(), 2);
  EXPECT_EQ(w.Alias(2), "SECOND");
  EXPECT_FALSE(w.Use(path, "cust", {.shared = true}, true));  // alias taken
  EXPECT_EQ(log.last().GENCODE, kGenArg);
  ASSERT_TRUE(w.Select(kSystemLockArea));
  ASSERT_TRUE(w.Use(path, "ORVALOCK", {.shared = true}));
  EXPECT_EQ(w.Find("orvalock"), kSystemLockArea);
  ASSERT_TRUE(w.Select("cust"));
  EXPECT_EQ(w.CurrentNumber(), 1);
  EXPECT_FALSE(w.Select("nothing"));
  EXPECT_EQ(log.last().GENCODE, kGenNoAlias);
  EXPECT_FALSE(w.Select(kMaxArea + 1));
  ASSERT_TRUE(w.Select(kMaxArea));
  ASSERT_TRUE(w.Select(0));
  EXPECT_EQ(w.CurrentNumber(), 3);
  w.CloseAll();
  EXPECT_EQ(w.CurrentNumber(), 1);
  EXPECT_EQ(w.Alias(kSystemLockArea), "");
  EXPECT_EQ(w.FirstFree(), 1);
}

}  // namespace
}  // namespace talvi::dbf
