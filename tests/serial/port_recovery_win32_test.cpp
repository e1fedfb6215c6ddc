// SPDX-License-Identifier: MIT
// The Windows port backend getting over what stops reception or holds the
// device: a ring filled while nobody was notified, reads that fail for a
// passing reason, a watcher that outstays CLOSECOMM's bound. On the echoing
// COM port of serial/win32_port.h.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <stop_token>
#include <string>
#include <thread>

#include "serial/comm_port.h"
#include "serial/pattern.h"
#include "serial/serial.h"
#include "serial/win32_faults.h"
#include "serial/win32_port.h"

namespace talvi::serial::win32_test {
namespace {

using talvi::testing::Pattern;

bool IsRunning(std::uint64_t watcher) {
  const std::vector<std::uint64_t> running = RunningWatchers();
  return std::find(running.begin(), running.end(), watcher) != running.end();
}

// Waits, up to the patience, until `done` holds.
template <typename Condition>
bool Eventually(Condition done) {
  const auto end = std::chrono::steady_clock::now() + kPatience;
  while (!done() && std::chrono::steady_clock::now() < end) std::this_thread::sleep_for(2ms);
  return done();
}

TEST_F(Win32Port, AFullRingFilledWhileDisarmedIsDeliveredOnceArmed) {
  // Nobody is notified while the ring fills, so the watcher stops taking
  // bytes; arming must bring what waits there, and the rest after it.
  const std::string bytes = Pattern(8 * 1024, 17);
  WriteAll(bytes);
  ASSERT_TRUE(Eventually([&] { return PortBytesWaiting(port_) == 2047; }));
  Collector collector;
  const auto window = CollectOnWindowThread(port_, collector);
  ENABLECOMMNOTIFICATION(port_, kWindow);
  const std::string got = collector.WaitFor(bytes.size());
  EXPECT_EQ(got.size(), bytes.size());
  EXPECT_TRUE(got == bytes) << "bytes were lost or reordered around the full ring";
  EXPECT_EQ(collector.strange(), 0);
  EXPECT_TRUE(CLOSECOMM(port_));
  port_ = -1;
}

TEST_F(Win32Port, BytesThatCameWhileDisarmedAreHandedOverOnArming) {
  // A header that came before the window was armed: nothing else follows
  // until it is answered, so arming alone must bring it.
  WriteAll("T\x05");
  ASSERT_TRUE(Eventually([&] { return PortBytesWaiting(port_) == 2; }));
  Collector collector;
  const auto window = CollectOnWindowThread(port_, collector);
  ENABLECOMMNOTIFICATION(port_, kWindow);
  EXPECT_EQ(collector.WaitFor(2), "T\x05");
  EXPECT_TRUE(CLOSECOMM(port_));
  port_ = -1;
}

TEST_F(Win32Port, ReadsThatFailForAPassingReasonDoNotEndReception) {
  Collector collector;
  const auto window = CollectOnWindowThread(port_, collector);
  ENABLECOMMNOTIFICATION(port_, kWindow);
  faults::FailNextReads(3, ERROR_OPERATION_ABORTED);
  ASSERT_EQ(WRITECOMM(port_, "abc"), 3);
  EXPECT_EQ(collector.WaitFor(3), "abc");
  EXPECT_EQ(faults::FailNextReads(0, 0), 0) << "the watcher did not try again";
  const std::string more = Pattern(4096, 5);
  WriteAll(more);
  EXPECT_TRUE(collector.WaitFor(3 + more.size()) == "abc" + more);
  EXPECT_TRUE(CLOSECOMM(port_));
  port_ = -1;
}

TEST_F(Win32Port, CloseReleasesTheDeviceEvenWhenTheWatcherOutstaysItsBound) {
  std::atomic<bool> entered{false};
  std::atomic<bool> letGo{false};
  // A sender that holds the watcher past the port's stop, as a window layer
  // that broke its promise to let go would.
  SetWindowSender([&](WindowHandle, unsigned, std::intptr_t, std::intptr_t, std::stop_token,
                      const std::function<void()>&) {
    entered = true;
    const auto end = std::chrono::steady_clock::now() + 4 * kPatience;
    while (!letGo && std::chrono::steady_clock::now() < end) std::this_thread::sleep_for(1ms);
  });
  ENABLECOMMNOTIFICATION(port_, kWindow);
  ASSERT_EQ(WRITECOMM(port_, "!"), 1);  // one byte: the watcher takes all of it
  ASSERT_TRUE(Eventually([&] { return entered.load(); })) << "no notification came";
  const std::uint64_t watcher = PortWatcherId(port_);
  ASSERT_NE(watcher, 0U);
  const auto device = reinterpret_cast<HANDLE>(PortSystemHandle(port_));

  struct Closed {
    bool result;
    bool deviceOpen;
  };
  const Handle port = port_;
  port_ = -1;
  // On its own thread, left behind if it hangs. The device handle is looked
  // at right after the close, before anything else can be given its value.
  auto promise = std::make_shared<std::promise<Closed>>();
  std::future<Closed> closing = promise->get_future();
  std::thread([promise, port, device] {
    const bool result = CLOSECOMM(port);
    DWORD flags = 0;
    promise->set_value({result, ::GetHandleInformation(device, &flags) != 0});
  }).detach();
  ASSERT_EQ(closing.wait_for(kPatience), std::future_status::ready) << "CLOSECOMM hangs";
  const Closed closed = closing.get();
  EXPECT_TRUE(closed.result);
  EXPECT_FALSE(closed.deviceOpen) << "CLOSECOMM returned with the device still open";
  EXPECT_TRUE(IsRunning(watcher)) << "the watcher left in time: the bound was not reached";

  // The port opens again at once and works while the old watcher is held.
  port_ = OPENCOMM(name_);
  ASSERT_GE(port_, 0);
  EXPECT_EQ(WRITECOMM(port_, "pong"), 4);
  EXPECT_EQ(PollFor(4), "pong");

  // Let go, the old watcher leaves without touching the new port.
  letGo = true;
  EXPECT_TRUE(Eventually([&] { return !IsRunning(watcher); }));
  EXPECT_EQ(WRITECOMM(port_, "again"), 5);
  EXPECT_EQ(PollFor(5), "again");
}

}  // namespace
}  // namespace talvi::serial::win32_test
