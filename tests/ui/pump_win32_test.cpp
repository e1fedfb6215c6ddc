// SPDX-License-Identifier: MIT
// The pump step, the bounded wait and serial notifications that watcher
// threads send with the installed sender, on Windows.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "serial/serial.h"
#include "ui/app.h"
#include "ui/dialog.h"
#include "ui/win32_driver.h"
#include "ui/window_handle.h"

namespace talvi::ui {
namespace {

using Clock = std::chrono::steady_clock;

DialogArgs Small() {
  DialogArgs args;
  args.nWidth = 200;
  args.nHeight = 100;
  return args;
}

TEST(PumpWin32Test, RefreshWithNothingPendingAndQuit) {
  Startup();
  for (int i = 0; i < 5; ++i) SYSREFRESH();
  EXPECT_TRUE(SYSREFRESH());
  PostQuitMessage();
  EXPECT_FALSE(SYSREFRESH());  // takes the quit message
  EXPECT_TRUE(SYSREFRESH());
  PostQuitMessage();
  EXPECT_FALSE(SYSWAIT(10));
}

// The window thread sits in a long wait; a notification from another
// thread must wake it and run the handler, on the window thread, before
// the wait returns; the sender returns only after the handler has run.
TEST(PumpWin32Test, NotificationWakesWaitAndRunsHandlerFirst) {
  TDialog dialog(Small());
  std::atomic<int> handled{0};
  std::intptr_t gotW = 0, gotL = 0;
  DWORD handlerThread = 0;
  bool wokeEarly = false;
  std::atomic<bool> senderSawHandler{false};
  dialog.bCommNotify = [&](std::intptr_t w, std::intptr_t l) {
    gotW = w;
    gotL = l;
    handlerThread = ::GetCurrentThreadId();
    ++handled;
  };
  dialog.bStart = [&] {
    std::thread watcher([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      std::stop_source never;
      SendToWindow(dialog.hWnd, WM_COMMNOTIFY, 3, serial::CN_RECEIVE, never.get_token());
      senderSawHandler = handled == 1;
    });
    const auto start = Clock::now();
    SYSWAIT(60000);
    while (handled == 0 && Clock::now() - start < std::chrono::seconds(30)) SYSWAIT(60000);
    wokeEarly = handled == 1 && Clock::now() - start < std::chrono::seconds(30);
    watcher.join();
    dialog.End();
  };
  dialog.Activate();
  EXPECT_TRUE(wokeEarly);
  EXPECT_TRUE(senderSawHandler);
  EXPECT_EQ(handlerThread, ::GetCurrentThreadId());
  EXPECT_EQ(gotW, 3);
  EXPECT_EQ(gotL, serial::CN_RECEIVE);
}

// A watcher blocked in a notification that the window thread has not taken
// yet leaves as soon as its port asks it to stop (the window thread is
// busy, as it is inside CLOSECOMM), and the handler never runs afterwards.
TEST(PumpWin32Test, StopReleasesBlockedSenderAndDropsTheCall) {
  TDialog dialog(Small());
  int handled = 0;
  bool waited = false;
  bool released = false;
  dialog.bCommNotify = [&](std::intptr_t, std::intptr_t) { ++handled; };
  dialog.bStart = [&] {
    std::stop_source stop;
    std::atomic<bool> returned{false};
    std::thread watcher([&] {
      SendToWindow(dialog.hWnd, WM_COMMNOTIFY, 5, 1, stop.get_token());
      returned = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    waited = !returned;  // waiting for the window thread
    stop.request_stop();
    watcher.join();  // would hang if the stop were not seen
    released = returned;
    for (int i = 0; i < 5; ++i) SYSWAIT(10);  // the call arrives now: nothing runs
    dialog.End();
  };
  dialog.Activate();
  EXPECT_TRUE(waited);
  EXPECT_TRUE(released);
  EXPECT_EQ(handled, 0);
}

TEST(PumpWin32Test, NotificationToAnEndedOrGoneWindowGoesNowhere) {
  WindowHandle gone = 0;
  int handled = 0;
  bool answeredWhileHidden = false;
  {
    TDialog dialog(Small());
    dialog.bCommNotify = [&](std::intptr_t, std::intptr_t) { ++handled; };
    dialog.bStart = [&] {
      gone = dialog.hWnd;
      dialog.End();
      // Ended, its window not yet destroyed: a call to it is answered.
      std::stop_source never;
      std::thread watcher([&] {
        SendToWindow(gone, WM_COMMNOTIFY, 0, 1, never.get_token());
        answeredWhileHidden = true;
      });
      watcher.join();
    };
    dialog.Activate();
  }
  ASSERT_NE(gone, 0);
  EXPECT_TRUE(answeredWhileHidden);
  std::stop_source never;
  std::atomic<bool> answered{false};
  std::thread watcher([&] {
    SendToWindow(gone, WM_COMMNOTIFY, 0, 1, never.get_token());
    answered = true;
  });
  watcher.join();
  EXPECT_TRUE(answered);
  EXPECT_EQ(handled, 0);
}

// Many notifications from two watchers (two ports) to one window: each
// runs exactly once, in the order each watcher sent them.
TEST(PumpWin32Test, TwoWatchersEveryCallRunsOnce) {
  TDialog dialog(Small());
  std::vector<std::intptr_t> seen[2];
  dialog.bCommNotify = [&](std::intptr_t w, std::intptr_t l) { seen[w - 1].push_back(l); };
  dialog.bStart = [&] {
    std::atomic<int> done{0};
    auto send = [&](std::intptr_t port) {
      std::stop_source never;
      for (std::intptr_t i = 0; i < 200; ++i) {
        SendToWindow(dialog.hWnd, WM_COMMNOTIFY, port, i, never.get_token());
      }
      ++done;
    };
    std::thread a(send, 1), b(send, 2);
    const auto start = Clock::now();
    while (done < 2 && Clock::now() - start < std::chrono::seconds(60)) SYSWAIT(100);
    a.join();
    b.join();
    dialog.End();
  };
  dialog.Activate();
  for (auto& calls : seen) {
    ASSERT_EQ(calls.size(), 200u);
    for (std::size_t i = 0; i < calls.size(); ++i)
      EXPECT_EQ(calls[i], static_cast<std::intptr_t>(i));
  }
}

}  // namespace
}  // namespace talvi::ui
