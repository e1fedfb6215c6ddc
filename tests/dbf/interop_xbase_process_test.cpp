// SPDX-License-Identifier: MIT
// NTX files between the engine and Debian's libxbase64 (its 32-bit build,
// driven through tests/dbf/xbase32/xbase_ntx): the engine reads, checks and
// keeps up to date the files libxbase64 writes, and libxbase64 finds every
// key of the files the engine writes and walks them in the engine's order.
// Character keys only, and libxbase64 does not add keys to the engine's
// files: its numeric keys and its split of a full page are wrong (see
// src/dbf/README.md, "libxbase64").
//
// libxbase64's walk (GetFirstKey/GetNextKey) passes over the entries that
// stand in inner pages, in its own files as in ours: in this B-tree those
// are real entries. The walk is checked for exactly that: the engine's
// order less the inner-page entries read from the file here.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>

#include "command_output.h"
#include "dbf/areas.h"
#include "dbf/orders.h"
#include "dbf/settings.h"
#include "dbf_support.h"

namespace talvi::dbf {
namespace {

#if defined(TALVI_XBASE32_TOOL) && defined(TALVI_DBF_TOOL)

using Output = testing::CommandOutput;

Output Xbase(const std::string& args) {
  return testing::RunCommand(std::string(TALVI_XBASE32_TOOL) + " " + args + " 2>&1");
}

// talvi-dbf check: 0 when every order has exactly the keys of its records.
int Check(const std::string& table, const std::vector<std::string>& indexes) {
  std::string cmd = std::string(TALVI_DBF_TOOL) + " check '" + table + "'";
  for (const std::string& index : indexes) cmd += " '" + index + "'";
  const int status = std::system((cmd + " >/dev/null 2>&1").c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The keys of record i, as the tool makes them.
std::string Name(long i) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "K%09ld", static_cast<long>((i * 7919LL) % 1000003));
  return buf;
}
long Num(long i) {
  return static_cast<long>((i * 104729LL) % 1000033);
}

using Entry = std::pair<std::string, std::uint32_t>;  // key, record number

// "recno key" lines of the tool's walk.
std::vector<Entry> Walked(const std::string& out) {
  std::vector<Entry> v;
  std::istringstream in(out);
  std::uint32_t recno;
  std::string key;
  while (in >> recno >> key) v.emplace_back(key, recno);
  return v;
}

// The entries of an NTX file that stand in inner pages, read here from the
// file itself (every page that has a left child is an inner page).
std::set<Entry> InnerEntries(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  const std::string file((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  const auto u16 = [&](std::size_t at) {
    return static_cast<unsigned>(static_cast<unsigned char>(file.at(at)) |
                                 static_cast<unsigned char>(file.at(at + 1)) << 8);
  };
  const auto u32 = [&](std::size_t at) { return u16(at) | u16(at + 2) << 16; };
  const unsigned key_size = u16(14), max_items = u16(18);
  std::set<Entry> inner;
  std::vector<std::size_t> pages{u32(4)};
  std::set<std::size_t> seen;
  while (!pages.empty()) {
    const std::size_t page = pages.back();
    pages.pop_back();
    if (page == 0 || !seen.insert(page).second || page + 1024 > file.size()) continue;
    const unsigned n = u16(page);
    for (unsigned i = 0; i <= n && i <= max_items; ++i) {
      const std::size_t item = page + u16(page + 2 + 2 * i);
      const std::size_t child = u32(item);
      if (child == 0) continue;
      pages.push_back(child);
      if (i < n) {
        std::string key = file.substr(item + 8, key_size);
        key.erase(key.find_last_not_of(' ') + 1);
        inner.emplace(key, u32(item + 4));
      }
    }
  }
  return inner;
}

// The engine's order of the index, as (key without trailing blanks, recno).
std::vector<Entry> EngineOrder(Order& o) {
  std::vector<Entry> v;
  EXPECT_TRUE(o.tree->Walk([&](const IndexEntry& e) {
    std::string key = e.key;
    key.erase(key.find_last_not_of(' ') + 1);
    v.emplace_back(key, e.recno);
    return true;
  }));
  return v;
}

std::vector<Entry> Without(const std::vector<Entry>& all, const std::set<Entry>& out) {
  std::vector<Entry> v;
  for (const Entry& e : all) {
    if (out.count(e) == 0) v.push_back(e);
  }
  return v;
}

// libxbase64's seek of every record's NAME lands on that record ("recno
// found-recno" lines, keys unique).
void ExpectFindsEveryRecord(const std::string& table, const std::string& index, long records) {
  const Output found = Xbase("find '" + table + "' '" + index + "'");
  ASSERT_EQ(found.code, 0) << found.out.substr(0, 400);
  std::istringstream in(found.out);
  long r, at, lines = 0, wrong = 0;
  while (in >> r >> at) {
    ++lines;
    wrong += r != at ? 1 : 0;
  }
  EXPECT_EQ(lines, records);
  EXPECT_EQ(wrong, 0) << found.out.substr(0, 400);
}

class XbaseNtxTest : public ::testing::Test {
 protected:
  void SetUp() override { Engine().driver = "DBFNTX"; }
  void TearDown() override {
    Workspace().CloseAll();
    Engine().driver = "DBFCDX";
  }
  // The engine's order of `index`, opened into `table` (exclusively).
  std::vector<Entry> Order(const std::string& table, const std::string& index) {
    Workspace().CloseAll();
    EXPECT_TRUE(Workspace().Use(table, "", {.shared = false}));
    EXPECT_TRUE(Workspace().Current().orders().Open(index));
    std::vector<Entry> v = EngineOrder(*Workspace().Current().orders().At(1));
    Workspace().CloseAll();
    return v;
  }
  talvi::testing::TempDir dir_;
  testing::ErrorLog log_;
};

TEST_F(XbaseNtxTest, TheEngineReadsAndKeepsWhatLibxbaseWrites) {
  const std::string table = dir_ / "XB.DBF", index = dir_ / "XB.NTX";
  const Output made = Xbase("make '" + table + "' '" + index + "' 3000");
  ASSERT_EQ(made.code, 0) << made.out;
  EXPECT_EQ(Check(table, {index}), 0);

  // The engine's order is the table's keys sorted, and its seeks land.
  std::vector<Entry> sorted;
  for (long i = 1; i <= 3000; ++i) sorted.emplace_back(Name(i), static_cast<std::uint32_t>(i));
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(Order(table, index), sorted);

  // libxbase64 walks its own file less its inner-page entries, which are
  // there (the engine's order above has them all).
  const std::set<Entry> inner = InnerEntries(index);
  EXPECT_FALSE(inner.empty());
  const Output walked = Xbase("walk '" + table + "' '" + index + "'");
  ASSERT_EQ(walked.code, 0) << walked.out.substr(0, 400);
  EXPECT_EQ(Walked(walked.out), Without(sorted, inner));

  // The engine appends, rewrites keys and deletes with libxbase64's file
  // open; the file stays right for both.
  ASSERT_TRUE(Workspace().Use(table, "", {.shared = false}));
  WorkArea& a = Workspace().Current();
  ASSERT_TRUE(a.orders().Open(index));
  for (long i = 3001; i <= 3400; ++i) {
    ASSERT_TRUE(a.AppendBlank());
    ASSERT_TRUE(a.Put("NAME", Value::Character(Name(i))));
    ASSERT_TRUE(a.Put("NUM", Value::Numeric(static_cast<double>(Num(i)))));
  }
  for (std::uint32_t r = 7; r <= 3000; r += 17) {
    ASSERT_TRUE(a.GoTo(r));
    ASSERT_TRUE(a.Put("NAME", Value::Character("Z" + std::to_string(100000000 + r))));
  }
  ASSERT_TRUE(a.Commit());
  for (std::uint32_t r : {7u, 11u, 2999u, 3400u}) {
    ASSERT_TRUE(a.GoTo(r));
    const Value name = a.Get("NAME");
    ASSERT_TRUE(a.Seek(name));
    EXPECT_TRUE(a.Found()) << name.str();
    EXPECT_EQ(a.RecNo(), r);
  }
  Workspace().CloseAll();
  EXPECT_EQ(Check(table, {index}), 0);
  ExpectFindsEveryRecord(table, index, 3400);
  EXPECT_TRUE(log_.empty());
}

TEST_F(XbaseNtxTest, LibxbaseFindsAndWalksWhatTheEngineWrites) {
  const std::string table = dir_ / "EN.DBF", index = dir_ / "BYNAME.NTX";
  const std::string num = dir_ / "BYNUM.NTX";
  ASSERT_TRUE(Table::Create(table, {{"NAME", 'C', 10, 0}, {"NUM", 'N', 10, 0}}));
  Workspace().CloseAll();
  ASSERT_TRUE(Workspace().Use(table, "", {.shared = false}));
  WorkArea& a = Workspace().Current();
  for (long i = 1; i <= 5000; ++i) {
    ASSERT_TRUE(a.AppendBlank());
    ASSERT_TRUE(a.Put("NAME", Value::Character(Name(i))));
    ASSERT_TRUE(a.Put("NUM", Value::Numeric(static_cast<double>(Num(i)))));
  }
  ASSERT_TRUE(a.Commit());
  ASSERT_TRUE(a.orders().Create({.bag_path = index, .tag = "BYNAME", .key = "NAME"}));
  ASSERT_TRUE(a.orders().Create({.bag_path = num, .tag = "BYNUM", .key = "NUM"}));
  Workspace().CloseAll();

  ExpectFindsEveryRecord(table, index, 5000);
  const std::set<Entry> inner = InnerEntries(index);
  EXPECT_FALSE(inner.empty());
  const Output walked = Xbase("walk '" + table + "' '" + index + "'");
  ASSERT_EQ(walked.code, 0) << walked.out.substr(0, 400);
  EXPECT_EQ(Walked(walked.out), Without(Order(table, index), inner));

  EXPECT_TRUE(log_.empty());
}

#else

TEST(XbaseNtxTest, NeedsThe32BitLibrary) {
  GTEST_SKIP() << "libxbase64's i386 build is not unpacked here (scripts/setup.sh fetches it)";
}

#endif

}  // namespace
}  // namespace talvi::dbf
