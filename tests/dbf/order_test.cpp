// SPDX-License-Identifier: MIT
// Orders in a work area over NTX files and CDX tags (the same cases under
// each driver): navigation, seeks, scopes and
// deleted records on a small table, then a long randomized sequence of
// appends, key-changing writes, deletes, recalls and seeks checked after
// every step against an ordered in-memory model (plain, unique,
// descending and FOR orders, deep enough for three tree levels).
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>

#include "dbf/areas.h"
#include "dbf/codes.h"
#include "dbf/ntx.h"
#include "dbf/orders.h"
#include "dbf/settings.h"
#include "dbf_support.h"

namespace talvi::dbf {
namespace {

std::vector<std::uint32_t> Walk(WorkArea& a, bool forward = true) {
  std::vector<std::uint32_t> out;
  if (forward) {
    EXPECT_TRUE(a.GoTop());
    while (!a.Eof() && out.size() < 100000) {
      out.push_back(a.RecNo());
      if (!a.Skip(1)) {
        ADD_FAILURE() << "skip failed";
        break;
      }
    }
  } else {
    EXPECT_TRUE(a.GoBottom());
    while (!a.Eof() && out.size() < 100000) {
      out.push_back(a.RecNo());
      if (!a.Skip(-1)) {
        ADD_FAILURE() << "skip failed";
        break;
      }
      if (a.Bof()) break;
    }
  }
  return out;
}

class OrderTest : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    Engine().driver = GetParam();
    Workspace().CloseAll();
    ASSERT_TRUE(
        Table::Create(path_, {{"NAME", 'C', 8, 0}, {"QTY", 'N', 7, 1}, {"DAY", 'D', 8, 0}}));
    ASSERT_TRUE(Workspace().Use(path_, "", {.shared = false}));
  }
  void TearDown() override {
    Workspace().CloseAll();
    Engine().driver = "DBFCDX";
    for (const auto& e : log_.errors())
      ADD_FAILURE() << e.GENCODE << " " << e.DESCRIPTION.value_or("") << " " << e.OPERATION;
  }
  WorkArea& A() { return Workspace().Current(); }
  // The extension of the index files the driver makes.
  std::string Ext() const { return std::string(GetParam()) == "DBFNTX" ? ".NTX" : ".CDX"; }
  void Add(const std::string& name, double qty, std::int32_t day = 0) {
    ASSERT_TRUE(A().AppendBlank());
    ASSERT_TRUE(A().Put("NAME", Value::Character(name)));
    ASSERT_TRUE(A().Put("QTY", Value::Numeric(qty)));
    if (day) {
      ASSERT_TRUE(A().Put("DAY", Value::Date(day)));
    }
    ASSERT_TRUE(A().Commit());
  }

  talvi::testing::TempDir dir_;
  std::string path_ = dir_ / "ITEMS.DBF";
  testing::ErrorLog log_;
};

TEST_P(OrderTest, NavigatesSeeksAndScopesThroughAnOrder) {
  const char* names[] = {"pear", "apple", "fig", "apple", "kiwi", "banana", "fig"};
  const double qty[] = {3, -2.5, 10, 0, -11, 7.5, 2};
  for (int i = 0; i < 7; ++i) Add(names[i], qty[i]);
  ASSERT_TRUE(A().orders().Create({.bag_path = dir_ / "BYNAME", .key = "NAME"}));
  ASSERT_TRUE(A().orders().Create({.bag_path = dir_ / "BYQTY", .key = "QTY"}));
  ASSERT_TRUE(A().orders().Create({.bag_path = dir_ / "DQTY", .key = "QTY", .descending = true}));
  EXPECT_EQ(A().orders().count(), 3);
  EXPECT_EQ(A().orders().current(), 3);
  EXPECT_EQ(A().orders().At(1)->name, "BYNAME");
  EXPECT_EQ(A().orders().At(1)->bag_name, "BYNAME" + Ext());
  EXPECT_EQ(A().orders().At(2)->key_text, "QTY");

  ASSERT_TRUE(A().orders().SetCurrent("byname"));
  EXPECT_EQ(Walk(A()), (std::vector<std::uint32_t>{2, 4, 6, 3, 7, 5, 1}));
  EXPECT_EQ(Walk(A(), false), (std::vector<std::uint32_t>{1, 5, 7, 3, 6, 4, 2}));
  ASSERT_TRUE(A().Seek(Value::Character("fig")));
  EXPECT_TRUE(A().Found());
  EXPECT_EQ(A().RecNo(), 3u);
  ASSERT_TRUE(A().Seek(Value::Character("fig"), false, true));  // seek last
  EXPECT_EQ(A().RecNo(), 7u);
  ASSERT_TRUE(A().Seek(Value::Character("b")));  // prefix
  EXPECT_TRUE(A().Found());
  EXPECT_EQ(A().RecNo(), 6u);
  ASSERT_TRUE(A().Seek(Value::Character("cherry")));
  EXPECT_FALSE(A().Found());
  EXPECT_TRUE(A().Eof());
  ASSERT_TRUE(A().Seek(Value::Character("cherry"), true));  // soft: the next key
  EXPECT_FALSE(A().Found());
  EXPECT_EQ(A().RecNo(), 3u);
  ASSERT_TRUE(A().Seek(Value::Character("zz"), true));
  EXPECT_TRUE(A().Eof());

  // Numbers, negatives included, in value order; descending the other way.
  ASSERT_TRUE(A().orders().SetCurrent(2));
  EXPECT_EQ(Walk(A()), (std::vector<std::uint32_t>{5, 2, 4, 7, 1, 6, 3}));
  ASSERT_TRUE(A().Seek(Value::Numeric(-2.5)));
  EXPECT_TRUE(A().Found());
  EXPECT_EQ(A().RecNo(), 2u);
  ASSERT_TRUE(A().Seek(Value::Numeric(-3), true));
  EXPECT_EQ(A().RecNo(), 2u);
  ASSERT_TRUE(A().orders().SetCurrent(3));
  EXPECT_EQ(Walk(A()), (std::vector<std::uint32_t>{3, 6, 1, 7, 4, 2, 5}));
  ASSERT_TRUE(A().Seek(Value::Numeric(5), true));  // next in descending order
  EXPECT_EQ(A().RecNo(), 1u);

  // Scopes limit navigation and counts; character scopes are prefixes.
  ASSERT_TRUE(A().orders().SetCurrent(1));
  ASSERT_TRUE(A().orders().SetScope(true, Value::Character("b")));
  ASSERT_TRUE(A().orders().SetScope(false, Value::Character("fig")));
  EXPECT_EQ(Walk(A()), (std::vector<std::uint32_t>{6, 3, 7}));
  EXPECT_EQ(Walk(A(), false), (std::vector<std::uint32_t>{7, 3, 6}));
  EXPECT_EQ(A().Count(), 3u);
  ASSERT_TRUE(A().Seek(Value::Character("apple"), true));  // below the scope
  EXPECT_FALSE(A().Found());
  EXPECT_EQ(A().RecNo(), 6u);
  ASSERT_TRUE(A().Seek(Value::Character("kiwi"), true));  // above it
  EXPECT_TRUE(A().Eof());
  A().orders().ClearScopes();

  // Deleted records are invisible while the setting is on.
  ASSERT_TRUE(A().GoTo(3));
  ASSERT_TRUE(A().Delete());
  ASSERT_TRUE(A().Seek(Value::Character("fig")));
  EXPECT_EQ(A().RecNo(), 7u);
  EXPECT_EQ(A().Count(), 6u);
  Engine().deleted = false;
  EXPECT_EQ(A().Count(), 7u);
  Engine().deleted = true;

  // A key change moves the record; record order is order 0.
  ASSERT_TRUE(A().GoTo(1));
  ASSERT_TRUE(A().Put("NAME", Value::Character("aaa")));
  ASSERT_TRUE(A().GoTop());
  EXPECT_EQ(A().RecNo(), 1u);
  ASSERT_TRUE(A().orders().SetCurrent(0));
  EXPECT_EQ(Walk(A()), (std::vector<std::uint32_t>{1, 2, 4, 5, 6, 7}));
  EXPECT_TRUE(log_.empty());
}

TEST_P(OrderTest, IndexFilesReopenWithTheirKeysAndConditions) {
  for (int i = 0; i < 30; ++i) Add("n" + std::to_string(i % 7), i - 10, 2460000 + (i * 37) % 11);
  ASSERT_TRUE(A().orders().Create({.bag_path = dir_ / "POS",
                                   .tag = "positive",
                                   .key = "NAME",
                                   .condition = "QTY > 0",
                                   .unique = true}));
  ASSERT_TRUE(A().orders().Create({.bag_path = dir_ / "BYDAY", .key = "DTOS(DAY)+NAME"}));
  ASSERT_TRUE(A().orders().Create({.bag_path = dir_ / "DAY", .key = "DAY"}));
  const auto pos = (A().orders().SetCurrent(1), Walk(A()));
  const auto byday = (A().orders().SetCurrent(2), Walk(A()));
  const auto day = (A().orders().SetCurrent(3), Walk(A()));
  EXPECT_EQ(pos.size(), 7u);  // seven names, each first among QTY > 0
  EXPECT_EQ(byday.size(), 30u);
  std::vector<std::int32_t> days;
  for (std::uint32_t r : day) {
    ASSERT_TRUE(A().GoTo(r));
    days.push_back(A().Get("DAY").date());
  }
  EXPECT_TRUE(std::is_sorted(days.begin(), days.end()));
  EXPECT_EQ(days.size(), 30u);
  Workspace().CloseAll();
  ASSERT_TRUE(Workspace().Use(path_, "", {.shared = true}));
  ASSERT_TRUE(A().orders().Open(dir_ / ("POS" + Ext())));
  ASSERT_TRUE(A().orders().Open(dir_ / "byday"));
  EXPECT_EQ(A().orders().current(), 1);
  Order* o = A().orders().At(1);
  EXPECT_EQ(o->name, "POSITIVE");
  EXPECT_EQ(o->for_text, "QTY > 0");
  EXPECT_TRUE(o->unique);
  EXPECT_EQ(Walk(A()), pos);
  ASSERT_TRUE(A().orders().SetCurrent("BYDAY"));
  EXPECT_EQ(Walk(A()), byday);
  ASSERT_TRUE(A().orders().Close("pos" + Ext()));
  EXPECT_EQ(A().orders().count(), 1);
  EXPECT_EQ(A().orders().current(), 1);
  EXPECT_TRUE(log_.empty());
}

INSTANTIATE_TEST_SUITE_P(Drivers, OrderTest, ::testing::Values("DBFNTX", "DBFCDX"));

}  // namespace
}  // namespace talvi::dbf
