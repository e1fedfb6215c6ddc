// SPDX-License-Identifier: MIT
// The pump step, the bounded wait and serial notifications from other
// threads, with the installed sender and with a real pseudo-terminal.
#include <gtest/gtest.h>

#include <QApplication>
#include <atomic>
#include <chrono>
#include <functional>
#include <thread>

#include "serial/pty.h"
#include "serial/serial.h"
#include "ui/app.h"
#include "ui/dialog.h"
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

TEST(PumpTest, RefreshWithNothingPendingAndQuit) {
  Startup();
  for (int i = 0; i < 5; ++i) SYSREFRESH();
  EXPECT_TRUE(SYSREFRESH());
  PostQuitMessage();
  EXPECT_FALSE(SYSREFRESH());  // takes the quit request
  EXPECT_TRUE(SYSREFRESH());
  PostQuitMessage();
  EXPECT_FALSE(SYSWAIT(10));
}

// The window thread sits in a long wait; a notification from another
// thread must wake it and run the handler before the wait returns.
TEST(PumpTest, NotificationWakesWaitAndRunsHandlerFirst) {
  TDialog dialog(Small());
  std::atomic<int> handled{0};
  std::intptr_t gotW = 0, gotL = 0;
  std::thread::id handlerThread;
  bool waitReturnedAfterHandler = false;
  bool senderReturned = false;
  dialog.bCommNotify = [&](std::intptr_t w, std::intptr_t l) {
    gotW = w;
    gotL = l;
    handlerThread = std::this_thread::get_id();
    ++handled;
  };
  dialog.bStart = [&] {
    std::atomic<bool> sent{false};
    std::thread watcher([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      std::stop_source never;
      SendToWindow(dialog.hWnd, serial::WM_COMMNOTIFY, 3, serial::CN_RECEIVE, never.get_token());
      sent = true;
    });
    const auto start = Clock::now();
    while (handled == 0 && Clock::now() - start < std::chrono::seconds(30)) SYSWAIT(60000);
    waitReturnedAfterHandler = handled == 1 && Clock::now() - start < std::chrono::seconds(30);
    watcher.join();
    senderReturned = sent;
    dialog.End();
  };
  dialog.Activate();
  EXPECT_TRUE(waitReturnedAfterHandler);
  EXPECT_TRUE(senderReturned);
  EXPECT_EQ(handlerThread, std::this_thread::get_id());
  EXPECT_EQ(gotW, 3);
  EXPECT_EQ(gotL, serial::CN_RECEIVE);
}

// A watcher blocked in a notification that the window thread has not taken
// yet leaves as soon as the port asks it to stop, and the handler never
// runs afterwards.
TEST(PumpTest, StopReleasesBlockedSenderAndDropsTheCall) {
  TDialog dialog(Small());
  int handled = 0;
  bool released = false;
  dialog.bCommNotify = [&](std::intptr_t, std::intptr_t) { ++handled; };
  dialog.bStart = [&] {
    std::stop_source stop;
    std::atomic<bool> returned{false};
    std::thread watcher([&] {
      SendToWindow(dialog.hWnd, serial::WM_COMMNOTIFY, 0, 1, stop.get_token());
      returned = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_FALSE(returned);  // waiting for the window thread
    stop.request_stop();
    watcher.join();  // would hang if the stop were not seen
    released = returned;
    SYSREFRESH();
    dialog.End();
  };
  dialog.Activate();
  EXPECT_TRUE(released);
  EXPECT_EQ(handled, 0);
}

// The caller's own pause runs while the call is on its way: the window
// thread can handle the call meanwhile (so the watcher, asleep in that
// pause, is not woken for it), and the sender returns only once the pause
// is over and the handler has run.
TEST(PumpTest, TheCallersPauseRunsWhileTheCallIsOnItsWay) {
  TDialog dialog(Small());
  std::atomic<int> handled{0};
  bool handledDuringPause = false;
  bool returnedAfterBoth = false;
  dialog.bCommNotify = [&](std::intptr_t, std::intptr_t) { ++handled; };
  dialog.bStart = [&] {
    std::atomic<bool> pauseOver{false};
    std::atomic<bool> returned{false};
    std::thread watcher([&] {
      std::stop_source never;
      const std::function<void()> pause = [&] {
        // Ends when the window thread has run the handler, which it can do
        // only if the call was posted before the pause began.
        const auto end = Clock::now() + std::chrono::seconds(30);
        while (handled == 0 && Clock::now() < end) {
          std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        handledDuringPause = handled == 1;
        pauseOver = true;
      };
      SendToWindow(dialog.hWnd, serial::WM_COMMNOTIFY, 0, 1, never.get_token(), pause);
      returnedAfterBoth = pauseOver && handled == 1;
      returned = true;
    });
    const auto start = Clock::now();
    while (!returned && Clock::now() - start < std::chrono::seconds(30)) SYSWAIT(10);
    watcher.join();
    dialog.End();
  };
  dialog.Activate();
  EXPECT_TRUE(handledDuringPause);
  EXPECT_TRUE(returnedAfterBoth);
  EXPECT_EQ(handled, 1);
}

// A port that closes during the caller's pause releases the sender as soon
// as the pause is over, and the call, still waiting for the window thread,
// runs no handler.
TEST(PumpTest, StopDuringTheCallersPauseReleasesTheSenderAndDropsTheCall) {
  TDialog dialog(Small());
  int handled = 0;
  bool released = false;
  dialog.bCommNotify = [&](std::intptr_t, std::intptr_t) { ++handled; };
  dialog.bStart = [&] {
    std::stop_source stop;
    std::thread watcher([&] {
      const std::function<void()> pause = [&] { stop.request_stop(); };
      SendToWindow(dialog.hWnd, serial::WM_COMMNOTIFY, 0, 1, stop.get_token(), pause);
    });
    watcher.join();  // would hang if the stop were not seen
    released = true;
    SYSREFRESH();
    dialog.End();
  };
  dialog.Activate();
  EXPECT_TRUE(released);
  EXPECT_EQ(handled, 0);
}

TEST(PumpTest, NotificationToAGoneWindowGoesNowhere) {
  WindowHandle gone = 0;
  int handled = 0;
  {
    TDialog dialog(Small());
    dialog.bCommNotify = [&](std::intptr_t, std::intptr_t) { ++handled; };
    dialog.bStart = [&] {
      gone = dialog.hWnd;
      dialog.End();
    };
    dialog.Activate();
  }
  ASSERT_NE(gone, 0);
  std::stop_source never;
  std::atomic<bool> answered{false};
  std::thread watcher([&] {
    SendToWindow(gone, serial::WM_COMMNOTIFY, 0, 1, never.get_token());
    answered = true;
  });
  // The call is answered from the pump without running anything.
  for (int i = 0; i < 1000 && !answered; ++i) SYSWAIT(10);
  EXPECT_TRUE(answered);
  watcher.join();
  EXPECT_EQ(handled, 0);
}

// The real road: bytes written to a pseudo-terminal reach the dialog's
// handler on the window thread through the port's watcher, and closing the
// port inside the handler's wait loop does not deadlock.
TEST(PumpTest, SerialBytesArriveThroughCommNotify) {
  testing::Pty pty;
  ASSERT_TRUE(pty.ok());
  Startup();  // installs the sender
  TDialog dialog(Small());
  serial::Handle port = -1;
  std::string received;
  dialog.bCommNotify = [&](std::intptr_t w, std::intptr_t) {
    serial::ENABLECOMMNOTIFICATION(w, 0);
    std::string buffer(1000, '\0');
    const int n = serial::READCOMM(w, buffer);
    if (n > 0) received += buffer.substr(0, static_cast<std::size_t>(n));
    serial::ENABLECOMMNOTIFICATION(w, dialog.hWnd);
  };
  ActivateArgs activate;
  activate.bInit = [&](TDialog& d) {
    port = serial::OPENCOMM(pty.name());
    if (port >= 0) serial::ENABLECOMMNOTIFICATION(port, d.hWnd);
  };
  dialog.bStart = [&] {
    pty.Send(std::string("T\x05\0E", 4));
    const auto start = Clock::now();
    while (received.size() < 4 && Clock::now() - start < std::chrono::seconds(10)) SYSWAIT(10);
    // More bytes keep coming while the port closes.
    pty.Send(std::string(64, 'x'));
    serial::CLOSECOMM(port);
    SYSREFRESH();
    dialog.End();
  };
  dialog.Activate(activate);
  ASSERT_GE(port, 0);
  EXPECT_EQ(received.substr(0, 4), std::string("T\x05\0E", 4));
}

}  // namespace
}  // namespace talvi::ui
