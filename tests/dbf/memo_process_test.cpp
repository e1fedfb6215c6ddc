// SPDX-License-Identifier: MIT
// Memos of one shared table written by several real processes at once,
// each in its own records under record locks: memos that grow (and so move
// to new blocks at the end of the memo file) and memos rewritten in place.
//
// The table starts with memos as the BDE leaves them (formats.md 2.2):
// bytes after the end pair of each, so that where such a memo ends depends
// on where the next memo starts. A process that judged that from the
// table's memo pointers as it had scanned them once rewrote the last of
// them "in place" over a memo that another process had appended since.
// The same writers then work on a FoxPro table (FPT).
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <map>
#include <vector>

#include "dbf/area.h"
#include "dbf_support.h"

namespace talvi::dbf {
namespace {

constexpr int kProcs = 4;
constexpr int kEach = 6;  // records per process
constexpr int kRecords = kProcs * kEach;
constexpr int kRounds = 12;

int Owner(int recno) {
  return (recno - 1) % kProcs;
}

// The memo that process `p` writes into record `r` at step `step`: its
// size grows with the step (every third step it keeps the size of the one
// before, so it is rewritten in place), and it holds an end pair followed
// by more data, as binary memos do, so that reading it has to find its end.
std::string Memo(int p, int r, int step) {
  const int size_step = step - step / 3;
  const std::size_t size = 40 + static_cast<std::size_t>(size_step) * 600;
  std::string m = "p" + std::to_string(p) + " r" + std::to_string(r) + " s" + std::to_string(step);
  m += std::string("\x1A\x1A", 2) + "after the pair ";
  while (m.size() < size)
    m += static_cast<char>('a' + (m.size() + static_cast<std::size_t>(r)) % 26);
  return m;
}

// One pipe per process to let it go, one that they all tell "arrived" on.
class Gate {
 public:
  Gate() {
    if (::pipe(arrived_.data()) != 0) std::abort();
    for (auto& g : go_)
      if (::pipe(g.data()) != 0) std::abort();
  }
  // In a process: tells the test it got here and waits to be let go.
  bool Arrive(int p) {
    char c = 'a';
    return ::write(arrived_[1], &c, 1) == 1 &&
           ::read(go_[static_cast<std::size_t>(p)][0], &c, 1) == 1;
  }
  // In the test: waits (bounded) for `n` arrivals, then lets every process go.
  bool Release(int n) {
    for (int i = 0; i < n; ++i) {
      pollfd pfd{arrived_[0], POLLIN, 0};
      char c = 0;
      if (::poll(&pfd, 1, 60'000) != 1 || ::read(arrived_[0], &c, 1) != 1) return false;
    }
    for (auto& g : go_) {
      const char c = 'g';
      if (::write(g[1], &c, 1) != 1) return false;
    }
    return true;
  }

 private:
  std::array<int, 2> arrived_{};
  std::array<std::array<int, 2>, kProcs> go_{};
};

class MemoProcessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(
        Table::Create(path_, {{"WHO", 'N', 3, 0}, {"SEQ", 'N', 6, 0}, {"TXT", 'M', 10, 0}}));
    {
      WorkArea a(1);
      ASSERT_TRUE(a.Use(path_, "S", {.shared = false}));
      for (int r = 1; r <= kRecords; ++r) {
        ASSERT_TRUE(a.AppendBlank());
        ASSERT_TRUE(a.Put("WHO", Value::Numeric(Owner(r))));
        ASSERT_TRUE(a.Put("TXT", Value::Character("seed " + std::to_string(r))));
      }
    }
    // Each memo is one block (record r at block r); fill what follows its
    // end pair with leftovers, as the BDE does.
    std::string memo = talvi::testing::ReadBytes(memo_);
    ASSERT_EQ(memo.size(), (kRecords + 1) * 512u);
    for (int r = 1; r <= kRecords; ++r) {
      const std::size_t at = static_cast<std::size_t>(r) * 512;
      const std::size_t end = memo.find("\x1A\x1A", at) + 2;
      ASSERT_LT(end, at + 512);
      std::fill(memo.begin() + static_cast<std::ptrdiff_t>(end),
                memo.begin() + static_cast<std::ptrdiff_t>(at + 512), 'J');
    }
    talvi::testing::WriteBytes(memo_, memo);
    // Such memos read as far as their first end pair.
    WorkArea a(1);
    ASSERT_TRUE(a.Use(path_, "S", {.shared = false}));
    for (int r = 1; r <= kRecords; ++r) {
      ASSERT_TRUE(a.GoTo(static_cast<std::uint32_t>(r)));
      ASSERT_EQ(a.Get("TXT"), Value::Character("seed " + std::to_string(r)));
    }
  }

  talvi::testing::TempDir dir_;
  testing::ErrorLog log_;
  std::string path_ = dir_ / "MEMOS.DBF";
  std::string memo_ = dir_ / "MEMOS.DBT";
};

// Process `p`'s part. Exit codes: 0 done, 10 open, 11 lock, 12 write,
// 13 a memo of its own not as it wrote it, 14 gate.
int Writer(int p, const std::string& path, Gate& gate) {
  WorkArea a(1);
  if (!a.Use(path, "S", {.shared = true})) return 10;
  std::map<int, std::string> mine;  // record -> the memo last written there
  const auto write = [&](int r, int step) {
    if (!a.GoTo(static_cast<std::uint32_t>(r)) || !a.RLock()) return 11;
    const auto it = mine.find(r);
    if (it != mine.end() && a.Get("TXT") != Value::Character(it->second)) return 13;
    const std::string m = Memo(p, r, step);
    if (!a.Put("TXT", Value::Character(m)) || !a.Put("SEQ", Value::Numeric(step)) || !a.UnlockAll())
      return 12;
    mine[r] = m;
    return 0;
  };
  std::vector<int> records;
  for (int r = 1; r <= kRecords; ++r)
    if (Owner(r) == p) records.push_back(r);
  // 1. A short memo over the first record's seed, in place: every process
  //    has now written (and read the table's memo pointers, if it keeps
  //    them) before anything is appended.
  if (int rc = write(records.front(), 0)) return rc;
  if (!gate.Arrive(p)) return 14;
  // 2. The others grow their first memo: it moves to the end of the file,
  //    right after the last seed (the last process's last record).
  if (p != kProcs - 1)
    if (int rc = write(records.front(), 1)) return rc;
  if (!gate.Arrive(p)) return 14;
  // 3. The last process grows the last seed: one block of its own, then
  //    another process's memo.
  if (p == kProcs - 1)
    if (int rc = write(records.back(), 1)) return rc;
  if (!gate.Arrive(p)) return 14;
  // 4. Everybody, all at once.
  for (int step = 2; step < kRounds; ++step) {
    for (int r : records)
      if (int rc = write(r, step)) return rc;
  }
  a.Close();
  return 0;
}

TEST_F(MemoProcessTest, ConcurrentWritersKeepEveryMemoInBlocksOfItsOwn) {
  Gate gate;
  std::vector<pid_t> pids;
  for (int p = 0; p < kProcs; ++p) {
    const pid_t pid = ::fork();
    if (pid == 0) {
      testing::ErrorLog quiet;
      ::_exit(Writer(p, path_, gate));
    }
    pids.push_back(pid);
  }
  bool released = true;
  for (int phase = 0; phase < 3 && released; ++phase) released = gate.Release(kProcs);
  if (!released) {
    for (pid_t pid : pids) ::kill(pid, SIGKILL);
  }
  for (int p = 0; p < kProcs; ++p) {
    int status = 0;
    ::waitpid(pids[static_cast<std::size_t>(p)], &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
        << "process " << p << " ended with " << (WIFEXITED(status) ? WEXITSTATUS(status) : -1);
  }
  ASSERT_TRUE(released) << "a process did not reach the gate";

  // Every memo as its writer last wrote it, each in blocks of its own.
  WorkArea a(1);
  ASSERT_TRUE(a.Use(path_, "S", {.shared = false}));
  ASSERT_EQ(a.RecCount(), static_cast<std::uint32_t>(kRecords));
  std::vector<std::pair<std::uint32_t, std::uint32_t>> extents;
  for (int r = 1; r <= kRecords; ++r) {
    ASSERT_TRUE(a.GoTo(static_cast<std::uint32_t>(r)));
    const int p = Owner(r);
    EXPECT_EQ(a.Get("TXT"), Value::Character(Memo(p, r, kRounds - 1))) << "record " << r;
    std::uint32_t block = 0;
    ASSERT_TRUE(MemoPointer(a.table()->RawValue(a.record(), 2), block));
    const auto blocks =
        static_cast<std::uint32_t>((Memo(p, r, kRounds - 1).size() + 2 + 511) / 512);
    extents.emplace_back(block, block + blocks);
  }
  std::sort(extents.begin(), extents.end());
  for (std::size_t i = 1; i < extents.size(); ++i) {
    EXPECT_LE(extents[i - 1].second, extents[i].first)
        << "the memos at blocks " << extents[i - 1].first << " and " << extents[i].first
        << " share a block";
  }
  const Table::Report rep = a.table()->Check();
  EXPECT_TRUE(rep.problems.empty()) << (rep.problems.empty() ? "" : rep.problems.front());
  a.Close();
  const int tool =
      std::system((std::string(TALVI_DBF_TOOL) + " check '" + path_ + "' >/dev/null").c_str());
  EXPECT_TRUE(WIFEXITED(tool) && WEXITSTATUS(tool) == 0) << "talvi-dbf check";
  EXPECT_TRUE(log_.empty());
}

// The same without gates on a FoxPro table (FPT memos carry their length,
// so only the append lock and the in-place rule are at stake).
TEST(MemoProcessFptTest, ConcurrentWritersOfAFoxProTable) {
  talvi::testing::TempDir dir;
  testing::ErrorLog log;
  TALVI_NEED_FIXTURE(d, dir, "cdx-vfp-contacts");
  const std::string path = d + "/contacts.dbf";
  // Its index keys on fields this engine does not index (integers); memos
  // are what is tested here.
  std::filesystem::remove(d + "/contacts.CDX");
  {
    WorkArea a(1);
    ASSERT_TRUE(a.Use(path, "C", {.shared = false}));
    while (a.RecCount() < static_cast<std::uint32_t>(kRecords)) ASSERT_TRUE(a.AppendBlank());
  }
  std::vector<pid_t> pids;
  for (int p = 0; p < kProcs; ++p) {
    const pid_t pid = ::fork();
    if (pid == 0) {
      testing::ErrorLog quiet;
      WorkArea a(1);
      if (!a.Use(path, "C", {.shared = true})) ::_exit(10);
      std::map<int, std::string> mine;
      for (int step = 0; step < kRounds; ++step) {
        for (int r = 1; r <= kRecords; ++r) {
          if (Owner(r) != p) continue;
          if (!a.GoTo(static_cast<std::uint32_t>(r)) || !a.RLock()) ::_exit(11);
          if (mine.count(r) && a.Get("NOTES") != Value::Character(mine[r])) ::_exit(13);
          const std::string m = Memo(p, r, step);
          if (!a.Put("NOTES", Value::Character(m)) || !a.UnlockAll()) ::_exit(12);
          mine[r] = m;
        }
      }
      a.Close();
      ::_exit(0);
    }
    pids.push_back(pid);
  }
  for (pid_t pid : pids) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
        << "ended with " << (WIFEXITED(status) ? WEXITSTATUS(status) : -1);
  }
  WorkArea a(1);
  ASSERT_TRUE(a.Use(path, "C", {.shared = false}));
  for (int r = 1; r <= kRecords; ++r) {
    ASSERT_TRUE(a.GoTo(static_cast<std::uint32_t>(r)));
    EXPECT_EQ(a.Get("NOTES"), Value::Character(Memo(Owner(r), r, kRounds - 1))) << "record " << r;
  }
  const Table::Report rep = a.table()->Check();
  EXPECT_TRUE(rep.problems.empty()) << (rep.problems.empty() ? "" : rep.problems.front());
  a.Close();
  const int tool =
      std::system((std::string(TALVI_DBF_TOOL) + " check '" + path + "' >/dev/null").c_str());
  EXPECT_TRUE(WIFEXITED(tool) && WEXITSTATUS(tool) == 0) << "talvi-dbf check";
  EXPECT_TRUE(log.empty());
}

}  // namespace
}  // namespace talvi::dbf
