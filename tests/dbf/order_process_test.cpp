// SPDX-License-Identifier: MIT
// Two real processes share a table and its index (the structural CDX, or
// an NTX file under DBFNTX): one appends
// records and rewrites keys under record locks, the other seeks and skips
// through the order meanwhile. The reader never sees the order go
// backwards and finds every key the writer has committed.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <set>
#include <sstream>

#include "dbf/areas.h"
#include "dbf/orders.h"
#include "dbf/settings.h"
#include "dbf_support.h"

namespace talvi::dbf {
namespace {

std::string Trim(std::string s) {
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

// The keys committed so far as the writer's log tells, and whether it is done.
bool ReadLog(const std::string& path, std::set<std::string>& keys) {
  keys.clear();
  std::ifstream in(path);
  std::string line;
  bool done = false;
  while (std::getline(in, line)) {
    if (line == "done") {
      done = true;
    } else if (line.size() > 1 && line[0] == '+') {
      keys.insert(line.substr(1));
    } else if (line.size() > 1 && line[0] == '-') {
      keys.erase(line.substr(1));
    }
  }
  return done;
}

// Writes `n` records with keys A<number> in a scattered order; every third
// one afterwards rewrites an earlier record's key from A... to B..., so
// keys only ever move up. A key is logged once committed, and logged as
// gone before the change that removes it.
int Writer(const std::string& table, const std::string& ntx, const std::string& log, int n) {
  testing::ErrorLog quiet;
  if (!Workspace().Use(table, "S", {.shared = true})) return 10;
  WorkArea& a = Workspace().Current();
  if (!ntx.empty() && !a.orders().Open(ntx)) return 16;
  std::FILE* out = std::fopen(log.c_str(), "a");
  if (!out) return 11;
  for (int i = 0; i < n; ++i) {
    char key[16];
    std::snprintf(key, sizeof key, "A%06d", (i * 7919) % 100003);
    while (!a.AppendBlank()) {
    }
    if (!a.Put("NAME", Value::Character(key)) || !a.UnlockAll()) return 12;
    std::fprintf(out, "+%s\n", key);
    std::fflush(out);
    if (i % 3 == 2) {
      const auto r = static_cast<std::uint32_t>(1 + (i / 3) * 2);
      if (!a.GoTo(r)) return 13;
      while (!a.RLock(r)) {
      }
      const std::string old = Trim(a.Get("NAME").str());
      if (old[0] != 'A') return 14;
      // The old key may go from now on; the new one counts once committed.
      std::fprintf(out, "-%s\n", old.c_str());
      std::fflush(out);
      const std::string fresh = "B" + old.substr(1);
      if (!a.Put("NAME", Value::Character(fresh)) || !a.UnlockAll()) return 15;
      std::fprintf(out, "+%s\n", fresh.c_str());
      std::fflush(out);
    }
  }
  std::fprintf(out, "done\n");
  std::fclose(out);
  Workspace().CloseAll();
  return 0;
}

class IndexProcess : public ::testing::TestWithParam<const char*> {
 protected:
  void TearDown() override { Engine().driver = "DBFCDX"; }
};

TEST_P(IndexProcess, AReaderSeesAWholeOrderWhileAnotherProcessWritesIt) {
  talvi::testing::TempDir dir;
  testing::ErrorLog log;
  Engine().driver = GetParam();
  const std::string ntx = std::string(GetParam()) == "DBFNTX" ? dir / "NAME.NTX" : "";
  const std::string table = dir / "SHARED.DBF";
  const std::string changes = dir / "changes.log";
  constexpr int kRecords = 600;
  ASSERT_TRUE(Table::Create(table, {{"NAME", 'C', 10, 0}}));
  Workspace().CloseAll();
  ASSERT_TRUE(Workspace().Use(table, "S", {.shared = false}));
  ASSERT_TRUE(Workspace().Current().orders().Create(
      {.bag_path = ntx.empty() ? dir / "SHARED" : ntx, .tag = "NAME", .key = "NAME"}));
  Workspace().CloseAll();
  const pid_t pid = ::fork();
  if (pid == 0) ::_exit(Writer(table, ntx, changes, kRecords));

  ASSERT_TRUE(Workspace().Use(table, "S", {.shared = true}));
  WorkArea& a = Workspace().Current();
  if (!ntx.empty()) {
    ASSERT_TRUE(a.orders().Open(ntx));
  }
  ASSERT_TRUE(a.orders().SetCurrent("NAME"));
  const auto started = std::chrono::steady_clock::now();
  bool done = false;
  int passes = 0;
  std::size_t checkedKeys = 0;
  while (!done || passes == 0) {
    // Once the log says done, one more pass sees the final state.
    std::set<std::string> keys;
    done = ReadLog(changes, keys);
    ++passes;
    std::string previous;
    std::size_t walked = 0;
    ASSERT_TRUE(a.GoTop());
    for (; !a.Eof(); ++walked) {
      const std::string name = Trim(a.Get("NAME").str());
      ASSERT_LE(previous, name) << "order went back at pass " << passes;
      previous = name;
      ASSERT_TRUE(a.Skip(1));
      ASSERT_LT(walked, 10u * kRecords);
    }
    for (const std::string& k : keys) {
      ASSERT_TRUE(a.Seek(Value::Character(k)));
      if (!a.Found()) {
        std::set<std::string> now;
        ReadLog(changes, now);
        ASSERT_EQ(now.count(k), 0u) << "committed key " << k << " not found";
      }
      ++checkedKeys;
    }
    if (done) {
      EXPECT_EQ(walked, static_cast<std::size_t>(kRecords));
      EXPECT_EQ(a.Count(), static_cast<std::uint32_t>(kRecords));
    }
    ASSERT_LT(std::chrono::steady_clock::now() - started, std::chrono::minutes(5));
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_GT(checkedKeys, static_cast<std::size_t>(kRecords));
  Workspace().CloseAll();
  EXPECT_TRUE(log.empty()) << (log.empty() ? "" : log.last().DESCRIPTION.value_or(""));
}

INSTANTIATE_TEST_SUITE_P(Drivers, IndexProcess, ::testing::Values("DBFCDX", "DBFNTX"));

}  // namespace
}  // namespace talvi::dbf
