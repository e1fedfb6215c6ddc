// SPDX-License-Identifier: MIT
// Receiving through watcher, ring and notification, and writing, on real
// pseudo-terminals with a window thread that handles the notifications.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "serial/comm_port.h"
#include "serial/pty.h"
#include "serial/serial.h"
#include "serial/watcher.h"
#include "serial/window_thread.h"

namespace talvi::serial {
namespace {

using namespace std::chrono_literals;
using testing::Pattern;

constexpr WindowHandle kWindow = 0x1234;
// Generous bounds for things that normally take milliseconds: a run on a
// loaded machine must not fail, a hang must.
constexpr auto kPatience = 30s;

struct Notification {
  WindowHandle window;
  unsigned msg;
  std::intptr_t wParam, lParam;
};

class Receive : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(pty_.ok());
    SetWindowSender(window_.Sender());
    port_ = OPENCOMM(pty_.name(), 16384, 16384);
    ASSERT_GE(port_, 0);
    std::string dcb;
    ASSERT_TRUE(BUILDCOMMDCB("57600,N,8,1", dcb));
    ASSERT_TRUE(SETCOMMSTATE(port_, dcb));
  }

  void TearDown() override {
    if (port_ >= 0) CLOSECOMM(port_);
    SetWindowSender({});
  }

  // The application's handler: disarm, take up to 1000 bytes, re-arm.
  void OnMessage(WindowHandle window, unsigned msg, std::intptr_t wParam, std::intptr_t lParam) {
    if (handlerDelay_.count() > 0) std::this_thread::sleep_for(handlerDelay_);
    ENABLECOMMNOTIFICATION(wParam, 0, 1, -1);
    std::string buffer(1000, ' ');
    const int n = READCOMM(wParam, buffer);
    ENABLECOMMNOTIFICATION(wParam, window, 1, -1);
    std::lock_guard lock(mutex_);
    notifications_.push_back({window, msg, wParam, lParam});
    if (n > 0) received_.append(buffer, 0, static_cast<std::size_t>(n));
    ++calls_;
  }

  // Waits until `size` bytes came through the handler (or a few seconds).
  std::string WaitReceived(std::size_t size, std::chrono::milliseconds limit = kPatience) {
    const auto end = std::chrono::steady_clock::now() + limit;
    for (;;) {
      {
        std::lock_guard lock(mutex_);
        if (received_.size() >= size || std::chrono::steady_clock::now() > end) return received_;
      }
      std::this_thread::sleep_for(1ms);
    }
  }

  void WaitInRing(std::size_t size) {
    const auto end = std::chrono::steady_clock::now() + kPatience;
    while (PortBytesWaiting(port_) < size && std::chrono::steady_clock::now() < end)
      std::this_thread::sleep_for(1ms);
  }

  std::vector<Notification> Notifications() {
    std::lock_guard lock(mutex_);
    return notifications_;
  }

  testing::Pty pty_;
  std::mutex mutex_;
  std::string received_;
  std::vector<Notification> notifications_;
  std::atomic<int> calls_{0};
  std::chrono::milliseconds handlerDelay_{0};
  testing::WindowThread window_{[this](WindowHandle w, unsigned m, std::intptr_t wp,
                                       std::intptr_t lp) { OnMessage(w, m, wp, lp); }};
  Handle port_ = -1;
};

std::string Bytes(const char* text, std::size_t size) {
  return std::string(text, size);
}

TEST_F(Receive, FiveBytesGiveOneNotificationAndComeInOrder) {
  ENABLECOMMNOTIFICATION(port_, kWindow, 1, -1);
  const std::string five = Bytes("T\x05\0\xFFz", 5);
  ASSERT_TRUE(pty_.Send(five));
  EXPECT_EQ(WaitReceived(5), five);
  std::this_thread::sleep_for(50ms);  // room for a stray second notification
  const auto got = Notifications();
  ASSERT_EQ(got.size(), 1U);
  EXPECT_EQ(got[0].window, kWindow);
  EXPECT_EQ(got[0].msg, WM_COMMNOTIFY);
  EXPECT_EQ(got[0].wParam, port_);
  EXPECT_EQ(got[0].lParam, CN_RECEIVE);
}

TEST_F(Receive, BytesCollectedWhileDisarmedAreHandedOverOnArming) {
  ASSERT_TRUE(pty_.Send("abc"));
  WaitInRing(3);
  EXPECT_EQ(PortBytesWaiting(port_), 3U);  // taken from the driver all the same
  EXPECT_EQ(calls_, 0);
  // Arming hands over what waits without another arrival: a remote that
  // sent its header before the window was armed waits for the answer.
  // Thresholds are accepted and change nothing.
  EXPECT_TRUE(ENABLECOMMNOTIFICATION(port_, kWindow, 500, 7));
  EXPECT_EQ(WaitReceived(3), "abc");
  EXPECT_EQ(calls_, 1);
  ASSERT_TRUE(pty_.Send("de"));
  EXPECT_EQ(WaitReceived(5), "abcde");
}

TEST_F(Receive, BytesBeyondOneHandlerReadDoNotWaitForTheNextArrival) {
  const std::string bytes = Pattern(1500, 9);
  ASSERT_TRUE(pty_.Send(bytes));
  WaitInRing(1500);
  // Nothing more arrives after the arming. The handler takes 1000 bytes per
  // call; the other 500 follow at once, in a second call.
  ENABLECOMMNOTIFICATION(port_, kWindow, 1, -1);
  EXPECT_TRUE(WaitReceived(1500) == bytes);
  EXPECT_EQ(calls_, 2);
}

TEST_F(Receive, ASmallBufferTakesOnlyItsLength) {
  ASSERT_TRUE(pty_.Send("0123456789"));
  WaitInRing(10);
  std::string small = "xyz";
  EXPECT_EQ(READCOMM(port_, small), 3);
  EXPECT_EQ(small, "012");
  std::string larger = "##########";
  EXPECT_EQ(READCOMM(port_, larger, 100.0), 7);
  EXPECT_EQ(larger, "3456789###");  // the tail keeps what it held
  std::string empty;
  EXPECT_EQ(READCOMM(port_, empty), 0);
  EXPECT_EQ(READCOMM(port_, larger), 0);
  EXPECT_EQ(larger, "3456789###");
}

TEST_F(Receive, ThreeThousandBytesWrapTheRingInOrder) {
  ENABLECOMMNOTIFICATION(port_, kWindow, 1, -1);
  const std::string bytes = Pattern(3000);
  for (std::size_t at = 0; at < bytes.size(); at += 700)
    ASSERT_TRUE(pty_.Send(bytes.substr(at, 700)));
  EXPECT_TRUE(WaitReceived(3000) == bytes);
}

// A line that brings a few bytes at a time is read in gathered batches:
// every byte still comes, in order, and the last ones, after which the line
// falls silent, do not wait for another arrival.
TEST_F(Receive, ATrickleComesWholeAndItsLastBytesDoNotWaitForMore) {
  ENABLECOMMNOTIFICATION(port_, kWindow, 1, -1);
  const std::string bytes = Pattern(600, 5);
  for (std::size_t at = 0; at < bytes.size(); at += 3) {
    ASSERT_TRUE(pty_.Send(bytes.substr(at, 3)));
    std::this_thread::sleep_for(1ms);
  }
  EXPECT_TRUE(WaitReceived(600) == bytes);
  ASSERT_TRUE(pty_.Send("ab"));
  EXPECT_TRUE(WaitReceived(602) == bytes + "ab");
  ASSERT_TRUE(pty_.Send("c"));
  EXPECT_TRUE(WaitReceived(603) == bytes + "abc");
}

// Once the reads come back short one after another, the line gathers while
// the notification is on its way (the watcher's pause is handed to the
// sender): one sleep of the watcher per notification, not two.
TEST_F(Receive, ATrickleGathersWhileItsNotificationIsOnItsWay) {
  ENABLECOMMNOTIFICATION(port_, kWindow, 1, -1);
  std::string sent;
  for (int slice = 0; slice < 4; ++slice) {
    const std::string three = Pattern(3, static_cast<std::uint32_t>(slice + 1));
    ASSERT_TRUE(pty_.Send(three));
    sent += three;
    // Each slice is taken before the next is sent: every read is short.
    ASSERT_TRUE(WaitReceived(sent.size()) == sent);
  }
  // From the second read on (a slice split over two reads only adds some).
  EXPECT_GE(window_.Pauses(), 3);
}

TEST_F(Receive, ABurstWithASlowHandlerLosesNothing) {
  handlerDelay_ = 1ms;
  ENABLECOMMNOTIFICATION(port_, kWindow, 1, -1);
  const std::string bytes = Pattern(1 << 20, 11);
  std::thread remote([&] { pty_.Send(bytes); });
  const std::string got = WaitReceived(bytes.size(), 60s);
  remote.join();
  EXPECT_EQ(got.size(), bytes.size());
  EXPECT_TRUE(got == bytes);
  EXPECT_LE(PortBytesWaiting(port_), ReceiveRing::kCapacity);
}

TEST_F(Receive, AFullRingWaitsForReadCommWithoutLosingBytes) {
  // Nobody reads: the ring fills up to 2047 bytes and the rest stays with
  // the driver until READCOMM makes room.
  const std::string bytes = Pattern(3000, 5);
  ASSERT_TRUE(pty_.Send(bytes));
  WaitInRing(ReceiveRing::kCapacity);
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(PortBytesWaiting(port_), ReceiveRing::kCapacity);
  std::string got;
  const auto end = std::chrono::steady_clock::now() + kPatience;
  while (got.size() < bytes.size() && std::chrono::steady_clock::now() < end) {
    std::string buffer(1000, ' ');
    got.append(buffer, 0, static_cast<std::size_t>(READCOMM(port_, buffer)));
    std::this_thread::sleep_for(1ms);
  }
  EXPECT_TRUE(got == bytes);
}

TEST_F(Receive, AFullRingFilledWhileDisarmedIsDeliveredOnceRearmed) {
  // The ring fills while nobody is notified and the watcher stops taking
  // bytes; arming must bring the waiting bytes, and the rest after them.
  const std::string bytes = Pattern(3000, 13);
  ASSERT_TRUE(pty_.Send(bytes));
  WaitInRing(ReceiveRing::kCapacity);
  ASSERT_EQ(PortBytesWaiting(port_), ReceiveRing::kCapacity);
  EXPECT_EQ(calls_, 0);
  ENABLECOMMNOTIFICATION(port_, kWindow, 1, -1);
  EXPECT_TRUE(WaitReceived(bytes.size()) == bytes);
}

TEST_F(Receive, WriteCommSendsBytes) {
  EXPECT_EQ(WRITECOMM(port_, std::string(1, '\t')), 1);
  EXPECT_EQ(WRITECOMM(port_, std::string(1, '\0')), 1);
  EXPECT_EQ(pty_.Receive(2, kPatience), Bytes("\t\0", 2));
  EXPECT_EQ(WRITECOMM(port_, ""), 0);
}

TEST_F(Receive, WriteCommDoesNotHangOnALineThatTakesNothing) {
  // Nobody reads the other end: the line fills up, and a write then gives
  // up after its bound. A write that did not finish gives 0, also when the
  // device took part of it: only a finished write is counted.
  const std::string big(40000, 'w');
  int n = 32767;
  for (int i = 0; i < 64 && n == 32767; ++i) {
    n = WRITECOMM(port_, big);
    ASSERT_TRUE(n == 32767 || n == 0) << n;  // counts are 16-bit signed
  }
  EXPECT_EQ(n, 0);
  EXPECT_EQ(WRITECOMM(port_, "x"), 0);
}

TEST_F(Receive, ClosingWhileANotificationIsPendingNeitherHangsNorCallsTheHandler) {
  window_.Pause(true);  // the window thread is busy elsewhere
  ENABLECOMMNOTIFICATION(port_, kWindow, 1, -1);
  ASSERT_TRUE(pty_.Send("hello"));
  const auto end = std::chrono::steady_clock::now() + kPatience;
  while (window_.Queued() == 0 && std::chrono::steady_clock::now() < end)
    std::this_thread::sleep_for(1ms);
  ASSERT_EQ(window_.Queued(), 1U);  // the watcher waits inside its notification
  const std::uint64_t watcher = testing::WatcherOf(port_);
  EXPECT_TRUE(CLOSECOMM(port_));
  EXPECT_FALSE(testing::WatcherRunning(watcher));
  EXPECT_TRUE(testing::ThreadGone(watcher));
  port_ = -1;
  window_.Pause(false);
  window_.Run([] {});  // every call queued before has been dealt with
  EXPECT_EQ(calls_, 0);
}

TEST_F(Receive, AVanishedDeviceLeavesTheWatcherIdleAndKeepsTheRing) {
  ASSERT_TRUE(pty_.Send("keep!"));
  WaitInRing(5);
  const std::uint64_t watcher = testing::WatcherOf(port_);
  pty_.CloseMaster();  // the line hangs up: poll() reports POLLHUP for good
  std::this_thread::sleep_for(100ms);
  // The watcher's own processor time: one that spins on the hang-up uses
  // all it can get of that second.
  const double before = testing::ThreadCpuSeconds(watcher);
  ASSERT_GE(before, 0.0);
  std::this_thread::sleep_for(1s);
  const double used = testing::ThreadCpuSeconds(watcher) - before;
  EXPECT_LT(used, 0.2) << "the watcher spins";
  std::string buffer(10, ' ');
  EXPECT_EQ(READCOMM(port_, buffer), 5);
  EXPECT_EQ(buffer.substr(0, 5), "keep!");
  EXPECT_EQ(WRITECOMM(port_, "x"), 0);
  EXPECT_TRUE(CLOSECOMM(port_));
  EXPECT_FALSE(testing::WatcherRunning(watcher));
  port_ = -1;
}

}  // namespace
}  // namespace talvi::serial
