// SPDX-License-Identifier: MIT
// The fixture of the Windows port tests: a real COM port whose far end
// echoes every byte (under Wine: tests/serial/wine_com_peer.cpp maps a
// pseudo-terminal as the port and echoes on its master). The port's name
// comes from TALVI_TEST_COM_ECHO; without it the cases skip.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "serial/comm_port.h"
#include "serial/serial.h"
#include "serial/window_thread.h"

namespace talvi::serial::win32_test {

using namespace std::chrono_literals;

constexpr WindowHandle kWindow = 0x1234;
// Generous bounds for things that normally take milliseconds: a run under
// a loaded machine must not fail, a hang must.
constexpr auto kPatience = 30s;

class Win32Port : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* name = std::getenv("TALVI_TEST_COM_ECHO");
    if (name == nullptr || *name == '\0') {
      GTEST_SKIP() << "no echoing COM port (TALVI_TEST_COM_ECHO); run through wine_com_peer";
    }
    name_ = name;
    port_ = OPENCOMM(name_);
    ASSERT_GE(port_, 0) << name_;
    std::string dcb;
    ASSERT_TRUE(BUILDCOMMDCB("57600,N,8,1", dcb));
    ASSERT_TRUE(SETCOMMSTATE(port_, dcb));
  }
  void TearDown() override {
    if (port_ >= 0) CLOSECOMM(port_);
    SetWindowSender({});
  }

  // Writes all of `bytes`, in the largest pieces WRITECOMM takes.
  void WriteAll(const std::string& bytes) {
    std::size_t done = 0;
    const auto end = std::chrono::steady_clock::now() + kPatience;
    while (done < bytes.size() && std::chrono::steady_clock::now() < end) {
      const int n = WRITECOMM(port_, bytes.substr(done, 32767));
      ASSERT_GE(n, 0);
      done += static_cast<std::size_t>(n);
    }
    ASSERT_EQ(done, bytes.size());
  }

  // What READCOMM gives until `count` bytes came or the patience ran out,
  // read from this thread (no notification armed).
  std::string PollFor(std::size_t count) {
    std::string got;
    const auto end = std::chrono::steady_clock::now() + kPatience;
    while (got.size() < count && std::chrono::steady_clock::now() < end) {
      std::string buffer(4096, '\0');
      const int n = READCOMM(port_, buffer);
      if (n > 0) {
        got.append(buffer, 0, static_cast<std::size_t>(n));
      } else {
        std::this_thread::sleep_for(1ms);
      }
    }
    return got;
  }

  std::string name_;
  Handle port_ = -1;
};

// A handler on the window thread that takes everything waiting at each
// notification, as the transfer dialog does.
class Collector {
 public:
  void Handle(Handle port, WindowHandle window, unsigned msg, std::intptr_t wParam,
              std::intptr_t lParam) {
    std::lock_guard lock(mutex_);
    ++notifications_;
    if (window != kWindow || msg != WM_COMMNOTIFY || wParam != port || lParam != CN_RECEIVE) {
      ++strange_;
    }
    std::string buffer(32767, '\0');
    const int n = READCOMM(port, buffer);
    if (n > 0) got_.append(buffer, 0, static_cast<std::size_t>(n));
  }
  std::string WaitFor(std::size_t count) {
    const auto end = std::chrono::steady_clock::now() + kPatience;
    for (;;) {
      {
        std::lock_guard lock(mutex_);
        if (got_.size() >= count || std::chrono::steady_clock::now() >= end) return got_;
      }
      std::this_thread::sleep_for(2ms);
    }
  }
  int notifications() {
    std::lock_guard lock(mutex_);
    return notifications_;
  }
  int strange() {
    std::lock_guard lock(mutex_);
    return strange_;
  }

 private:
  std::mutex mutex_;
  std::string got_;
  int notifications_ = 0;
  int strange_ = 0;
};

// A stand-in window thread that hands each notification of `port` to
// `collector`, installed as the window sender.
inline std::unique_ptr<testing::WindowThread> CollectOnWindowThread(Handle port,
                                                                    Collector& collector) {
  auto window = std::make_unique<testing::WindowThread>(
      [&collector, port](WindowHandle w, unsigned msg, std::intptr_t wp, std::intptr_t lp) {
        collector.Handle(port, w, msg, wp, lp);
      });
  SetWindowSender(window->Sender());
  return window;
}

}  // namespace talvi::serial::win32_test
