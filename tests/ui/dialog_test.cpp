// SPDX-License-Identifier: MIT
// The dialog window: start handler, close check, close requests, Esc.
#include "ui/dialog.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
#include <QWidget>

#include "os/keystate.h"
#include "ui/app.h"
#include "ui/multiget.h"
#include "ui/qt_driver.h"
#include "ui/registry.h"
#include "ui/window_handle.h"

namespace talvi::ui {
namespace {

using testing::PressKey;

DialogArgs MainWindowArgs() {
  DialogArgs args;
  args.cCaption = "TALVI 1.01 (COM1:57600,N,8,1)   ";
  args.nStyle = 0;
  args.nWidth = 500;
  args.nHeight = 500;
  return args;
}

QWidget* WindowOf(const TDialog&) {
  return QApplication::activeModalWidget();
}

TEST(DialogTest, PixelSizeTitleAndCentring) {
  TDialog dialog(MainWindowArgs());
  EXPECT_EQ(dialog.cCaption, "TALVI 1.01 (COM1:57600,N,8,1)");
  EXPECT_EQ(dialog.nBottom, 500);
  EXPECT_EQ(dialog.nRight, 500);
  EXPECT_EQ(dialog.hWnd, 0);
  QRect geometry;
  QSize size;
  QString title;
  WindowHandle seen = 0;
  dialog.bStart = [&] {
    QWidget* w = WindowOf(dialog);
    ASSERT_NE(w, nullptr);
    geometry = w->frameGeometry();
    size = w->size();
    title = w->windowTitle();
    seen = dialog.hWnd;
    dialog.End();
  };
  ActivateArgs activate;
  activate.lCentered = true;
  dialog.Activate(activate);
  EXPECT_EQ(size, QSize(500, 500));
  const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
  EXPECT_LE(std::abs(geometry.center().x() - screen.center().x()), 1);
  EXPECT_LE(std::abs(geometry.center().y() - screen.center().y()), 1);
  EXPECT_EQ(title, QString("TALVI 1.01 (COM1:57600,N,8,1)"));
  EXPECT_NE(seen, 0);
  EXPECT_EQ(dialog.hWnd, 0);  // gone with the window
  EXPECT_EQ(DialogFromHandle(seen), nullptr);
  EXPECT_EQ(dialog.nResult, 2);
}

TEST(DialogTest, StartRunsOnceDespiteRepaints) {
  TDialog dialog(MainWindowArgs());
  int starts = 0;
  int inits = 0;
  bool clearedWhileRunning = false;
  dialog.bStart = [&] {
    ++starts;
    clearedWhileRunning = !dialog.bStart;
    // Repaints inside the start handler, as a long session causes them.
    for (int i = 0; i < 20; ++i) {
      dialog.Refresh();
      WindowOf(dialog)->update();
      SYSREFRESH();
    }
  };
  ActivateArgs activate;
  activate.bInit = [&](TDialog&) { ++inits; };
  // After the start handler: more repaints from the dialog's own loop,
  // then the end.
  QTimer::singleShot(50, [&] {
    for (int i = 0; i < 10; ++i) WindowOf(dialog)->repaint();
    QTimer::singleShot(50, [&] { dialog.End(); });
  });
  dialog.Activate(activate);
  EXPECT_EQ(starts, 1);
  EXPECT_EQ(inits, 1);
  EXPECT_TRUE(clearedWhileRunning);
}

TEST(DialogTest, EndRefusedWhileValidSaysNo) {
  TDialog dialog(MainWindowArgs());
  bool allow = false;
  bool refused = true;
  bool stillOpen = false;
  bool accepted = false;
  dialog.bStart = [&] {
    refused = !dialog.End(7);
    SYSREFRESH();
    stillOpen = WindowOf(dialog) != nullptr && dialog.hWnd != 0;
    allow = true;
    accepted = dialog.End(7);
  };
  ActivateArgs activate;
  activate.bValid = [&](TDialog&) { return allow; };
  dialog.Activate(activate);
  EXPECT_TRUE(refused);
  EXPECT_TRUE(stillOpen);
  EXPECT_TRUE(accepted);
  EXPECT_EQ(dialog.nResult, 7);
}

// The close box, Alt+F4 and the window manager's delete request all arrive
// as a close of the window: they go through the close check.
TEST(DialogTest, CloseRequestRefusedWhileF4Held) {
  TDialog dialog(MainWindowArgs());
  dialog.lHelpIcon = false;
  dialog.bValid = [](TDialog&) { return !os::IsKeyDown(os::VK_F4); };
  bool openAfterFirstClose = false;
  dialog.bStart = [&] {
    os::SetKeyStateOverride(os::VK_F4, true);
    WindowOf(dialog)->close();
    SYSREFRESH();
    openAfterFirstClose = dialog.hWnd != 0 && WindowOf(dialog) != nullptr;
    os::SetKeyStateOverride(os::VK_F4, false);
    QTimer::singleShot(0, [&] { WindowOf(dialog)->close(); });
  };
  dialog.Activate();
  os::ClearKeyStateOverrides();
  EXPECT_TRUE(openAfterFirstClose);
  EXPECT_EQ(dialog.hWnd, 0);
  EXPECT_EQ(dialog.nResult, 2);
}

TEST(DialogTest, EscDoesNotCloseTheWindowUnlessAsked) {
  TDialog dialog(MainWindowArgs());
  bool openAfterEsc = false;
  dialog.bStart = [&] {
    PressKey(WindowOf(dialog), Qt::Key_Escape);
    SYSREFRESH();
    openAfterEsc = dialog.hWnd != 0;
    dialog.lEscCancels = true;
    PressKey(WindowOf(dialog), Qt::Key_Escape);
  };
  dialog.Activate();
  EXPECT_TRUE(openAfterEsc);
  EXPECT_EQ(dialog.hWnd, 0);
  EXPECT_EQ(dialog.nResult, 2);
}

TEST(DialogTest, InitThatEndsSkipsStart) {
  TDialog dialog(MainWindowArgs());
  bool started = false;
  dialog.bStart = [&] { started = true; };
  ActivateArgs activate;
  activate.bInit = [](TDialog& d) { d.End(); };
  dialog.Activate(activate);
  EXPECT_FALSE(started);
  EXPECT_EQ(dialog.nResult, 2);
}

TEST(DialogTest, WhenFalseShowsNothing) {
  TDialog dialog;
  bool inited = false;
  ActivateArgs activate;
  activate.bWhen = [](TDialog&) { return false; };
  activate.bInit = [&](TDialog&) { inited = true; };
  dialog.Activate(activate);
  EXPECT_FALSE(inited);
  EXPECT_EQ(dialog.nResult, 2);
  // Character units: 10 rows by 40 columns.
  EXPECT_EQ(dialog.nBottom, 151);
  EXPECT_EQ(dialog.nRight, 316);
}

TEST(DialogTest, ClientControlFillsAndFollowsTheWindow) {
  TDialog dialog(MainWindowArgs());
  std::string text;
  TMultiGet* log = TMultiGet::New(
      0, 0, [&](std::optional<std::string> v) { return v ? (text = *v) : text; }, &dialog, 200, 80,
      true);
  QSize before, after;
  dialog.bStart = [&] {
    QWidget* edit = QApplication::activeModalWidget()->focusWidget();
    ASSERT_NE(edit, nullptr);
    before = edit->size();
    WindowOf(dialog)->resize(640, 480);
    SYSREFRESH();
    after = edit->size();
    dialog.End();
  };
  ActivateArgs activate;
  activate.bInit = [&](TDialog& d) { d.SetControl(log); };
  dialog.Activate(activate);
  EXPECT_EQ(dialog.oClient, log);
  EXPECT_EQ(before, QSize(500, 500));
  EXPECT_EQ(after, QSize(640, 480));
}

}  // namespace
}  // namespace talvi::ui
