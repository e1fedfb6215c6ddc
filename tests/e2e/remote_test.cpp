// SPDX-License-Identifier: MIT
// The simulated remote computer against a minimal receiver that opens the
// pty's slave side directly, as the program's serial layer would.
#include "remote/remote.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <string>

namespace talvi::remote {
namespace {

using std::chrono::milliseconds;

// The program's side reduced to raw reads and writes with a time limit.
class Receiver {
 public:
  explicit Receiver(const std::string& path) {
    fd_ = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  }
  ~Receiver() {
    if (fd_ >= 0) close(fd_);
  }
  bool ok() const { return fd_ >= 0; }
  void hangUp() {
    close(fd_);
    fd_ = -1;
  }
  // Up to `n` bytes, giving up after `ms` without a byte.
  std::string read(std::size_t n, int ms = 2000) {
    std::string out;
    char buf[4096];
    while (out.size() < n) {
      pollfd p{fd_, POLLIN, 0};
      if (poll(&p, 1, ms) <= 0) break;
      const ssize_t got = ::read(fd_, buf, std::min(sizeof buf, n - out.size()));
      if (got <= 0) break;
      out.append(buf, static_cast<std::size_t>(got));
    }
    return out;
  }
  void send(char byte) { ASSERT_EQ(::write(fd_, &byte, 1), 1); }
  // Reads a "T" header, acknowledges it, and gives the track byte (-1 when
  // something else came).
  int header() {
    const std::string h = read(2);
    if (h.size() != 2 || h[0] != 'T') return -1;
    send('\0');
    return static_cast<unsigned char>(h[1]);
  }

 private:
  int fd_ = -1;
};

Options small(int sides) {
  Options o;
  o.sides = sides;
  o.seed = 7;
  o.ackTimeout = milliseconds(3000);
  o.connectTimeout = milliseconds(3000);
  return o;
}

TEST(RemoteImage, TrackOrderIsInterleavedAndDataReproducible) {
  EXPECT_EQ(trackByte(0), 0);
  EXPECT_EQ(trackByte(1), 128);
  EXPECT_EQ(trackByte(2), 1);
  EXPECT_EQ(trackByte(158), 79);
  EXPECT_EQ(trackByte(159), 207);
  const std::string a = generateImage(2, 5);
  EXPECT_EQ(a.size(), 2 * kSideBytes);
  EXPECT_EQ(a, generateImage(2, 5));
  EXPECT_NE(a, generateImage(2, 6));
  // Every byte value turns up in a disk's worth of data, zero included.
  const std::string disk = generateImage(kFullDiskSides, 1);
  for (int v = 0; v < 256; ++v) {
    ASSERT_NE(disk.find(static_cast<char>(v)), std::string::npos) << v;
  }
}

TEST(RemoteImage, FileIsPaddedOrCut) {
  char path[] = "/tmp/talvi-remote-XXXXXX";
  const int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(write(fd, "abc", 3), 3);
  close(fd);
  const auto data = loadImage(path, 1);
  ASSERT_TRUE(data);
  EXPECT_EQ(data->size(), kSideBytes);
  EXPECT_EQ(data->substr(0, 4), std::string("abc\0", 4));
  EXPECT_EQ(loadImage(path, 0)->size(), 0u);
  unlink(path);
  EXPECT_FALSE(loadImage(path, 1));
}

TEST(Remote, SendsEverySideAfterItsAcknowledgementThenE) {
  RemoteThread remote(small(3));
  ASSERT_TRUE(remote.ok()) << remote.error();
  Receiver pc(remote.portPath());
  ASSERT_TRUE(pc.ok());
  remote.start();
  std::string got;
  for (int side = 0; side < 3; ++side) {
    EXPECT_EQ(pc.header(), trackByte(side));
    got += pc.read(kSideBytes);
  }
  EXPECT_EQ(pc.read(1), "E");
  const Report r = remote.wait();
  EXPECT_EQ(r.outcome, Outcome::kCompleted);
  EXPECT_EQ(r.sides, 3);
  EXPECT_EQ(r.disks, 1);
  EXPECT_EQ(r.bytes, 3 * (kSideBytes + 2) + 1);
  EXPECT_EQ(r.fromPc, std::string(3, '\0'));
  EXPECT_EQ(got, generateImage(3, 7));
}

TEST(Remote, WaitsForTheAcknowledgementBeforeData) {
  Options o = small(1);
  o.ackTimeout = milliseconds(300);
  RemoteThread remote(o);
  Receiver pc(remote.portPath());
  remote.start();
  EXPECT_EQ(pc.read(2), std::string("T\0", 2));
  // No acknowledgement: nothing more arrives and the remote gives up.
  EXPECT_EQ(pc.read(1, 600), "");
  EXPECT_EQ(remote.wait().outcome, Outcome::kAckTimeout);
}

TEST(Remote, ByteNineBreaksOffAtAnyPoint) {
  Options o = small(2);
  o.rate = kLineBytesPerSecond;
  RemoteThread remote(o);
  Receiver pc(remote.portPath());
  remote.start();
  ASSERT_EQ(pc.header(), 0);
  EXPECT_EQ(pc.read(100).size(), 100u);
  pc.send('\x09');
  const Report r = remote.wait();
  EXPECT_EQ(r.outcome, Outcome::kAborted);
  EXPECT_EQ(r.fromPc, std::string("\0\x09", 2));
  EXPECT_EQ(r.sides, 0);
  EXPECT_LT(r.bytes, 2 + kSideBytes);
}

TEST(Remote, PacedAtTheLineRate) {
  Options o = small(1);
  o.rate = kLineBytesPerSecond;
  RemoteThread remote(o);
  Receiver pc(remote.portPath());
  remote.start();
  ASSERT_EQ(pc.header(), 0);
  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(pc.read(kSideBytes).size(), kSideBytes);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  // 4608 bytes at 5760 bytes/s take 0.8 s.
  EXPECT_GT(seconds, 0.7);
  remote.wait();
}

TEST(Remote, FaultsShortTrackStrayByteAndStall) {
  Options o = small(3);
  o.faults = {{Fault::Kind::kDrop, 0, 2, 300, 0},
              {Fault::Kind::kStray, 1, 0, 0, 0x55},
              {Fault::Kind::kStall, 2, 10, 400, 0}};
  RemoteThread remote(o);
  Receiver pc(remote.portPath());
  remote.start();
  ASSERT_EQ(pc.header(), 0);
  // The pauses are checked from below only: the remote cannot send before a
  // pause has passed, however late this side looks.
  auto t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(pc.read(kSideBytes - 2).size(), kSideBytes - 2);
  EXPECT_EQ(pc.read(1), "\x55");  // the stray byte follows the short side
  EXPECT_GE(std::chrono::steady_clock::now() - t0, milliseconds(300));
  ASSERT_EQ(pc.header(), 128);
  EXPECT_EQ(pc.read(kSideBytes).size(), kSideBytes);
  ASSERT_EQ(pc.header(), 1);
  t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(pc.read(kSideBytes).size(), kSideBytes);  // whole, after the pause
  EXPECT_GE(std::chrono::steady_clock::now() - t0, milliseconds(400));
  EXPECT_EQ(pc.read(1), "E");
  const Report r = remote.wait();
  EXPECT_EQ(r.outcome, Outcome::kCompleted);
  EXPECT_EQ(r.sides, 2);  // the short side does not count
}

TEST(Remote, SeesTheProgramHangUpAndRepeatsDisks) {
  Options o = small(1);
  o.disks = 3;
  o.linger = milliseconds(5000);
  RemoteThread remote(o);
  Receiver pc(remote.portPath());
  remote.start();
  for (int disk = 0; disk < 3; ++disk) {
    ASSERT_EQ(pc.header(), 0);
    EXPECT_EQ(pc.read(kSideBytes + 1).back(), 'E');
  }
  pc.hangUp();
  const Report r = remote.wait();
  EXPECT_EQ(r.outcome, Outcome::kHangUp);
  EXPECT_EQ(r.disks, 3);
}

TEST(Remote, GivesUpWhenNobodyOpensTheLine) {
  Options o = small(1);
  o.connectTimeout = milliseconds(100);
  RemoteThread remote(o);
  remote.start();
  EXPECT_EQ(remote.wait().outcome, Outcome::kNoPeer);
}

}  // namespace
}  // namespace talvi::remote
