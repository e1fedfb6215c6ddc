// SPDX-License-Identifier: MIT
// The Windows port backend on a real COM port whose far end echoes every
// byte (the fixture in serial/win32_port.h).
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <memory>
#include <stop_token>
#include <string>
#include <thread>

#include "serial/comm_port.h"
#include "serial/pattern.h"
#include "serial/serial.h"
#include "serial/win32_port.h"
#include "support/platform.h"

namespace talvi::serial::win32_test {
namespace {

using talvi::testing::Pattern;

TEST_F(Win32Port, ASecondOpenFails) {
  if (talvi::testing::UnderWine()) {
    GTEST_SKIP() << "Wine lets CreateFileA open a COM port twice despite share mode 0";
  }
  const Handle second = OPENCOMM(name_);
  EXPECT_EQ(second, -1);
  if (second >= 0) CLOSECOMM(second);  // its watcher would take our bytes
}

TEST_F(Win32Port, ReopensAfterClose) {
  EXPECT_TRUE(CLOSECOMM(port_));
  EXPECT_EQ(WRITECOMM(port_, "x"), 0);
  port_ = OPENCOMM(name_, 4096, 4096);
  ASSERT_GE(port_, 0);
  EXPECT_EQ(PortQueueSizes(port_)->in, 4096);
}

TEST_F(Win32Port, EveryByteValueGoesOutAndComesBackThroughTheNotification) {
  Collector collector;
  const auto window = CollectOnWindowThread(port_, collector);
  ASSERT_TRUE(ENABLECOMMNOTIFICATION(port_, kWindow));
  std::string all(256, '\0');
  for (int i = 0; i < 256; ++i) all[static_cast<std::size_t>(i)] = static_cast<char>(i);
  EXPECT_EQ(WRITECOMM(port_, all), 256);
  EXPECT_EQ(collector.WaitFor(256), all);
  EXPECT_GT(collector.notifications(), 0);
  EXPECT_EQ(collector.strange(), 0);
  EXPECT_TRUE(CLOSECOMM(port_));
  port_ = -1;
}

TEST_F(Win32Port, A64KiBBurstArrivesWhole) {
  Collector collector;
  const auto window = CollectOnWindowThread(port_, collector);
  ENABLECOMMNOTIFICATION(port_, kWindow);
  const std::string burst = Pattern(64 * 1024, 3);
  WriteAll(burst);
  const std::string got = collector.WaitFor(burst.size());
  EXPECT_EQ(got.size(), burst.size());
  EXPECT_TRUE(got == burst) << "the burst came back changed";
  EXPECT_TRUE(CLOSECOMM(port_));
  port_ = -1;
}

TEST_F(Win32Port, AFullRingLeavesBytesWithTheDriverUntilReadMakesRoom) {
  // Nobody is notified: the watcher fills the ring and must then wait.
  const std::string bytes = Pattern(8 * 1024, 11);
  WriteAll(bytes);
  const auto end = std::chrono::steady_clock::now() + kPatience;
  while (PortBytesWaiting(port_) < 2047 && std::chrono::steady_clock::now() < end) {
    std::this_thread::sleep_for(5ms);
  }
  ASSERT_EQ(PortBytesWaiting(port_), 2047u);
  std::this_thread::sleep_for(200ms);  // a watcher that overwrote would do it now
  EXPECT_EQ(PortBytesWaiting(port_), 2047u);
  const std::string got = PollFor(bytes.size());
  EXPECT_EQ(got.size(), bytes.size());
  EXPECT_TRUE(got == bytes) << "bytes were lost or reordered around the full ring";
}

TEST_F(Win32Port, CloseWhileTheWatcherWaitsInANotification) {
  std::atomic<bool> entered{false};
  std::atomic<bool> handled{false};
  // A sender that never delivers: it waits until the port's stop is
  // requested, as a window thread that is busy elsewhere would (looking at
  // the token, for the reason given in serial/window_thread.h).
  SetWindowSender([&](WindowHandle, unsigned, std::intptr_t, std::intptr_t, std::stop_token stop,
                      const std::function<void()>&) {
    entered = true;
    const auto end = std::chrono::steady_clock::now() + 2 * kPatience;
    while (!stop.stop_requested() && std::chrono::steady_clock::now() < end) {
      std::this_thread::sleep_for(1ms);
    }
    if (!stop.stop_requested()) handled = true;
  });
  ENABLECOMMNOTIFICATION(port_, kWindow);
  ASSERT_EQ(WRITECOMM(port_, "ping"), 4);
  const auto end = std::chrono::steady_clock::now() + kPatience;
  while (!entered && std::chrono::steady_clock::now() < end) std::this_thread::sleep_for(2ms);
  ASSERT_TRUE(entered) << "no notification came";

  const Handle port = port_;
  port_ = -1;
  // On its own thread, left behind if it hangs, so that a hang fails here.
  auto result = std::make_shared<std::promise<bool>>();
  std::future<bool> closed = result->get_future();
  std::thread([result, port] { result->set_value(CLOSECOMM(port)); }).detach();
  ASSERT_EQ(closed.wait_for(kPatience), std::future_status::ready) << "CLOSECOMM hangs";
  EXPECT_TRUE(closed.get());
  EXPECT_FALSE(handled);
  std::string buffer(16, '\0');
  EXPECT_EQ(READCOMM(port, buffer), 0);

  // The port is free again at once.
  port_ = OPENCOMM(name_);
  EXPECT_GE(port_, 0);
}

}  // namespace
}  // namespace talvi::serial::win32_test
