// SPDX-License-Identifier: MIT
// The real talvi program under a private X server, driven like a user with
// xdotool: the simulated remote sends a disk, the save dialog is answered by
// typing, Esc is held, Alt+F4-style closing is refused while F4 is down,
// and a close request ends the program and releases the port.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>

#include "remote/remote.h"
#include "support/temp_dir.h"
#include "support/xserver.h"
#include "xclose/close_request.h"

extern char** environ;

namespace talvi::e2e {
namespace {

using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

std::string Shell(const std::string& command) {
  std::string out;
  if (FILE* p = popen(command.c_str(), "r")) {
    char buf[256];
    while (fgets(buf, sizeof buf, p) != nullptr) out += buf;
    pclose(p);
  }
  while (!out.empty() && out.back() == '\n') out.pop_back();
  return out;
}

bool WaitFor(const std::function<bool()>& done, milliseconds limit) {
  const auto end = Clock::now() + limit;
  while (!done()) {
    if (Clock::now() > end) return false;
    std::this_thread::sleep_for(milliseconds(50));
  }
  return true;
}

// The first window whose title is exactly `title`, 0 when none.
unsigned long FindWindow(const std::string& title) {
  const std::string ids = Shell("xdotool search --name '" + title.substr(0, 10) + "' 2>/dev/null");
  std::size_t start = 0;
  while (start < ids.size()) {
    const std::size_t end = std::min(ids.find('\n', start), ids.size());
    const std::string id = ids.substr(start, end - start);
    if (Shell("xdotool getwindowname " + id + " 2>/dev/null") == title) return std::stoul(id);
    start = end + 1;
  }
  return 0;
}

void RequestClose(const std::string& display, unsigned long window) {
  ASSERT_TRUE(xclose::SendCloseRequest(display, window));
}

class Program {
 public:
  Program() {
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    char* argv[] = {const_cast<char*>(TALVI_PROGRAM), nullptr};
    if (posix_spawn(&pid_, TALVI_PROGRAM, nullptr, nullptr, argv, environ) != 0) pid_ = -1;
  }
  ~Program() {
    if (pid_ > 0 && !exited_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }
  bool started() const { return pid_ > 0; }
  // The exit status once the program has ended within `limit`, else -1.
  int waitExit(milliseconds limit) {
    int status = 0;
    const bool ended = WaitFor([&] { return waitpid(pid_, &status, WNOHANG) == pid_; }, limit);
    if (!ended) return -1;
    exited_ = true;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }
  bool running() const { return !exited_ && kill(pid_, 0) == 0; }

 private:
  pid_t pid_ = -1;
  bool exited_ = false;
};

TEST(Program, DiskSavedEscEndsSessionCloseGuardAndPortReleased) {
  testing::XServer x;
  ASSERT_TRUE(x.ok());
  x.exportDisplay();
  testing::TempFolder dir;
  remote::Options options;
  options.sides = 2;
  options.seed = 9;
  options.linger = milliseconds(60000);
  remote::RemoteThread remote(options);
  ASSERT_TRUE(remote.ok());
  testing::WriteBytes(dir / "TALVI.INI", "[Impostazioni]\r\nPorta=" + remote.portPath() + "\r\n");
  remote.start();

  Program talvi;
  ASSERT_TRUE(talvi.started());
  const std::string title = "TALVI 1.01 (" + remote.portPath() + ":57600,N,8,1)";
  unsigned long window = 0;
  ASSERT_TRUE(WaitFor([&] { return (window = FindWindow(title)) != 0; }, milliseconds(20000)));

  // The disk arrives and the save dialog asks for a name.
  unsigned long chooser = 0;
  ASSERT_TRUE(
      WaitFor([&] { return (chooser = FindWindow("Salva in")) != 0; }, milliseconds(20000)));
  Shell("xdotool windowfocus --sync " + std::to_string(chooser));
  Shell("xdotool type --delay 10 '" + (dir / "disk") + "'; xdotool key Return");
  ASSERT_TRUE(
      WaitFor([&] { return std::filesystem::exists(dir / "disk.opd"); }, milliseconds(10000)));
  std::string error;
  const std::string sent = *remote::diskData(options, error);
  EXPECT_TRUE(WaitFor([&] { return testing::ReadBytes(dir / "disk.opd").size() == sent.size(); },
                      milliseconds(5000)));
  EXPECT_TRUE(testing::ReadBytes(dir / "disk.opd").substr(128) == sent.substr(128));

  // Esc held: the session ends and tells the remote; the window stays.
  Shell("xdotool keydown Escape");
  const auto report = remote.wait();
  Shell("xdotool keyup Escape");
  EXPECT_EQ(report.outcome, remote::Outcome::kAborted);
  EXPECT_EQ(report.fromPc, std::string("\0\0\x09", 3));
  std::this_thread::sleep_for(milliseconds(300));
  EXPECT_EQ(FindWindow(title), window);

  // A close request with F4 held is refused.
  Shell("xdotool keydown F4");
  RequestClose(x.display(), window);
  std::this_thread::sleep_for(milliseconds(700));
  EXPECT_TRUE(talvi.running());
  EXPECT_EQ(FindWindow(title), window);
  Shell("xdotool keyup F4");

  // Without F4 it closes the window and ends the program cleanly.
  RequestClose(x.display(), window);
  EXPECT_EQ(talvi.waitExit(milliseconds(15000)), 0);
  // The port is free again: it can be opened (exclusively) once more.
  const int fd = open(remote.portPath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  EXPECT_GE(fd, 0);
  if (fd >= 0) close(fd);
}

}  // namespace
}  // namespace talvi::e2e
