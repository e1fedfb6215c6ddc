// SPDX-License-Identifier: MIT
// A long random sequence of appends, key-changing writes, deletes, recalls
// and seeks on a table with four orders, NTX files or CDX tags (plain, unique, descending
// numeric, FOR), each navigation checked against a sorted model built from
// the records themselves; the keys are long enough for three tree levels.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <set>

#include "dbf/areas.h"
#include "dbf/cdx.h"
#include "dbf/ntx.h"
#include "dbf/orders.h"
#include "dbf/settings.h"
#include "dbf_support.h"

namespace talvi::dbf {
namespace {

struct Rec {
  std::string name;  // padded to 60
  double qty = 0;
  bool deleted = false;
};

std::vector<std::uint32_t> WalkOrder(WorkArea& a) {
  std::vector<std::uint32_t> out;
  EXPECT_TRUE(a.GoTop());
  while (!a.Eof() && out.size() < 100000) {
    out.push_back(a.RecNo());
    if (!a.Skip(1)) break;
  }
  return out;
}

class OrderModel : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override { Engine().driver = GetParam(); }
  void TearDown() override { Engine().driver = "DBFCDX"; }
};

TEST_P(OrderModel, RandomChangesKeepEveryOrderLikeTheModel) {
  talvi::testing::TempDir dir;
  testing::ErrorLog log;
  Workspace().CloseAll();
  const std::string path = dir / "M.DBF";
  ASSERT_TRUE(Table::Create(path, {{"NAME", 'C', 60, 0}, {"QTY", 'N', 6, 0}}));
  ASSERT_TRUE(Workspace().Use(path, "", {.shared = false}));
  WorkArea& a = Workspace().Current();
  Orders& o = a.orders();
  // NTX: a file per order; CDX: four tags of one file (named so that they
  // keep the same numbers).
  const bool cdx = std::string(GetParam()) == "DBFCDX";
  const auto bag = [&](const char* name) { return cdx ? dir / "ALL" : dir / name; };
  ASSERT_TRUE(o.Create({.bag_path = bag("PLAIN"), .tag = "A_PLAIN", .key = "NAME"}));
  ASSERT_TRUE(o.Create({.bag_path = bag("UNIQ"), .tag = "B_UNIQ", .key = "NAME", .unique = true}));
  ASSERT_TRUE(
      o.Create({.bag_path = bag("DQTY"), .tag = "C_DQTY", .key = "QTY", .descending = true}));
  ASSERT_TRUE(
      o.Create({.bag_path = bag("POS"), .tag = "D_POS", .key = "NAME", .condition = "QTY > 0"}));
  ASSERT_EQ(o.count(), 4);
  std::vector<Rec> recs(1);  // 1-based
  // The unique order keeps the record that first had a key until it leaves.
  std::map<std::string, std::uint32_t> uniq;
  std::mt19937 rng(77);
  auto name = [&] {
    std::string s;
    for (int i = 0, n = 1 + static_cast<int>(rng() % 3); i < n; ++i) {
      s += static_cast<char>('a' + rng() % 8);
    }
    s.resize(60, ' ');
    return s;
  };
  auto expected = [&](int order) {
    std::vector<std::pair<std::pair<std::string, double>, std::uint32_t>> v;
    for (std::uint32_t r = 1; r < recs.size(); ++r) {
      const Rec& x = recs[r];
      if (x.deleted) continue;
      if (order == 2 && uniq.count(x.name) && uniq[x.name] != r) continue;
      if (order == 2 && !uniq.count(x.name)) continue;
      if (order == 4 && !(x.qty > 0)) continue;
      v.push_back({{order == 3 ? std::string() : x.name, order == 3 ? x.qty : 0}, r});
    }
    std::sort(v.begin(), v.end());
    if (order == 3) std::reverse(v.begin(), v.end());
    std::vector<std::uint32_t> out;
    for (auto& e : v) out.push_back(e.second);
    return out;
  };
  auto set_name = [&](std::uint32_t r, const std::string& n) {
    const std::string old = recs[r].name;
    ASSERT_TRUE(a.Put("NAME", Value::Character(n)));
    ASSERT_TRUE(a.Commit());
    if (old == n) return;
    if (!old.empty() && uniq.count(old) && uniq[old] == r) uniq.erase(old);
    if (!uniq.count(n)) uniq[n] = r;
    recs[r].name = n;
  };
  for (int step = 0; step < 1500; ++step) {
    const auto op = rng() % 10;
    ASSERT_TRUE(o.SetCurrent(0));
    if (op < 5 || recs.size() < 10) {
      ASSERT_TRUE(a.AppendBlank());
      const std::uint32_t r = a.RecNo();
      recs.push_back(Rec{});
      const std::string blank(60, ' ');
      recs[r].name = blank;
      if (!uniq.count(blank)) uniq[blank] = r;
      const double q = static_cast<double>(static_cast<int>(rng() % 200) - 100);
      ASSERT_TRUE(a.Put("QTY", Value::Numeric(q)));
      recs[r].qty = q;
      ASSERT_NO_FATAL_FAILURE(set_name(r, name()));
    } else {
      const auto r = static_cast<std::uint32_t>(1 + rng() % (recs.size() - 1));
      ASSERT_TRUE(a.GoTo(r));
      if (op < 8) {
        ASSERT_NO_FATAL_FAILURE(set_name(r, name()));
      } else if (op == 8) {
        ASSERT_TRUE(a.Delete());
        recs[r].deleted = true;
      } else {
        ASSERT_TRUE(a.Recall());
        recs[r].deleted = false;
      }
      ASSERT_TRUE(a.Commit());
    }
    // A seek in the plain order after every step.
    ASSERT_TRUE(o.SetCurrent(1));
    const std::string probe = name().substr(0, 2);
    ASSERT_TRUE(a.Seek(Value::Character(probe), true));
    const auto plain = expected(1);
    std::uint32_t want = 0;
    for (std::uint32_t r : plain) {
      if (recs[r].name.compare(0, probe.size(), probe) >= 0) {
        want = r;
        break;
      }
    }
    ASSERT_EQ(a.Eof() ? 0u : a.RecNo(), want) << "step " << step << " probe " << probe;
    ASSERT_EQ(a.Found(), want != 0 && recs[want].name.compare(0, 2, probe) == 0);
    if (step % 50 == 0 || step > 1490) {
      for (int k = 1; k <= 4; ++k) {
        ASSERT_TRUE(o.SetCurrent(k));
        ASSERT_EQ(WalkOrder(a), expected(k)) << "order " << k << " step " << step;
        ASSERT_EQ(a.Count(), expected(k).size());
      }
    }
  }
  int depth = 0;
  if (auto* ntx = dynamic_cast<NtxFile*>(o.At(1)->tree)) {
    ASSERT_TRUE(ntx->Depth(depth));
  } else {
    auto* tag = dynamic_cast<CdxTag*>(o.At(1)->tree);
    ASSERT_NE(tag, nullptr);
    ASSERT_TRUE(tag->Depth(depth));
  }
  EXPECT_GE(depth, 3);
  // Pack rebuilds: the deleted records go, the orders follow the new numbers.
  ASSERT_TRUE(a.Pack());
  std::vector<Rec> kept(1);
  for (std::size_t r = 1; r < recs.size(); ++r) {
    if (!recs[r].deleted) kept.push_back(recs[r]);
  }
  recs = kept;
  ASSERT_TRUE(o.SetCurrent(4));
  EXPECT_EQ(WalkOrder(a), expected(4));
  EXPECT_TRUE(log.empty());
  Workspace().CloseAll();
}

INSTANTIATE_TEST_SUITE_P(Drivers, OrderModel, ::testing::Values("DBFNTX", "DBFCDX"));

}  // namespace
}  // namespace talvi::dbf
