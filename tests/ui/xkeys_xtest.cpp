// SPDX-License-Identifier: MIT
// Against a real X server (a private Xvfb): the key probe reads the
// server's global keyboard, the bell is put back as it was, the window
// manager's close request goes through the close check, and a log's scroll
// bar is not repainted for lines that leave its slider where it was (on
// X11 a scroll moves the pixels; Qt's offscreen platform repaints the whole
// editor for it, so this needs a real server).
#include <gtest/gtest.h>

#include <QAbstractScrollArea>
#include <QApplication>
#include <QScrollBar>
#include <QTimer>
#include <QWidget>
#include <QWindow>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

#include "log_window.h"
#include "os/beep.h"
#include "os/keystate.h"
#include "os/keystate_x11.h"
#include "support/xserver.h"
#include "ui/app.h"
#include "ui/dialog.h"
#include "ui/multiget.h"

// Xlib last: its macros (Bool, Status, None ...) clash with Qt's names.
#include <X11/Xlib.h>

namespace talvi::ui {
namespace {

// One server for the whole program, stopped when the program ends.
testing::XServer* Server() {
  static testing::XServer server;
  static const bool exported = [] {
    if (server.ok()) {
      server.exportDisplay();
      setenv("QT_QPA_PLATFORM", "xcb", 1);
    }
    return true;
  }();
  (void)exported;
  return &server;
}

bool Xdotool(const std::string& args) {
  const std::string command = "xdotool " + args + " >/dev/null 2>&1";
  return std::system(command.c_str()) == 0;
}

// Polls the probe until it answers `want`; the bound only stops a broken
// probe from hanging the test, so it is generous for a loaded machine.
bool Becomes(int vk, bool want) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (std::chrono::steady_clock::now() < end) {
    if (os::IsKeyDown(vk) == want) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return false;
}

TEST(X11Test, EscHeldElsewhereIsSeen) {
  ASSERT_TRUE(Server()->ok());
  Startup();
  ASSERT_EQ(QGuiApplication::platformName(), QString("xcb"));
  // Our window exists but the key goes to the server, not to it.
  QWidget other;
  other.show();
  EXPECT_FALSE(os::IsKeyDown(27));
  ASSERT_TRUE(Xdotool("keydown Escape"));
  EXPECT_TRUE(Becomes(27, true));
  EXPECT_FALSE(os::IsKeyDown(115));
  ASSERT_TRUE(Xdotool("keyup Escape"));
  EXPECT_TRUE(Becomes(27, false));
  ASSERT_TRUE(Xdotool("keydown F4"));
  EXPECT_TRUE(Becomes(115, true));
  ASSERT_TRUE(Xdotool("keyup F4"));
  EXPECT_TRUE(Becomes(115, false));
}

// With the keymap asked for only at the start, presses and releases made
// elsewhere are still seen: the probe follows the server's key events.
TEST(X11Test, KeyEventsAreFollowedWithoutAskingForTheKeymap) {
  ASSERT_TRUE(Server()->ok());
  Startup();
  os::IsKeyDown(27);
  ASSERT_TRUE(os::detail::FollowsKeyEvents());
  os::detail::SetKeymapResyncInterval(std::chrono::hours(1));
  for (int round = 0; round < 3; ++round) {
    ASSERT_TRUE(Xdotool("keydown Escape"));
    EXPECT_TRUE(Becomes(27, true));
    ASSERT_TRUE(Xdotool("keyup Escape"));
    EXPECT_TRUE(Becomes(27, false));
  }
  os::detail::SetKeymapResyncInterval(std::chrono::seconds(1));
}

// A press that has reached the probe's connection is seen by the next
// probe, however recently the probe last answered: a close request that
// arrives right after the F4 press must meet F4 down. The keymap is asked
// for only at the start and answers are kept for an hour, so only the
// events that the probe reads can bring the press.
TEST(X11Test, AKeyEventAlreadyReceivedIsSeenByTheNextProbe) {
  ASSERT_TRUE(Server()->ok());
  Startup();
  os::IsKeyDown(os::VK_F4);
  ASSERT_TRUE(os::detail::FollowsKeyEvents());
  os::detail::SetKeymapResyncInterval(std::chrono::hours(1));
  os::detail::SetKeymapCacheInterval(std::chrono::hours(1));
  EXPECT_FALSE(os::IsKeyDown(os::VK_F4));
  ASSERT_TRUE(Xdotool("keydown F4"));
  EXPECT_TRUE(Becomes(os::VK_F4, true));
  ASSERT_TRUE(Xdotool("keyup F4"));
  EXPECT_TRUE(Becomes(os::VK_F4, false));
  os::detail::SetKeymapCacheInterval(std::chrono::milliseconds(10));
  os::detail::SetKeymapResyncInterval(std::chrono::seconds(1));
}

// Where the probe follows the server's key events, its connection's socket
// is in the window thread's wait: a wait without a bound wakes for a key
// pressed anywhere, so Esc is seen without a tick. Without that socket this
// wait would sleep until the watchdog's timer, long after the key.
TEST(X11Test, AWaitWithoutABoundWakesForAKeyPressedElsewhere) {
  ASSERT_TRUE(Server()->ok());
  Startup();
  os::IsKeyDown(27);
  ASSERT_TRUE(os::detail::FollowsKeyEvents());
  ASSERT_TRUE(KeysWakeWaits());
  bool watchdog = false;
  QTimer timer;
  timer.setSingleShot(true);
  QObject::connect(&timer, &QTimer::timeout, [&watchdog] { watchdog = true; });
  timer.start(60000);
  std::thread presser([] {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    Xdotool("keydown Escape");
  });
  while (!os::IsKeyDown(27) && !watchdog) SYSWAIT(kWaitForever);
  presser.join();
  EXPECT_FALSE(watchdog);
  EXPECT_TRUE(os::IsKeyDown(27));
  ASSERT_TRUE(Xdotool("keyup Escape"));
  EXPECT_TRUE(Becomes(27, false));
}

// A wait that included the probe's socket has taken the key events that
// came before it ended, and counts as a probe of the key probed last (the
// session tests Esc before each byte it takes after a wait). Another key
// still reads the socket: the close check's F4 must meet a press that came
// after the wait. Repeats are answered from the events taken for an hour
// here, so only a probe that reads the socket can see the press.
TEST(X11Test, AWaitCountsAsAProbeOfTheKeyProbedLastOnly) {
  ASSERT_TRUE(Server()->ok());
  Startup();
  os::IsKeyDown(27);
  ASSERT_TRUE(os::detail::FollowsKeyEvents());
  ASSERT_TRUE(KeysWakeWaits());
  os::detail::SetKeymapResyncInterval(std::chrono::hours(1));
  os::detail::SetRepeatInterval(std::chrono::hours(1));
  EXPECT_FALSE(os::IsKeyDown(27));
  SYSWAIT(10);
  ASSERT_TRUE(Xdotool("keydown F4"));
  // Esc and F4 in turn, as the session and the close check ask: each probe
  // of the other key reads the socket.
  bool seen = false;
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!seen && std::chrono::steady_clock::now() < end) {
    EXPECT_FALSE(os::IsKeyDown(27));
    seen = os::IsKeyDown(os::VK_F4);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_TRUE(seen);
  ASSERT_TRUE(Xdotool("keyup F4"));
  os::detail::SetRepeatInterval(std::chrono::microseconds(1000));
  EXPECT_TRUE(Becomes(os::VK_F4, false));
  os::detail::SetKeymapResyncInterval(std::chrono::seconds(1));
}

TEST(X11Test, BeepLeavesTheBellAsItWas) {
  ASSERT_TRUE(Server()->ok());
  Display* display = XOpenDisplay(Server()->display().c_str());
  ASSERT_NE(display, nullptr);
  XKeyboardState before;
  XGetKeyboardControl(display, &before);
  os::Beep(880, 120);
  XKeyboardState after;
  XGetKeyboardControl(display, &after);
  XCloseDisplay(display);
  EXPECT_EQ(after.bell_pitch, before.bell_pitch);
  EXPECT_EQ(after.bell_duration, before.bell_duration);
}

// Without a window manager a close request is the WM_DELETE_WINDOW client
// message; it must be refused while F4 is down, like the close box.
TEST(X11Test, DeleteWindowMessageGoesThroughTheCloseCheck) {
  ASSERT_TRUE(Server()->ok());
  Startup();
  DialogArgs args;
  args.cCaption = "TALVI 1.01 (COM1:57600,N,8,1)";
  args.nStyle = 0;
  args.nWidth = 500;
  args.nHeight = 500;
  TDialog dialog(args);
  dialog.bValid = [](TDialog&) { return !os::IsKeyDown(os::VK_F4); };
  bool openWhileF4 = false;
  dialog.bStart = [&] {
    QWidget* window = QApplication::activeModalWidget();
    ASSERT_NE(window, nullptr);
    Display* display = XOpenDisplay(Server()->display().c_str());
    ASSERT_NE(display, nullptr);
    const auto send = [&] {
      XEvent event{};
      event.xclient.type = ClientMessage;
      event.xclient.window = static_cast<Window>(window->winId());
      event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
      event.xclient.format = 32;
      event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
      event.xclient.data.l[1] = CurrentTime;
      XSendEvent(display, event.xclient.window, False, NoEventMask, &event);
      XFlush(display);
    };
    ASSERT_TRUE(Xdotool("keydown F4"));
    ASSERT_TRUE(Becomes(115, true));
    send();
    for (int i = 0; i < 30; ++i) SYSWAIT(10);
    openWhileF4 = dialog.hWnd != 0 && window->isVisible();
    ASSERT_TRUE(Xdotool("keyup F4"));
    ASSERT_TRUE(Becomes(115, false));
    send();
    XCloseDisplay(display);
  };
  dialog.Activate();  // returns once the second request has closed it
  EXPECT_TRUE(openWhileF4);
  EXPECT_EQ(dialog.hWnd, 0);
  EXPECT_EQ(dialog.nResult, 2);
}

// Counts the paint events a widget gets.
class Paints : public QObject {
 public:
  explicit Paints(QWidget* widget) { widget->installEventFilter(this); }
  int count = 0;

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++count;
    return false;
  }
};

// A long log's slider keeps its size and place from one line to the next:
// the scroll bar is repainted when its slider moves, not for every line.
TEST(X11Test, ALogsScrollBarIsRepaintedOnlyWhenItsSliderMoves) {
  ASSERT_TRUE(Server()->ok());
  Startup();
  TextVar text;
  testing::LogWindow window(text, 500, 300);
  // The log's view, whichever it is: both are scroll areas.
  QAbstractScrollArea* log = nullptr;
  for (QWidget* top : QApplication::topLevelWidgets()) {
    if (log == nullptr) log = top->findChild<QAbstractScrollArea*>();
  }
  ASSERT_NE(log, nullptr);
  const auto exposedBy = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (
      !(log->window()->windowHandle() != nullptr && log->window()->windowHandle()->isExposed()) &&
      std::chrono::steady_clock::now() < exposedBy) {
    SYSWAIT(10);
  }
  ASSERT_TRUE(log->window()->windowHandle()->isExposed());
  auto line = [&](int i) {
    testing::AppendLine(*window.get, "Receiving track " + std::to_string(i) + ", side 0\r\n");
  };
  for (int i = 0; i < 3000; ++i) line(i);
  for (int i = 0; i < 20; ++i) SYSWAIT(5);
  QScrollBar* bar = log->verticalScrollBar();
  ASSERT_TRUE(bar->isVisible());
  Paints paints(bar);
  for (int i = 3000; i < 3100; ++i) {
    line(i);
    SYSREFRESH();
  }
  EXPECT_EQ(bar->value(), bar->maximum());
  EXPECT_LE(paints.count, 5) << "repainted for lines that did not move the slider";
  // The user moving the slider, and the next line bringing it back to the
  // end, repaint it (within a few pump steps; the bound only keeps a broken
  // repaint from hanging the test).
  const auto repainted = [&](int after) {
    for (int i = 0; i < 400 && paints.count <= after; ++i) SYSWAIT(5);
    return paints.count > after;
  };
  const int before = paints.count;
  bar->setValue(0);
  EXPECT_TRUE(repainted(before));
  const int moved = paints.count;
  line(3100);
  EXPECT_TRUE(repainted(moved));
  EXPECT_EQ(bar->value(), bar->maximum());
  window.dialog.End();
}

}  // namespace
}  // namespace talvi::ui
