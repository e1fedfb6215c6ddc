// SPDX-License-Identifier: MIT
// Locks between a Windows program under Wine and this Linux process on the
// same file. Wine hands LockFileEx ranges on to the Unix file as POSIX
// locks, and refuses a range that a Unix open holds, so the two systems
// exclude each other. (Share modes are another matter: Wine keeps them in
// its server, and the Linux emulation's marks are not seen by Wine.)
//
// Runs when TALVI_WINE_LOCK_HOLDER names the Windows build of
// dbf_lock_holder.exe (and Wine's loader is installed); skips otherwise.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "os/shared_file.h"
#include "support/temp_dir.h"

namespace talvi::os {
namespace {

constexpr std::uint64_t kBase = 4'000'000'000;
constexpr const char* kWine = "/usr/lib/wine/wine64";

std::string Holder() {
  const char* p = std::getenv("TALVI_WINE_LOCK_HOLDER");
  return p && *p && ::access(kWine, X_OK) == 0 ? p : "";
}

// The holder's answer for a lock of `length` at `offset`; it holds what it
// got until `hold` is closed (or at once when `hold` is null).
std::string RunHolder(const std::string& file, std::uint64_t offset, std::uint64_t length,
                      int* hold, pid_t* pid_out) {
  int in[2];
  int out[2];
  if (::pipe(in) != 0 || ::pipe(out) != 0) return "pipe";
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(in[0], 0);
    ::dup2(out[1], 1);
    ::close(in[1]);
    ::close(out[0]);
    const std::string win = "Z:" + file;
    ::execl(kWine, kWine, Holder().c_str(), win.c_str(), std::to_string(offset).c_str(),
            std::to_string(length).c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::close(in[0]);
  ::close(out[1]);
  std::string answer;
  char c;
  while (::read(out[0], &c, 1) == 1 && c != '\n') {
    if (c != '\r') answer += c;
  }
  ::close(out[0]);
  if (hold) {
    *hold = in[1];
    *pid_out = pid;
  } else {
    ::close(in[1]);
    ::waitpid(pid, nullptr, 0);
  }
  return answer;
}

TEST(WineLocks, WindowsAndLinuxProcessesExcludeEachOther) {
  if (Holder().empty()) {
    GTEST_SKIP() << "set TALVI_WINE_LOCK_HOLDER to the Windows build of dbf_lock_holder.exe "
                    "(with WINEPREFIX ready) to run this test";
  }
  testing::TempDir dir;
  const std::string path = dir / "T.DBF";
  testing::WriteBytes(path, "data");
  int oscode = 0;
  auto f = SharedFile::Open(path, SharedMode(false), oscode);
  ASSERT_NE(f, nullptr);
  ASSERT_TRUE(f->TryLock(kBase + 5, 1));
  EXPECT_EQ(RunHolder(path, kBase + 5, 1, nullptr, nullptr), "refused");
  EXPECT_EQ(RunHolder(path, kBase, 294'967'295, nullptr, nullptr), "refused");
  EXPECT_EQ(RunHolder(path, kBase + 6, 1, nullptr, nullptr), "locked");
  ASSERT_TRUE(f->Unlock(kBase + 5, 1));
  int hold = -1;
  pid_t pid = 0;
  ASSERT_EQ(RunHolder(path, kBase + 7, 1, &hold, &pid), "locked");
  EXPECT_FALSE(f->TryLock(kBase + 7, 1));
  EXPECT_FALSE(f->TryLock(kBase, 294'967'295));
  EXPECT_TRUE(f->TryLock(kBase + 8, 1));
  ::close(hold);
  ::waitpid(pid, nullptr, 0);
  EXPECT_TRUE(f->TryLock(kBase + 7, 1));
}

}  // namespace
}  // namespace talvi::os
