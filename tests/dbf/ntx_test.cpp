// SPDX-License-Identifier: MIT
// NTX files: the fixture written by another tool, a randomized model test
// of inserts and removals deep enough for three tree levels, reopening,
// unique files and corrupt or cyclic pages.
#include "dbf/ntx.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <set>

#include "dbf/codes.h"
#include "dbf_support.h"

namespace talvi::dbf {
namespace {

using talvi::testing::ReadBytes;
using talvi::testing::WriteBytes;

std::string Trim(std::string s) {
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

std::vector<IndexEntry> All(IndexTree& t) {
  std::vector<IndexEntry> out;
  EXPECT_TRUE(t.Walk([&](const IndexEntry& e) {
    out.push_back(e);
    return true;
  }));
  return out;
}

TEST(NtxFixture, ReadsAsTheOtherToolWroteIt) {
  talvi::testing::TempDir dir;
  TALVI_NEED_FIXTURE(from, dir, "ntx-perl-char");
  testing::ErrorLog log;
  auto ntx = NtxFile::Open(from + "/ntx-char.ntx", true, true);
  ASSERT_TRUE(ntx);
  const NtxHeader& h = ntx->header();
  EXPECT_EQ(h.signature, 6);
  EXPECT_EQ(h.version, 25);
  EXPECT_EQ(h.root, 7168u);
  EXPECT_EQ(h.key_size, 78);
  EXPECT_EQ(h.max_items, 10);
  EXPECT_EQ(h.half_page, 5);
  EXPECT_EQ(h.key_expr, "ntx_char->v1");
  EXPECT_FALSE(h.unique);
  const std::string want =
      "1:4 1:20 1:32 1:48 10:1 10:11 10:29 10:39 15:7 15:35 1w:57 1z:27 1z:55 2:9 2:19 2:37 "
      "2:47 2h:26 2h:54 2w:58 2z:28 2z:56 3:5 3:18 3:33 3:46 3a:21 3a:49 3w:59 4:10 4:17 4:38 "
      "4:45 4e:24 4e:52 4w:60 5:6 5:16 5:34 5:44 5b:22 5b:50 5w:61 6:3 6:15 6:31 6:43 6g:25 "
      "6g:53 6w:62 7:8 7:14 7:36 7:42 7w:63 7w:64 8:2 8:13 8:30 8:41 8d:23 8d:51 8w:65 9:12 "
      "9:40 9g:66 9h:67 9w:68";
  std::string got;
  for (const auto& e : All(*ntx)) {
    got += (got.empty() ? "" : " ") + Trim(e.key) + ":" + std::to_string(e.recno);
  }
  EXPECT_EQ(got, want);
  int depth = 0;
  EXPECT_TRUE(ntx->Depth(depth));
  EXPECT_EQ(depth, 2);
  // Seeks: the first "2", the first after all "1z", the last "8", prefix "9g".
  std::optional<IndexEntry> f;
  ASSERT_TRUE(ntx->SeekForward({"2 ", 0}, false, f));
  ASSERT_TRUE(f);
  EXPECT_EQ(f->recno, 9u);
  ASSERT_TRUE(ntx->SeekForward({"1z", 0}, true, f));
  ASSERT_TRUE(f);
  EXPECT_EQ(Trim(f->key), "2");
  ASSERT_TRUE(ntx->SeekBackward({"8 ", 0}, false, f));
  ASSERT_TRUE(f);
  EXPECT_EQ(f->recno, 41u);
  ASSERT_TRUE(ntx->SeekForward({"9g", 0}, false, f));
  ASSERT_TRUE(f);
  EXPECT_EQ(f->recno, 66u);
  EXPECT_TRUE(log.empty());
}

// The model: a sorted set of (key, recno). After every step the tree walks
// the same, and random seeks agree.
struct ModelFixture {
  talvi::testing::TempDir dir;
  std::string path = dir / "M.NTX";
  std::set<std::pair<std::string, std::uint32_t>> model;

  void CheckSame(NtxFile& ntx) {
    const auto got = All(ntx);
    ASSERT_EQ(got.size(), model.size());
    std::size_t i = 0;
    for (const auto& [k, r] : model) {
      ASSERT_EQ(got[i].key, k) << i;
      ASSERT_EQ(got[i].recno, r) << i;
      ++i;
    }
  }
};

std::string RandomKey(std::mt19937& rng, std::size_t width) {
  std::string k;
  const std::size_t len = 1 + rng() % width;
  for (std::size_t i = 0; i < len; ++i) k += static_cast<char>('a' + rng() % 6);
  k.resize(width, ' ');
  return k;
}

TEST(NtxModel, RandomInsertsAndRemovalsAgreeWithASortedSet) {
  ModelFixture m;
  testing::ErrorLog log;
  NtxHeader h;
  h.key_size = 20;  // 36 items a page: three levels after about 1400 keys
  h.key_expr = "NAME";
  auto ntx = NtxFile::Create(m.path, h);
  ASSERT_TRUE(ntx);
  std::mt19937 rng(1234);
  std::uint32_t next = 1;
  std::vector<std::pair<std::string, std::uint32_t>> live;
  int max_depth = 0;
  for (int step = 0; step < 6000; ++step) {
    const bool grow = step < 3500 ? rng() % 5 != 0 : rng() % 3 == 0;
    if (grow || live.empty()) {
      std::string k = RandomKey(rng, 6);
      k.resize(20, ' ');
      bool added = false;
      ASSERT_TRUE(ntx->Insert({k, next}, &added));
      ASSERT_TRUE(added);
      m.model.insert({k, next});
      live.push_back({k, next});
      ++next;
    } else {
      const std::size_t at = rng() % live.size();
      bool removed = false;
      ASSERT_TRUE(ntx->Remove({live[at].first, live[at].second}, &removed));
      ASSERT_TRUE(removed);
      m.model.erase(live[at]);
      live[at] = live.back();
      live.pop_back();
    }
    if (step % 97 == 0 || step > 5900) {
      ASSERT_NO_FATAL_FAILURE(m.CheckSame(*ntx));
    }
    int d = 0;
    ASSERT_TRUE(ntx->Depth(d));
    max_depth = std::max(max_depth, d);
    // A random seek: soft forward, strict forward, backward, prefix.
    const std::string probe = RandomKey(rng, 4);
    std::optional<IndexEntry> f;
    ASSERT_TRUE(ntx->SeekForward({probe, 0}, false, f));
    auto lb = m.model.lower_bound({probe, 0});
    ASSERT_EQ(f.has_value(), lb != m.model.end());
    if (f) {
      ASSERT_EQ(f->recno, lb->second);
    }
    ASSERT_TRUE(ntx->SeekBackward({probe, 0}, true, f));
    ASSERT_EQ(f.has_value(), lb != m.model.begin());
    if (f) {
      ASSERT_EQ(f->recno, std::prev(lb)->second);
    }
    const std::string prefix = probe.substr(0, 2);
    ASSERT_TRUE(ntx->SeekBackward({prefix, 0}, false, f));
    auto ub = m.model.lower_bound({prefix + "\xFF", 0});
    ASSERT_EQ(f.has_value(), ub != m.model.begin());
    if (f) {
      ASSERT_EQ(f->recno, std::prev(ub)->second);
    }
  }
  EXPECT_GE(max_depth, 3);
  // Reopened, the file holds the same; the free list is used again.
  const std::uint32_t free_before = ntx->header().free_list;
  ntx.reset();
  ntx = NtxFile::Open(m.path, false, false);
  ASSERT_TRUE(ntx);
  ASSERT_NO_FATAL_FAILURE(m.CheckSame(*ntx));
  if (free_before != 0) {
    const auto size = std::filesystem::file_size(m.path);
    for (int i = 0; i < 40; ++i) ASSERT_TRUE(ntx->Insert({RandomKey(rng, 6), next++}));
    EXPECT_EQ(std::filesystem::file_size(m.path), size);
  }
  // Removing everything leaves an empty one-page tree.
  for (const auto& e : All(*ntx)) ASSERT_TRUE(ntx->Remove(e));
  EXPECT_TRUE(All(*ntx).empty());
  int d = 0;
  ASSERT_TRUE(ntx->Depth(d));
  EXPECT_EQ(d, 1);
  EXPECT_TRUE(log.empty());
}

TEST(NtxModel, UniqueKeepsTheFirstRecordOfAKey) {
  talvi::testing::TempDir dir;
  testing::ErrorLog log;
  NtxHeader h;
  h.key_size = 4;
  h.unique = true;
  h.key_expr = "CODE";
  auto ntx = NtxFile::Create(dir / "U.NTX", h);
  ASSERT_TRUE(ntx);
  bool added = false;
  ASSERT_TRUE(ntx->Insert({"ab", 3}, &added));
  EXPECT_TRUE(added);
  ASSERT_TRUE(ntx->Insert({"ab  ", 1}, &added));
  EXPECT_FALSE(added);
  ASSERT_TRUE(ntx->Insert({"aa", 2}, &added));
  const auto all = All(*ntx);
  ASSERT_EQ(all.size(), 2u);
  EXPECT_EQ(all[1], (IndexEntry{"ab  ", 3}));
  ntx.reset();
  ntx = NtxFile::Open(dir / "U.NTX", true, true);
  ASSERT_TRUE(ntx);
  EXPECT_TRUE(ntx->header().unique);
  EXPECT_EQ(ntx->header().key_expr, "CODE");
  EXPECT_TRUE(log.empty());
}

// A file written in one go from unsorted keys: every size around the page
// boundaries walks in order (unique: the first record of a key), reads
// back after reopening, and then takes removals (borrowing and merging
// pages) and insertions like a file built key by key.
TEST(NtxModel, LoadedFilesWalkInOrderAndTakeChanges) {
  talvi::testing::TempDir dir;
  testing::ErrorLog log;
  NtxHeader h;
  h.key_size = 20;
  h.key_expr = "K";
  const std::uint16_t max = NtxMaxItems(h.key_size);
  std::mt19937 rng(77);
  const std::size_t m = max;
  for (const std::size_t n :
       std::vector<std::size_t>{0, 1, m, m + 1, 2 * m + 1, 2 * m + 2, 1500, 20000}) {
    for (const bool unique : {false, true}) {
      SCOPED_TRACE(std::to_string(n) + (unique ? " unique" : ""));
      h.unique = unique;
      const std::string path = dir / "L.NTX";
      auto ntx = NtxFile::Create(path, h);
      ASSERT_TRUE(ntx);
      std::vector<IndexEntry> in;
      std::set<std::pair<std::string, std::uint32_t>> model;
      std::map<std::string, std::uint32_t> firsts;
      for (std::uint32_t r = 1; r <= n; ++r) {
        std::string k = std::to_string(rng() % (n / 3 + 1));
        k.resize(20, ' ');
        in.push_back({k, r});
        firsts.emplace(k, r);
        if (!unique) model.insert({k, r});
      }
      if (unique) {
        for (const auto& [k, r] : firsts) model.insert({k, r});
      }
      std::shuffle(in.begin(), in.end(), rng);
      ASSERT_TRUE(ntx->Load(in));
      ntx.reset();
      ntx = NtxFile::Open(path, false, false);
      ASSERT_TRUE(ntx);
      const auto walk = [&] {
        std::vector<std::pair<std::string, std::uint32_t>> v;
        for (const auto& e : All(*ntx)) v.emplace_back(e.key, e.recno);
        return v;
      };
      ASSERT_EQ(walk(),
                (std::vector<std::pair<std::string, std::uint32_t>>(model.begin(), model.end())));
      int depth = 0;
      ASSERT_TRUE(ntx->Depth(depth));
      // The fewest levels: d full levels hold (max + 1)^d - 1 entries.
      int fewest = 1;
      for (std::size_t cap = max + 1u; cap < model.size() + 1; cap *= max + 1u) ++fewest;
      EXPECT_EQ(depth, fewest);
      for (int i = 0; i < 40 && !model.empty(); ++i) {
        const std::string probe = std::to_string(rng() % (n / 3 + 1));
        std::optional<IndexEntry> f;
        ASSERT_TRUE(ntx->SeekForward({probe, 0}, false, f));
        const auto lb = model.lower_bound({probe, 0});
        ASSERT_EQ(f.has_value(), lb != model.end());
        if (f) {
          EXPECT_EQ(f->recno, lb->second);
        }
      }
      // Most keys out again, at random, and new ones in.
      std::vector<std::pair<std::string, std::uint32_t>> live(model.begin(), model.end());
      std::shuffle(live.begin(), live.end(), rng);
      for (std::size_t i = 0; i < live.size() * 9 / 10; ++i) {
        bool removed = false;
        ASSERT_TRUE(ntx->Remove({live[i].first, live[i].second}, &removed));
        ASSERT_TRUE(removed);
        model.erase(live[i]);
        if (i % 4 == 0) {
          std::string k = "x" + std::to_string(i);
          k.resize(20, ' ');
          ASSERT_TRUE(ntx->Insert({k, 100000u + static_cast<std::uint32_t>(i)}));
          model.insert({k, 100000u + static_cast<std::uint32_t>(i)});
        }
      }
      ASSERT_EQ(walk(),
                (std::vector<std::pair<std::string, std::uint32_t>>(model.begin(), model.end())));
    }
  }
  EXPECT_TRUE(log.empty());
}

// Damaged files: every one is a corruption error object, never a crash or
// an endless walk.
TEST(NtxCorrupt, CyclesAndBadPagesAreCorruptionErrors) {
  talvi::testing::TempDir dir;
  TALVI_NEED_FIXTURE(from, dir, "ntx-perl-char");
  const std::string good = ReadBytes(from + "/ntx-char.ntx");
  auto with = [&](std::size_t at, std::initializer_list<unsigned char> bytes) {
    std::string b = good;
    std::size_t i = at;
    for (unsigned char c : bytes) b[i++] = static_cast<char>(c);
    WriteBytes(dir / "X.NTX", b);
    return dir / "X.NTX";
  };
  struct Case {
    const char* what;
    std::size_t at;
    std::initializer_list<unsigned char> bytes;
  };
  // Root 7168 holds slot offsets at 7170...; its first item is at 7168+24.
  const Case cases[] = {
      {"root beyond the file", 4, {0, 0, 1, 0}},
      {"root child is the root", 7168 + 24, {0, 0x1C, 0, 0}},
      {"leaf points back at the root", 1024 + 24, {0, 0x1C, 0, 0}},
      {"key count beyond max", 7168, {200, 0}},
      {"slot offset out of page", 7170, {0xF0, 0x03}},
      {"child not on a page boundary", 7168 + 24, {5, 0x04, 0, 0}},
  };
  for (const auto& c : cases) {
    testing::ErrorLog log;
    auto ntx = NtxFile::Open(with(c.at, c.bytes), false, true);
    bool ok = ntx != nullptr;
    if (ntx) {
      std::size_t n = 0;
      ok = ntx->Walk([&](const IndexEntry&) { return ++n < 1000; });
      std::optional<IndexEntry> f;
      ok = ntx->SeekForward({"9w", 0}, false, f) && ok;
      ok = ntx->SeekBackward({"1", 0}, false, f) && ok;
    }
    EXPECT_FALSE(ok) << c.what;
    ASSERT_FALSE(log.empty()) << c.what;
    EXPECT_EQ(log.last().GENCODE, kGenCorruption) << c.what;
    EXPECT_EQ(log.last().SUBCODE, kSubCorrupt) << c.what;
  }
}

// The minimum fill comes from the header: a file that names more than
// half a page must not make two pages merge into more than one holds.
TEST(NtxCorrupt, AFillOfMoreThanHalfAPageIsNotTrusted) {
  ModelFixture m;
  testing::ErrorLog log;
  NtxHeader h;
  h.key_size = 20;  // 36 items a page
  h.key_expr = "NAME";
  auto ntx = NtxFile::Create(m.path, h);
  ASSERT_TRUE(ntx);
  std::mt19937 rng(99);
  for (std::uint32_t r = 1; r <= 300; ++r) {
    const std::string k = RandomKey(rng, 20);
    ASSERT_TRUE(ntx->Insert({k, r}));
    m.model.insert({k, r});
  }
  ntx.reset();
  std::string bytes = ReadBytes(m.path);
  bytes[20] = 36;  // half page = max items
  bytes[21] = 0;
  WriteBytes(m.path, bytes);
  ntx = NtxFile::Open(m.path, false, false);
  ASSERT_TRUE(ntx);
  while (!m.model.empty()) {
    const auto e = *std::next(m.model.begin(), static_cast<long>(rng() % m.model.size()));
    bool removed = false;
    ASSERT_TRUE(ntx->Remove({e.first, e.second}, &removed));
    ASSERT_TRUE(removed);
    m.model.erase(e);
    if (m.model.size() % 50 == 0) {
      ASSERT_NO_FATAL_FAILURE(m.CheckSame(*ntx));
    }
  }
  EXPECT_TRUE(log.empty());
}

}  // namespace
}  // namespace talvi::dbf
