// SPDX-License-Identifier: MIT
// CDX files: the fixtures written by other tools read as their notes say
// (tags, expressions, flags, keys in order with record numbers); files
// written here hold random inserts and removals like a sorted model, deep
// enough for three levels, reuse freed nodes, and read back after a
// reopen; damaged files end in a corruption error, never a hang.
#include "dbf/cdx.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <sstream>

#include "dbf/codes.h"
#include "dbf/index_key.h"
#include "dbf_support.h"

namespace talvi::dbf {
namespace {

std::string Trim(std::string s) {
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

std::vector<std::pair<std::string, std::uint32_t>> Keys(CdxTag& t) {
  std::vector<std::pair<std::string, std::uint32_t>> out;
  EXPECT_TRUE(t.Walk([&](const IndexEntry& e) {
    out.emplace_back(Trim(e.key), e.recno);
    return true;
  }));
  return out;
}

std::vector<std::uint32_t> Recnos(CdxTag& t) {
  std::vector<std::uint32_t> out;
  for (auto& k : Keys(t)) out.push_back(k.second);
  return out;
}

class CdxTest : public ::testing::Test {
 protected:
  talvi::testing::TempDir dir_;
  testing::ErrorLog log_;
};

TEST_F(CdxTest, RoomsFixtureTagsExpressionsAndKeys) {
  TALVI_NEED_FIXTURE(d, dir_, "cdx-perl-rooms");
  auto cdx = CdxFile::Open(d + "/rooms.cdx", false, true);
  ASSERT_NE(cdx, nullptr);
  std::vector<std::string> names;
  for (auto& t : cdx->tags()) names.push_back(t->info().name);
  EXPECT_EQ(names, (std::vector<std::string>{"AUDIO", "FACILITY", "FILM", "MAIN", "ROOMNAME"}));
  CdxTag* audio = cdx->Tag("AUDIO");
  ASSERT_NE(audio, nullptr);
  EXPECT_EQ(audio->header(), 4608u);
  EXPECT_EQ(audio->info().keyExpr, "roomname");
  EXPECT_EQ(audio->info().forExpr, "TRIM(UPPER(facility))==\"AUDIO\"");
  EXPECT_EQ(audio->info().keyLength, 10);
  EXPECT_FALSE(audio->info().unique);
  EXPECT_FALSE(audio->info().descending);
  EXPECT_EQ(cdx->Tag("ROOMNAME")->info().forExpr, "");
  EXPECT_EQ(cdx->Tag("MAIN")->info().forExpr, "TRIM(UPPER(facility))==\"MAIN\"");
  EXPECT_EQ(Recnos(*audio),
            (std::vector<std::uint32_t>{23, 28, 24, 18, 19, 20, 21, 22, 33, 34, 35, 39, 25}));
  EXPECT_EQ(Recnos(*cdx->Tag("FILM")), (std::vector<std::uint32_t>{36, 37, 29, 30, 31, 32}));
  EXPECT_EQ(Recnos(*cdx->Tag("MAIN")),
            (std::vector<std::uint32_t>{40, 41, 2,  4,  8,  9,  5,  7,  11, 10, 6,
                                        13, 3,  14, 15, 16, 17, 26, 27, 12, 38}));
  const auto room = Keys(*cdx->Tag("ROOMNAME"));
  ASSERT_EQ(room.size(), 42u);
  EXPECT_EQ(room[0], (std::pair<std::string, std::uint32_t>{"", 42}));
  EXPECT_EQ(room[1], (std::pair<std::string, std::uint32_t>{" None", 1}));
  EXPECT_EQ(room[2], (std::pair<std::string, std::uint32_t>{"ADR-Foley", 23}));
  EXPECT_EQ(room[5], (std::pair<std::string, std::uint32_t>{"Bay  1", 2}));
  EXPECT_EQ(room[41], (std::pair<std::string, std::uint32_t>{"Transfer", 25}));
  const auto fac = Keys(*cdx->Tag("FACILITY"));
  ASSERT_EQ(fac.size(), 42u);
  EXPECT_EQ(fac[0], (std::pair<std::string, std::uint32_t>{"", 1}));
  EXPECT_EQ(fac[1], (std::pair<std::string, std::uint32_t>{"", 42}));
  EXPECT_EQ(fac[15], (std::pair<std::string, std::uint32_t>{"Film", 29}));
  EXPECT_EQ(fac[41], (std::pair<std::string, std::uint32_t>{"Main", 41}));
  // Seeks as the source test states them: Celco, and the absent Celca.
  CdxTag& rn = *cdx->Tag("ROOMNAME");
  std::optional<IndexEntry> e;
  ASSERT_TRUE(rn.SeekForward(KeyProbe{"Celco", 0}, false, e));
  ASSERT_TRUE(e);
  EXPECT_EQ(e->recno, 37u);
  ASSERT_TRUE(rn.SeekForward(KeyProbe{"Celca", 0}, false, e));
  ASSERT_TRUE(e);
  EXPECT_EQ(e->recno, 37u);
  ASSERT_TRUE(cdx->Tag("FACILITY")->SeekForward(KeyProbe{"Film", 0}, false, e));
  ASSERT_TRUE(e);
  EXPECT_EQ(e->recno, 29u);
  EXPECT_TRUE(log_.empty());
}

TEST_F(CdxTest, VisualFoxProFixturesIntegerAndLongCharacterKeys) {
  TALVI_NEED_FIXTURE(c, dir_, "cdx-vfp-contacts");
  auto cdx = CdxFile::Open(c + "/contacts.CDX", false, true);
  ASSERT_NE(cdx, nullptr);
  ASSERT_EQ(cdx->tags().size(), 2u);
  CdxTag* id = cdx->Tag("CONTACT_ID");
  CdxTag* type = cdx->Tag("TYPE_ID");
  ASSERT_TRUE(id && type);
  EXPECT_EQ(id->info().keyExpr, "contact_id");
  EXPECT_EQ(type->info().keyExpr, "contact_type_id");
  EXPECT_EQ(id->info().keyLength, 4);
  id->SetKeyType('I');
  type->SetKeyType('I');
  std::vector<std::pair<std::string, std::uint32_t>> ids;
  ASSERT_TRUE(id->Walk([&](const IndexEntry& e) {
    ids.emplace_back(e.key, e.recno);
    return true;
  }));
  ASSERT_EQ(ids.size(), 5u);
  for (std::uint32_t i = 0; i < 5; ++i) {
    EXPECT_EQ(ids[i].first, std::string("\x80\0\0", 3) + static_cast<char>(i + 1));
    EXPECT_EQ(ids[i].second, i + 1);
  }
  EXPECT_EQ(Recnos(*type), (std::vector<std::uint32_t>{2, 4, 5, 1, 3}));

  TALVI_NEED_FIXTURE(s, dir_, "cdx-vfp-setup");
  auto setup = CdxFile::Open(s + "/setup.CDX", false, true);
  ASSERT_NE(setup, nullptr);
  ASSERT_EQ(setup->tags().size(), 1u);
  CdxTag& kn = *setup->tags()[0];
  EXPECT_EQ(kn.info().name, "KEY_NAME");
  EXPECT_EQ(kn.info().keyLength, 50);
  EXPECT_EQ(Keys(kn), (std::vector<std::pair<std::string, std::uint32_t>>{
                          {"CALLS", 1}, {"CONTACTS", 2}, {"CONTACT_TYPES", 3}}));
  EXPECT_TRUE(log_.empty());
}

}  // namespace
}  // namespace talvi::dbf

namespace talvi::dbf {
namespace {

// Random inserts and removals in two tags of one file, checked against a
// sorted model; the character tag has long keys so that it grows three
// levels, the numeric one keys of the ordered 8-byte form.
TEST_F(CdxTest, WrittenTreesFollowAModelAndReadBackAfterReopen) {
  const std::string path = dir_ / "T.CDX";
  auto cdx = CdxFile::Create(path);
  ASSERT_NE(cdx, nullptr);
  CdxTag* text = cdx->AddTag({.name = "TEXT", .keyExpr = "NAME", .keyLength = 60});
  CdxTag* num = cdx->AddTag(
      {.name = "NUM", .keyExpr = "QTY", .forExpr = "QTY > 0", .keyLength = 8, .type = 'N'});
  ASSERT_TRUE(text && num);
  std::set<std::pair<std::string, std::uint32_t>> textModel, numModel;
  std::mt19937 rng(5);
  const auto word = [&] {
    std::string s;
    for (int i = 0, n = 1 + static_cast<int>(rng() % 40); i < n; ++i) {
      s += static_cast<char>('a' + rng() % 3);
    }
    s.resize(60, ' ');
    return s;
  };
  for (std::uint32_t step = 1; step <= 6000; ++step) {
    if (rng() % 4 == 0 && !textModel.empty()) {
      auto it = textModel.begin();
      std::advance(it, rng() % textModel.size());
      bool removed = false;
      ASSERT_TRUE(text->Remove({it->first, it->second}, &removed));
      ASSERT_TRUE(removed);
      textModel.erase(it);
      auto jt = numModel.begin();
      std::advance(jt, rng() % numModel.size());
      ASSERT_TRUE(num->Remove({jt->first, jt->second}, &removed));
      ASSERT_TRUE(removed);
      numModel.erase(jt);
    } else {
      const std::string w = word();
      ASSERT_TRUE(text->Insert({w, step}));
      textModel.insert({w, step});
      const std::string n = OrderedDouble(static_cast<double>(static_cast<int>(rng() % 500)) - 250);
      ASSERT_TRUE(num->Insert({n, step}));
      numModel.insert({n, step});
    }
  }
  const auto all = [](CdxTag& t) {
    std::vector<std::pair<std::string, std::uint32_t>> v;
    EXPECT_TRUE(t.Walk([&](const IndexEntry& e) {
      v.emplace_back(e.key, e.recno);
      return true;
    }));
    return v;
  };
  const auto expect = [](const std::set<std::pair<std::string, std::uint32_t>>& m) {
    return std::vector<std::pair<std::string, std::uint32_t>>(m.begin(), m.end());
  };
  EXPECT_EQ(all(*text), expect(textModel));
  EXPECT_EQ(all(*num), expect(numModel));
  int depth = 0;
  ASSERT_TRUE(text->Depth(depth));
  EXPECT_GE(depth, 3);
  // Seeks: forward and backward, strict or not, with prefixes.
  for (int i = 0; i < 300; ++i) {
    std::string probe = word().substr(0, 1 + rng() % 4);
    std::optional<IndexEntry> f, b;
    ASSERT_TRUE(text->SeekForward(KeyProbe{probe, 0}, false, f));
    auto lo = std::find_if(textModel.begin(), textModel.end(), [&](const auto& e) {
      return e.first.compare(0, probe.size(), probe) >= 0;
    });
    ASSERT_EQ(f.has_value(), lo != textModel.end());
    if (f) {
      EXPECT_EQ(f->recno, lo->second);
    }
    ASSERT_TRUE(text->SeekBackward(KeyProbe{probe, 0}, true, b));
    ASSERT_EQ(b.has_value(), lo != textModel.begin());
    if (b) {
      EXPECT_EQ(b->recno, std::prev(lo)->second);
    }
  }
  // Removing everything and adding half of it again reuses freed nodes.
  const auto size = std::filesystem::file_size(path);
  for (const auto& e : textModel) ASSERT_TRUE(text->Remove({e.first, e.second}));
  ASSERT_TRUE(text->Depth(depth));
  EXPECT_EQ(depth, 1);
  EXPECT_TRUE(all(*text).empty());
  std::size_t i = 0;
  for (const auto& e : textModel) {
    if (i++ % 2 == 0) {
      ASSERT_TRUE(text->Insert({e.first, e.second}));
    }
  }
  EXPECT_EQ(std::filesystem::file_size(path), size);
  i = 0;
  for (const auto& e : textModel) {
    if (i++ % 2 == 1) {
      ASSERT_TRUE(text->Insert({e.first, e.second}));
    }
  }
  cdx.reset();
  auto again = CdxFile::Open(path, true, true);
  ASSERT_NE(again, nullptr);
  ASSERT_EQ(again->tags().size(), 2u);
  EXPECT_EQ(again->tags()[0]->info().name, "NUM");
  EXPECT_EQ(again->tags()[0]->info().type, 'N');
  EXPECT_EQ(again->tags()[0]->info().forExpr, "QTY > 0");
  EXPECT_EQ(all(*again->Tag("TEXT")), expect(textModel));
  EXPECT_EQ(all(*again->Tag("NUM")), expect(numModel));
  EXPECT_TRUE(log_.empty());
}

// A tree written in one go from unsorted keys walks in order, takes
// changes afterwards like any other, and keeps one record per unique key.
TEST_F(CdxTest, LoadedTreesWalkInOrderAndTakeChanges) {
  auto cdx = CdxFile::Create(dir_ / "L.CDX");
  ASSERT_NE(cdx, nullptr);
  CdxTag* t = cdx->AddTag({.name = "T", .keyExpr = "K", .keyLength = 20});
  CdxTag* u = cdx->AddTag({.name = "U", .keyExpr = "K", .unique = true, .keyLength = 20});
  ASSERT_TRUE(t && u);
  std::mt19937 rng(9);
  std::vector<IndexEntry> in;
  std::set<std::pair<std::string, std::uint32_t>> model;
  std::map<std::string, std::uint32_t> firsts;
  for (std::uint32_t r = 1; r <= 20000; ++r) {
    std::string k = std::to_string(rng() % 5000);
    k.resize(20, ' ');
    in.push_back({k, r});
    model.insert({k, r});
    firsts.emplace(k, r);
  }
  std::shuffle(in.begin(), in.end(), rng);
  ASSERT_TRUE(t->Load(in));
  ASSERT_TRUE(u->Load(in));
  const auto all = [](CdxTag& tag) {
    std::vector<std::pair<std::string, std::uint32_t>> v;
    EXPECT_TRUE(tag.Walk([&](const IndexEntry& e) {
      v.emplace_back(e.key, e.recno);
      return true;
    }));
    return v;
  };
  EXPECT_EQ(all(*t),
            (std::vector<std::pair<std::string, std::uint32_t>>(model.begin(), model.end())));
  EXPECT_EQ(all(*u),
            (std::vector<std::pair<std::string, std::uint32_t>>(firsts.begin(), firsts.end())));
  int depth = 0;
  ASSERT_TRUE(t->Depth(depth));
  EXPECT_GE(depth, 3);
  for (int i = 0; i < 3000; ++i) {
    const auto& e = in[static_cast<std::size_t>(i)];
    ASSERT_TRUE(t->Remove({e.key, e.recno}));
    model.erase({e.key, e.recno});
    std::string k = "x" + std::to_string(i);
    k.resize(20, ' ');
    ASSERT_TRUE(t->Insert({k, 30000u + static_cast<std::uint32_t>(i)}));
    model.insert({k, 30000u + static_cast<std::uint32_t>(i)});
  }
  EXPECT_EQ(all(*t),
            (std::vector<std::pair<std::string, std::uint32_t>>(model.begin(), model.end())));
  EXPECT_TRUE(log_.empty());
}

TEST_F(CdxTest, UniqueTagsKeepTheFirstRecordOfAKey) {
  auto cdx = CdxFile::Create(dir_ / "U.CDX");
  ASSERT_NE(cdx, nullptr);
  CdxTag* u = cdx->AddTag({.name = "U", .keyExpr = "K", .unique = true, .keyLength = 4});
  ASSERT_NE(u, nullptr);
  bool added = false;
  ASSERT_TRUE(u->Insert({"ab", 3}, &added));
  EXPECT_TRUE(added);
  ASSERT_TRUE(u->Insert({"ab  ", 1}, &added));
  EXPECT_FALSE(added);
  ASSERT_TRUE(u->Insert({"a", 2}, &added));
  EXPECT_TRUE(added);
  EXPECT_EQ(Recnos(*u), (std::vector<std::uint32_t>{2, 3}));
}

// Damage that readers meet: a node whose children lead back to itself, a
// sibling chain that loops, counts beyond the node.
TEST_F(CdxTest, DamagedNodesAreCorruptionNotAHang) {
  const std::string path = dir_ / "D.CDX";
  {
    auto cdx = CdxFile::Create(path);
    ASSERT_NE(cdx, nullptr);
    CdxTag* t = cdx->AddTag({.name = "T", .keyExpr = "K", .keyLength = 100});
    std::mt19937 rng(3);
    for (std::uint32_t i = 1; i <= 40; ++i) {
      std::string k;
      for (int j = 0; j < 100; ++j) k += static_cast<char>('a' + rng() % 26);
      ASSERT_TRUE(t->Insert({k, i}));
    }
  }
  std::string bytes;
  {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    bytes = all.str();
  }
  const auto patch = [&](const std::function<void(std::string&, std::uint32_t)>& f) {
    std::string b = bytes;
    // The tag's header is the first one the directory names: find its root.
    const auto header = static_cast<std::uint32_t>(1536);
    const auto byte = [&](std::uint32_t i) {
      return static_cast<std::uint32_t>(static_cast<unsigned char>(b[header + i]));
    };
    const std::uint32_t root = byte(0) | byte(1) << 8 | byte(2) << 16;
    f(b, root);
    const std::string p = dir_ / "X.CDX";
    std::ofstream(p, std::ios::binary | std::ios::trunc) << b;
    return p;
  };
  const auto tryAll = [&](const std::string& p) {
    log_.clear();
    auto cdx = CdxFile::Open(p, false, true);
    if (!cdx) return;
    CdxTag* t = cdx->Tag("T");
    if (!t) return;
    std::optional<IndexEntry> e;
    int n = 0;
    t->Walk([&](const IndexEntry&) { return ++n < 100000; });
    t->SeekForward(KeyProbe{"9", 0}, false, e);
    t->SeekBackward(KeyProbe{"0", 0}, false, e);
    EXPECT_LT(n, 100000);
  };
  // Root (inner) whose first child is the root itself.
  tryAll(patch([](std::string& b, std::uint32_t root) {
    const std::size_t child = root + 12 + 100 + 4;
    b[child] = static_cast<char>(root >> 24);
    b[child + 1] = static_cast<char>(root >> 16);
    b[child + 2] = static_cast<char>(root >> 8);
    b[child + 3] = static_cast<char>(root);
  }));
  ASSERT_FALSE(log_.empty());
  EXPECT_EQ(log_.last().GENCODE, kGenCorruption);
  // A key count far beyond the node.
  tryAll(patch([](std::string& b, std::uint32_t root) { b[root + 2] = 90; }));
  ASSERT_FALSE(log_.empty());
  EXPECT_EQ(log_.last().GENCODE, kGenCorruption);
  log_.clear();
}

}  // namespace
}  // namespace talvi::dbf
