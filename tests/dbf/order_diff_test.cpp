// SPDX-License-Identifier: MIT
// Differential: every walk, count and seek through an order agrees with a
// sorted scan of the table's records under the same FOR condition, scope
// and deleted setting, under both drivers, for random tables and scopes.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "dbf/areas.h"
#include "dbf/orders.h"
#include "dbf/settings.h"
#include "dbf_support.h"

namespace talvi::dbf {
namespace {

struct Row {
  std::uint32_t recno;
  std::string name;  // padded to 6
  double qty;
  bool deleted;
};

// <0, 0, >0 as `key` sorts before, within or after the prefix `p`.
int ComparePrefix(const std::string& key, const std::string& p) {
  return key.compare(0, p.size(), p);
}

class OrderDiff : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override { Engine().driver = GetParam(); }
  void TearDown() override {
    Workspace().CloseAll();
    Engine().driver = "DBFCDX";
    Engine().deleted = true;
  }
  talvi::testing::TempDir dir_;
  testing::ErrorLog log_;
};

TEST_P(OrderDiff, WalksCountsAndSeeksAgreeWithASortedScan) {
  const std::string path = dir_ / "D.DBF";
  ASSERT_TRUE(Table::Create(path, {{"NAME", 'C', 6, 0}, {"QTY", 'N', 5, 0}}));
  ASSERT_TRUE(Workspace().Use(path, "", {.shared = false}));
  WorkArea& a = Workspace().Current();
  std::mt19937 rng(static_cast<unsigned>(std::string(GetParam()).size()) * 31u);
  const auto word = [&](int most) {
    std::string s;
    for (int i = 0, n = 1 + static_cast<int>(rng() % static_cast<unsigned>(most)); i < n; ++i) {
      s += static_cast<char>('a' + rng() % 4);
    }
    return s;
  };
  std::vector<Row> rows;
  for (std::uint32_t r = 1; r <= 700; ++r) {
    ASSERT_TRUE(a.AppendBlank());
    std::string n = word(5);
    const double q = static_cast<double>(static_cast<int>(rng() % 41) - 20);
    ASSERT_TRUE(a.Put("NAME", Value::Character(n)));
    ASSERT_TRUE(a.Put("QTY", Value::Numeric(q)));
    const bool del = rng() % 7 == 0;
    if (del) {
      ASSERT_TRUE(a.Delete());
    }
    n.resize(6, ' ');
    rows.push_back({r, n, q, del});
  }
  ASSERT_TRUE(a.Commit());
  Orders& o = a.orders();
  const bool cdx = std::string(GetParam()) == "DBFCDX";
  const auto bag = [&](const char* n) { return cdx ? dir_ / "D" : dir_ / n; };
  ASSERT_TRUE(o.Create({.bag_path = bag("A"), .tag = "A", .key = "NAME"}));
  ASSERT_TRUE(o.Create({.bag_path = bag("B"),
                        .tag = "B",
                        .key = "NAME",
                        .condition = "QTY > 0",
                        .descending = true}));
  ASSERT_TRUE(o.Create({.bag_path = bag("C"), .tag = "C", .key = "QTY"}));
  for (int round = 0; round < 60; ++round) {
    const int which = 1 + round % 3;
    const bool descending = which == 2, numeric = which == 3;
    Engine().deleted = round % 4 != 3;
    ASSERT_TRUE(o.SetCurrent(which));
    // Scopes: prefixes of names, or numbers; either end may be open.
    std::optional<std::string> topText, bottomText;
    std::optional<double> topNum, bottomNum;
    if (rng() % 3) {
      if (numeric) {
        topNum = static_cast<double>(static_cast<int>(rng() % 30) - 15);
      } else {
        topText = word(2);
      }
    }
    if (rng() % 3) {
      if (numeric) {
        bottomNum = static_cast<double>(static_cast<int>(rng() % 30) - 5);
      } else {
        bottomText = word(2);
      }
    }
    ASSERT_TRUE(o.SetScope(true, topText  ? std::optional<Value>(Value::Character(*topText))
                                 : topNum ? std::optional<Value>(Value::Numeric(*topNum))
                                          : std::nullopt));
    ASSERT_TRUE(o.SetScope(false, bottomText  ? std::optional<Value>(Value::Character(*bottomText))
                                  : bottomNum ? std::optional<Value>(Value::Numeric(*bottomNum))
                                              : std::nullopt));
    // The sorted scan. Descending orders read their top scope as the high end.
    std::vector<Row> want;
    for (const Row& r : rows) {
      if (Engine().deleted && r.deleted) continue;
      if (which == 2 && !(r.qty > 0)) continue;
      if (numeric) {
        if ((topNum && r.qty < *topNum) || (bottomNum && r.qty > *bottomNum)) continue;
      } else {
        const auto& lo = descending ? bottomText : topText;
        const auto& hi = descending ? topText : bottomText;
        if ((lo && ComparePrefix(r.name, *lo) < 0) || (hi && ComparePrefix(r.name, *hi) > 0)) {
          continue;
        }
      }
      want.push_back(r);
    }
    const auto less = [&](const Row& x, const Row& y) {
      if (numeric && x.qty != y.qty) return x.qty < y.qty;
      if (!numeric && x.name != y.name) return x.name < y.name;
      return x.recno < y.recno;
    };
    std::sort(want.begin(), want.end(), less);
    if (descending) std::reverse(want.begin(), want.end());
    std::vector<std::uint32_t> wantRecnos;
    for (const Row& r : want) wantRecnos.push_back(r.recno);
    std::vector<std::uint32_t> got;
    ASSERT_TRUE(a.GoTop());
    while (!a.Eof() && got.size() <= rows.size()) {
      got.push_back(a.RecNo());
      ASSERT_TRUE(a.Skip(1));
    }
    ASSERT_EQ(got, wantRecnos) << "round " << round << " order " << which;
    EXPECT_EQ(a.Count(), wantRecnos.size());
    std::vector<std::uint32_t> back;
    ASSERT_TRUE(a.GoBottom());
    while (!a.Eof() && back.size() <= rows.size()) {
      back.push_back(a.RecNo());
      ASSERT_TRUE(a.Skip(-1));
      if (a.Bof()) break;
    }
    std::reverse(back.begin(), back.end());
    ASSERT_EQ(back, wantRecnos) << "backwards, round " << round;
    // Seeks, soft and not, first and last, against the scan.
    for (int s = 0; s < 20; ++s) {
      const bool soft = s % 2 == 0, last = s % 5 == 0;
      std::size_t first = want.size(), end = want.size();
      if (numeric) {
        const double v = static_cast<double>(static_cast<int>(rng() % 44) - 22);
        ASSERT_TRUE(a.Seek(Value::Numeric(v), soft, last));
        for (std::size_t i = 0; i < want.size() && first == want.size(); ++i) {
          if (want[i].qty >= v) first = i;
        }
        end = first;
        while (end < want.size() && want[end].qty == v) ++end;
      } else {
        const std::string v = word(3);
        ASSERT_TRUE(a.Seek(Value::Character(v), soft, last));
        for (std::size_t i = 0; i < want.size() && first == want.size(); ++i) {
          const int c = ComparePrefix(want[i].name, v);
          if (descending ? c <= 0 : c >= 0) first = i;
        }
        end = first;
        while (end < want.size() && ComparePrefix(want[end].name, v) == 0) ++end;
      }
      const bool found = end > first;
      EXPECT_EQ(a.Found(), found) << "seek " << s << " round " << round;
      const std::uint32_t expect = found ? want[last ? end - 1 : first].recno
                                   : soft && first < want.size() ? want[first].recno
                                                                 : 0;
      EXPECT_EQ(a.Eof() ? 0u : a.RecNo(), expect) << "seek " << s << " round " << round;
    }
  }
  o.ClearScopes();
  EXPECT_TRUE(log_.empty());
}

INSTANTIATE_TEST_SUITE_P(Drivers, OrderDiff, ::testing::Values("DBFNTX", "DBFCDX"));

}  // namespace
}  // namespace talvi::dbf
