// SPDX-License-Identifier: MIT
// Opening, settings and closing on real pseudo-terminals and files.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <vector>

#include "serial/comm_port.h"
#include "serial/pty.h"
#include "serial/serial.h"
#include "serial/watcher.h"

namespace talvi::serial {
namespace {

using namespace std::chrono_literals;
using testing::Pty;
using testing::ThreadGone;
using testing::WatcherOf;
using testing::WatcherRunning;

std::string LineSettings(const char* mode) {
  std::string dcb;
  EXPECT_TRUE(BUILDCOMMDCB(mode, dcb));
  return dcb;
}

TEST(OpenComm, DefaultAndGivenQueueSizes) {
  Pty pty;
  ASSERT_TRUE(pty.ok());
  Handle port = OPENCOMM(pty.name());
  ASSERT_GE(port, 0);
  auto sizes = PortQueueSizes(port);
  ASSERT_TRUE(sizes);
  EXPECT_EQ(sizes->in, 1024);
  EXPECT_EQ(sizes->out, 128);
  EXPECT_TRUE(CLOSECOMM(port));
  EXPECT_FALSE(PortQueueSizes(port));

  port = OPENCOMM(pty.name(), 16384, -1.0);
  ASSERT_GE(port, 0);
  EXPECT_EQ(PortQueueSizes(port)->in, 16384);
  EXPECT_EQ(PortQueueSizes(port)->out, 65535);
  EXPECT_TRUE(CLOSECOMM(port));
}

TEST(OpenComm, MissingDeviceGivesMinusOneAndLeavesNoThread) {
  const std::vector<std::uint64_t> before = RunningWatchers();
  EXPECT_EQ(OPENCOMM("/dev/talvi-no-such-device"), -1);
  EXPECT_EQ(OPENCOMM("\\\\.\\COM999999"), -1);
  EXPECT_EQ(OPENCOMM(""), -1);
  EXPECT_EQ(OPENCOMM(std::string("/dev/null\0x", 11)), -1);
  EXPECT_EQ(OPENCOMM("/"), -1);  // a folder
  EXPECT_EQ(RunningWatchers(), before);
}

TEST(OpenComm, AnOpenDeviceCannotBeOpenedAgain) {
  Pty pty;
  ASSERT_TRUE(pty.ok());
  const Handle port = OPENCOMM(pty.name());
  ASSERT_GE(port, 0);
  ASSERT_NE(WatcherOf(port), 0U);
  const std::vector<std::uint64_t> watchers = RunningWatchers();
  EXPECT_EQ(OPENCOMM(pty.name()), -1);
  EXPECT_EQ(RunningWatchers(), watchers);

  // Nor by another process.
  const pid_t child = fork();
  if (child == 0) _exit(OPENCOMM(pty.name()) == -1 ? 0 : 1);
  int status = -1;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

  EXPECT_TRUE(CLOSECOMM(port));
}

TEST(OpenComm, ReopensRightAfterCloseAndTheWatcherIsGone) {
  Pty pty;
  ASSERT_TRUE(pty.ok());
  for (int i = 0; i < 20; ++i) {
    const Handle port = OPENCOMM(pty.name());
    ASSERT_GE(port, 0) << "round " << i;
    const std::uint64_t watcher = WatcherOf(port);
    ASSERT_NE(watcher, 0U) << "round " << i;
    EXPECT_TRUE(WatcherRunning(watcher));
    EXPECT_TRUE(CLOSECOMM(port));
    // Ended when CLOSECOMM returned, and gone from the system with it.
    EXPECT_FALSE(WatcherRunning(watcher)) << "round " << i;
    EXPECT_TRUE(ThreadGone(watcher)) << "round " << i;
  }
}

TEST(SetCommState, GivesA57600RawLineOnAPty) {
  Pty pty;
  ASSERT_TRUE(pty.ok());
  termios original{};
  ASSERT_EQ(tcgetattr(pty.slave(), &original), 0);
  ASSERT_NE(original.c_lflag & ICANON, 0U);  // a fresh pty is a cooked line

  const Handle port = OPENCOMM(pty.name());
  ASSERT_GE(port, 0);
  EXPECT_TRUE(SETCOMMSTATE(port, LineSettings("57600,N,8,1")));
  termios t{};
  ASSERT_EQ(tcgetattr(pty.slave(), &t), 0);
  EXPECT_EQ(cfgetospeed(&t), B57600);
  EXPECT_EQ(cfgetispeed(&t), B57600);
  EXPECT_EQ(t.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS), static_cast<tcflag_t>(CS8));
  EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0U);
  EXPECT_EQ(t.c_iflag & (ICRNL | INLCR | IGNCR | ISTRIP | IXON | IXOFF), 0U);
  EXPECT_EQ(t.c_oflag & OPOST, 0U);

  // Closing gives the line back as it was found.
  EXPECT_TRUE(CLOSECOMM(port));
  ASSERT_EQ(tcgetattr(pty.slave(), &t), 0);
  EXPECT_EQ(t.c_lflag, original.c_lflag);
  EXPECT_EQ(t.c_iflag, original.c_iflag);
  EXPECT_EQ(cfgetospeed(&t), cfgetospeed(&original));
}

TEST(SetCommState, RefusesWhatTheDeviceDoesNotTake) {
  Pty pty;
  ASSERT_TRUE(pty.ok());
  const Handle port = OPENCOMM(pty.name());
  ASSERT_GE(port, 0);
  EXPECT_FALSE(SETCOMMSTATE(port, LineSettings("12345,N,8,1")));  // no such rate
  // A pseudo-terminal always keeps 8 bits without parity; the read-back
  // catches that tcsetattr took only part of the request.
  EXPECT_FALSE(SETCOMMSTATE(port, LineSettings("9600,E,7,1")));
  EXPECT_FALSE(SETCOMMSTATE(port, ""));
  EXPECT_FALSE(SETCOMMSTATE(port, LineSettings("57600,N,8,1").substr(1)));
  EXPECT_TRUE(SETCOMMSTATE(port, LineSettings("115200,N,8,1")));
  termios t{};
  ASSERT_EQ(tcgetattr(pty.slave(), &t), 0);
  EXPECT_EQ(cfgetospeed(&t), B115200);
  EXPECT_TRUE(CLOSECOMM(port));
}

TEST(SetCommState, AFileThatIsNoTerminalOpensButTakesNoSettings) {
  char path[] = "/tmp/talvi-serial-XXXXXX";
  const int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(write(fd, "abc", 3), 3);
  close(fd);
  const Handle port = OPENCOMM(path);
  ASSERT_GE(port, 0);
  EXPECT_FALSE(SETCOMMSTATE(port, LineSettings("57600,N,8,1")));
  // Its bytes still come in; at its end the watcher stops looking.
  const auto end = std::chrono::steady_clock::now() + 30s;
  while (PortBytesWaiting(port) < 3 && std::chrono::steady_clock::now() < end) usleep(1000);
  std::string buffer(10, '.');
  EXPECT_EQ(READCOMM(port, buffer), 3);
  EXPECT_EQ(buffer, "abc.......");
  EXPECT_TRUE(CLOSECOMM(port));
  std::remove(path);
}

TEST(PortHandles, AHandleThatIsNotOpenGivesPlainResults) {
  Pty pty;
  ASSERT_TRUE(pty.ok());
  const Handle port = OPENCOMM(pty.name());
  ASSERT_GE(port, 0);
  ASSERT_TRUE(CLOSECOMM(port));
  for (Handle h : {port, Handle{-1}, Handle{0}, Handle{123456789}}) {
    std::string buffer = "keep";
    EXPECT_EQ(READCOMM(h, buffer), 0);
    EXPECT_EQ(buffer, "keep");
    EXPECT_EQ(WRITECOMM(h, "x"), 0);
    EXPECT_FALSE(SETCOMMSTATE(h, LineSettings("57600,N,8,1")));
    EXPECT_TRUE(ENABLECOMMNOTIFICATION(h, 42, 1, -1));
    EXPECT_TRUE(CLOSECOMM(h));
  }
}

}  // namespace
}  // namespace talvi::serial
