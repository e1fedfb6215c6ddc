// SPDX-License-Identifier: MIT
// Work areas in several real processes on one table file: concurrent
// appends, contention for record and table locks and for an exclusive open,
// and a process killed in the middle of appending.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <set>

#include "dbf/area.h"
#include "dbf/codes.h"
#include "dbf_support.h"
#include "os/shared_file.h"

namespace talvi::dbf {
namespace {

// Runs `fn` in a child process with a quiet handler of its own; gives back
// the exit code, or -1 when the child did not exit normally.
int InChild(const std::function<int()>& fn) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    testing::ErrorLog quiet;
    ::_exit(fn());
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class AreaProcessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(
        Table::Create(path_, {{"WHO", 'N', 3, 0}, {"SEQ", 'N', 6, 0}, {"TXT", 'M', 10, 0}}));
  }
  talvi::testing::TempDir dir_;
  testing::ErrorLog log_;
  std::string path_ = dir_ / "SHARED.DBF";
};

TEST_F(AreaProcessTest, ConcurrentAppendsLoseAndDuplicateNothing) {
  constexpr int kProcs = 4;
  constexpr int kEach = 150;
  pid_t pids[kProcs];
  for (int p = 0; p < kProcs; ++p) {
    pids[p] = ::fork();
    if (pids[p] == 0) {
      testing::ErrorLog quiet;
      WorkArea a(1);
      if (!a.Use(path_, "S", {.shared = true})) ::_exit(10);
      for (int i = 0; i < kEach; ++i) {
        // Another process may hold the header lock: retry, as DBAPP does.
        while (!a.AppendBlank()) {
        }
        if (!a.Put("WHO", Value::Numeric(p)) || !a.Put("SEQ", Value::Numeric(i)) ||
            !a.Put("TXT",
                   Value::Character("memo " + std::to_string(p) + "/" + std::to_string(i))) ||
            !a.UnlockAll()) {
          ::_exit(11);
        }
      }
      a.Close();
      ::_exit(0);
    }
  }
  for (pid_t pid : pids) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  WorkArea a(1);
  ASSERT_TRUE(a.Use(path_, "S", {.shared = false}));
  EXPECT_EQ(a.RecCount(), static_cast<std::uint32_t>(kProcs * kEach));
  std::set<std::pair<int, int>> seen;
  for (a.GoTop(); !a.Eof(); a.Skip()) {
    const int who = static_cast<int>(a.Get("WHO").num());
    const int seq = static_cast<int>(a.Get("SEQ").num());
    EXPECT_TRUE(seen.emplace(who, seq).second) << who << "/" << seq << " twice";
    EXPECT_EQ(a.Get("TXT"),
              Value::Character("memo " + std::to_string(who) + "/" + std::to_string(seq)));
  }
  EXPECT_EQ(seen.size(), static_cast<std::size_t>(kProcs * kEach));
  const Table::Report rep = a.table()->Check();
  EXPECT_TRUE(rep.problems.empty()) << (rep.problems.empty() ? "" : rep.problems.front());
  EXPECT_EQ(talvi::testing::ReadBytes(path_).size(), 97u + 32 + kProcs * kEach * 20u + 1);
}

TEST_F(AreaProcessTest, RecordTableAndExclusiveContention) {
  WorkArea a(1);
  ASSERT_TRUE(a.Use(path_, "S", {.shared = true}));
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(a.AppendBlank());
  ASSERT_TRUE(a.UnlockAll());
  ASSERT_TRUE(a.RLock(2));
  const auto child = [this](const std::function<int(WorkArea&)>& fn) {
    return InChild([&] {
      WorkArea b(1);
      if (!b.Use(path_, "S", {.shared = true})) return 100;
      return fn(b);
    });
  };
  EXPECT_EQ(child([](WorkArea& b) { return b.RLock(2) ? 1 : 0; }), 0);
  EXPECT_EQ(child([](WorkArea& b) { return b.RLock(3) ? 0 : 1; }), 0);
  EXPECT_EQ(child([](WorkArea& b) { return b.FLock() ? 1 : 0; }), 0);
  ASSERT_TRUE(a.UnlockAll());
  ASSERT_TRUE(a.FLock());
  EXPECT_EQ(child([](WorkArea& b) { return b.RLock(1) ? 1 : 0; }), 0);
  EXPECT_EQ(child([](WorkArea& b) { return b.AppendBlank() ? 1 : 0; }), 0);
  ASSERT_TRUE(a.UnlockAll());
  EXPECT_EQ(child([](WorkArea& b) { return b.AppendBlank() ? 0 : 1; }), 0);
  EXPECT_EQ(a.RecCount(), 4u);
  // An exclusive open is refused while this process has the table open,
  // with the error object that NETERR and the waiting open rely on.
  EXPECT_EQ(
      InChild([this] {
        testing::ErrorLog errs;
        WorkArea b(1);
        if (b.Use(path_, "S", {.shared = false})) return 1;
        const auto& e = errs.last();
        return e.GENCODE == kGenOpen && e.OSCODE == os::kOsSharingViolation && e.CANDEFAULT ? 0 : 2;
      }),
      0);
  a.Close();
  ASSERT_TRUE(a.Use(path_, "S", {.shared = false}));
  EXPECT_EQ(InChild([this] {
              WorkArea b(1);
              return b.Use(path_, "S", {.shared = true}) ? 1 : 0;
            }),
            0);
}

TEST_F(AreaProcessTest, ProcessKilledWhileAppendingLeavesAConsistentTable) {
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  const pid_t pid = ::fork();
  if (pid == 0) {
    testing::ErrorLog quiet;
    ::close(fds[0]);
    WorkArea a(1);
    if (!a.Use(path_, "S", {.shared = true})) ::_exit(10);
    for (int i = 0;; ++i) {
      if (!a.AppendBlank() || !a.Put("SEQ", Value::Numeric(i % 1000)) || !a.UnlockAll())
        ::_exit(11);
      if (i == 50) {
        const char c = 'r';
        if (::write(fds[1], &c, 1) != 1) ::_exit(12);
      }
    }
  }
  ::close(fds[1]);
  char c = 0;
  ASSERT_EQ(::read(fds[0], &c, 1), 1);
  ::close(fds[0]);
  ::kill(pid, SIGKILL);
  ::waitpid(pid, nullptr, 0);
  // Its locks went with it: the table opens exclusively, every counted
  // record is whole, and appending goes on after the last counted one.
  WorkArea a(1);
  ASSERT_TRUE(a.Use(path_, "S", {.shared = false}));
  const std::uint32_t count = a.RecCount();
  EXPECT_GT(count, 50u);
  EXPECT_TRUE(a.table()->Check().problems.empty());
  ASSERT_TRUE(a.AppendBlank());
  EXPECT_EQ(a.RecNo(), count + 1);
  ASSERT_TRUE(a.Put("SEQ", Value::Numeric(999)));
  a.Close();
  ASSERT_TRUE(a.Use(path_, "S", {.shared = true}));
  EXPECT_EQ(a.RecCount(), count + 1);
  const Table::Report rep = a.table()->Check();
  EXPECT_TRUE(rep.problems.empty());
  EXPECT_TRUE(log_.empty());
}

}  // namespace
}  // namespace talvi::dbf
