// SPDX-License-Identifier: MIT
// Share modes and locks between real processes, including a holder that is
// killed while it holds them.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <string>

#include "os/shared_file.h"
#include "support/temp_dir.h"

namespace talvi::os {
namespace {

constexpr std::uint64_t kBase = 4'000'000'000;
constexpr std::uint64_t kRegion = 294'967'295;

// Runs `fn` in a child process and gives back its exit code (0..255), or
// -1 when it did not exit normally.
int InChild(const std::function<int()>& fn) {
  const pid_t pid = ::fork();
  if (pid == 0) ::_exit(fn());
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A child that opens the file, takes the lock and holds everything until
// it is killed. Returns once it holds them.
pid_t StartHolder(const std::string& path, const OpenMode& mode, std::uint64_t offset,
                  std::uint64_t length) {
  int fds[2];
  if (::pipe(fds) != 0) return -1;
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::close(fds[0]);
    int oscode = 0;
    auto f = SharedFile::Open(path, mode, oscode);
    const char ok = f && (length == 0 || f->TryLock(offset, length)) ? 'y' : 'n';
    if (::write(fds[1], &ok, 1) != 1) ::_exit(3);
    for (;;) ::pause();
  }
  ::close(fds[1]);
  char ok = 0;
  const bool got = ::read(fds[0], &ok, 1) == 1 && ok == 'y';
  ::close(fds[0]);
  if (!got) {
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    return -1;
  }
  return pid;
}

void Kill(pid_t pid) {
  ::kill(pid, SIGKILL);
  ::waitpid(pid, nullptr, 0);
}

int OpenCodeInChild(const std::string& path, const OpenMode& mode) {
  return InChild([&] {
    int oscode = 0;
    auto f = SharedFile::Open(path, mode, oscode);
    return f ? 0 : oscode;
  });
}

int LockInChild(const std::string& path, std::uint64_t offset, std::uint64_t length) {
  return InChild([&] {
    int oscode = 0;
    auto f = SharedFile::Open(path, SharedMode(false), oscode);
    if (!f) return 100;
    return f->TryLock(offset, length) ? 0 : 1;
  });
}

class SharedFileProcessTest : public ::testing::Test {
 protected:
  void SetUp() override { testing::WriteBytes(path_, "data"); }
  testing::TempDir dir_;
  std::string path_ = dir_ / "NET";
};

TEST_F(SharedFileProcessTest, RecordAndTableLocksContendAcrossProcesses) {
  int oscode = 0;
  auto f = SharedFile::Open(path_, SharedMode(false), oscode);
  ASSERT_NE(f, nullptr);
  ASSERT_TRUE(f->TryLock(kBase + 1, 1));
  EXPECT_EQ(LockInChild(path_, kBase + 1, 1), 1);
  EXPECT_EQ(LockInChild(path_, kBase + 2, 1), 0);
  EXPECT_EQ(LockInChild(path_, kBase, kRegion), 1);
  ASSERT_TRUE(f->Unlock(kBase + 1, 1));
  EXPECT_EQ(LockInChild(path_, kBase, kRegion), 0);
  ASSERT_TRUE(f->TryLock(kBase, kRegion));
  EXPECT_EQ(LockInChild(path_, kBase + 123'456, 1), 1);
  EXPECT_EQ(LockInChild(path_, kBase, 1), 1);  // the header lock byte
}

TEST_F(SharedFileProcessTest, ExclusiveOpenContendsAcrossProcesses) {
  int oscode = 0;
  {
    auto f = SharedFile::Open(path_, ExclusiveMode(false), oscode);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(OpenCodeInChild(path_, SharedMode(false)), kOsSharingViolation);
    EXPECT_EQ(OpenCodeInChild(path_, SharedMode(true)), kOsSharingViolation);
  }
  auto s = SharedFile::Open(path_, SharedMode(false), oscode);
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(OpenCodeInChild(path_, SharedMode(false)), 0);
  EXPECT_EQ(OpenCodeInChild(path_, ExclusiveMode(false)), kOsSharingViolation);
}

TEST_F(SharedFileProcessTest, KilledHolderFreesItsLocksAndShareMode) {
  const pid_t locker = StartHolder(path_, SharedMode(false), kBase + 5, 1);
  ASSERT_GT(locker, 0);
  const pid_t table = StartHolder(path_, SharedMode(false), kBase + 10, 1);
  ASSERT_GT(table, 0);
  int oscode = 0;
  auto f = SharedFile::Open(path_, SharedMode(false), oscode);
  ASSERT_NE(f, nullptr);
  EXPECT_FALSE(f->TryLock(kBase + 5, 1));
  Kill(locker);
  EXPECT_TRUE(f->TryLock(kBase + 5, 1));
  EXPECT_FALSE(f->TryLock(kBase + 10, 1));
  Kill(table);
  EXPECT_TRUE(f->TryLock(kBase + 10, 1));
  f.reset();

  const pid_t exclusive = StartHolder(path_, ExclusiveMode(false), 0, 0);
  ASSERT_GT(exclusive, 0);
  EXPECT_EQ(SharedFile::Open(path_, SharedMode(false), oscode), nullptr);
  EXPECT_EQ(oscode, kOsSharingViolation);
  Kill(exclusive);
  EXPECT_NE(SharedFile::Open(path_, ExclusiveMode(false), oscode), nullptr);
}

TEST_F(SharedFileProcessTest, OpenersRacingForExclusiveGetOneWinner) {
  // Eight processes each try an exclusive open and hold it while they
  // report; a start pipe releases them together. Exactly one may win.
  constexpr int kProcs = 8;
  int start[2];
  int report[2];
  ASSERT_EQ(::pipe(start), 0);
  ASSERT_EQ(::pipe(report), 0);
  pid_t pids[kProcs];
  for (int i = 0; i < kProcs; ++i) {
    pids[i] = ::fork();
    if (pids[i] == 0) {
      ::close(start[1]);
      char c;
      if (::read(start[0], &c, 1) != 0) ::_exit(3);  // released when the pipe closes
      int oscode = 0;
      auto f = SharedFile::Open(path_, ExclusiveMode(false), oscode);
      const char r = f ? 'w' : (oscode == kOsSharingViolation ? 'l' : 'e');
      if (::write(report[1], &r, 1) != 1) ::_exit(3);
      for (;;) ::pause();
    }
  }
  ::close(start[0]);
  ::close(start[1]);
  int wins = 0;
  int losses = 0;
  for (int i = 0; i < kProcs; ++i) {
    char r = 0;
    ASSERT_EQ(::read(report[0], &r, 1), 1);
    wins += r == 'w';
    losses += r == 'l';
  }
  for (pid_t pid : pids) Kill(pid);
  ::close(report[0]);
  ::close(report[1]);
  EXPECT_EQ(wins, 1);
  EXPECT_EQ(losses, kProcs - 1);
}

}  // namespace
}  // namespace talvi::os
