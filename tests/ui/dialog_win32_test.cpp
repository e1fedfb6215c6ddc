// SPDX-License-Identifier: MIT
// The dialog window on Windows: size and centring, the start handler, the
// close check, close requests and Esc.
#include <gtest/gtest.h>

#include "os/keystate.h"
#include "ui/app.h"
#include "ui/dialog.h"
#include "ui/msgbox.h"
#include "ui/multiget.h"
#include "ui/registry.h"
#include "ui/win32_driver.h"
#include "ui/window_handle.h"

namespace talvi::ui {
namespace {

DialogArgs MainWindowArgs() {
  DialogArgs args;
  args.cCaption = "TALVI 1.01 (COM1:57600,N,8,1)   ";
  args.nStyle = 0;
  args.nWidth = 500;
  args.nHeight = 500;
  return args;
}

// <windows.h> makes os::VK_F4 a macro here.
constexpr int kF4 = 115;

HWND Hwnd(const TDialog& dialog) {
  return reinterpret_cast<HWND>(dialog.hWnd);
}

TEST(DialogWin32Test, PixelSizeTitleCentringAndHandle) {
  TDialog dialog(MainWindowArgs());
  EXPECT_EQ(dialog.cCaption, "TALVI 1.01 (COM1:57600,N,8,1)");
  RECT window{};
  std::wstring title;
  LONG_PTR style = 0;
  WindowHandle seen = 0;
  bool visible = false;
  dialog.bStart = [&] {
    seen = dialog.hWnd;
    ::GetWindowRect(Hwnd(dialog), &window);
    title = testing::TextOf(Hwnd(dialog));
    style = ::GetWindowLongPtrW(Hwnd(dialog), GWL_STYLE);
    visible = ::IsWindowVisible(Hwnd(dialog)) != FALSE;
    dialog.End();
  };
  ActivateArgs activate;
  activate.lCentered = true;
  dialog.Activate(activate);
  EXPECT_TRUE(visible);
  EXPECT_EQ(window.right - window.left, 500);
  EXPECT_EQ(window.bottom - window.top, 500);
  RECT area{};
  ASSERT_TRUE(::SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0));
  EXPECT_LE(std::abs((window.left + window.right) - (area.left + area.right)), 2);
  EXPECT_LE(std::abs((window.top + window.bottom) - (area.top + area.bottom)), 2);
  EXPECT_EQ(title, L"TALVI 1.01 (COM1:57600,N,8,1)");
  // Style 0: a caption with the system menu, so a close box.
  EXPECT_EQ(style & WS_CAPTION, WS_CAPTION);
  EXPECT_NE(style & WS_SYSMENU, 0);
  ASSERT_NE(seen, 0);
  EXPECT_EQ(dialog.hWnd, 0);
  EXPECT_EQ(DialogFromHandle(seen), nullptr);
  EXPECT_FALSE(::IsWindow(reinterpret_cast<HWND>(seen)));
  EXPECT_EQ(dialog.nResult, 2);
}

TEST(DialogWin32Test, InitOnceStartOnceDespiteRepaints) {
  TDialog dialog(MainWindowArgs());
  int starts = 0;
  int inits = 0;
  bool clearedWhileRunning = false;
  bool initBeforeStart = false;
  dialog.bStart = [&] {
    ++starts;
    initBeforeStart = inits == 1;
    clearedWhileRunning = !dialog.bStart;
    for (int i = 0; i < 20; ++i) {
      ::RedrawWindow(Hwnd(dialog), nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
      dialog.Refresh();
      SYSREFRESH();
    }
    // More repaints from the dialog's own loop, then the end.
    testing::WhenWindow(L"TALVI 1.01 (COM1:57600,N,8,1)", [&](HWND hwnd) {
      for (int i = 0; i < 10; ++i) ::RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE);
      ::PostMessageW(hwnd, WM_CLOSE, 0, 0);
    });
  };
  ActivateArgs activate;
  activate.bInit = [&](TDialog&) { ++inits; };
  dialog.Activate(activate);
  EXPECT_EQ(starts, 1);
  EXPECT_EQ(inits, 1);
  EXPECT_TRUE(initBeforeStart);
  EXPECT_TRUE(clearedWhileRunning);
}

TEST(DialogWin32Test, EndRefusedWhileValidSaysNo) {
  TDialog dialog(MainWindowArgs());
  bool allow = false;
  bool refused = false;
  bool stillOpen = false;
  bool accepted = false;
  dialog.bStart = [&] {
    refused = !dialog.End(7);
    SYSREFRESH();
    stillOpen = dialog.hWnd != 0 && ::IsWindowVisible(Hwnd(dialog));
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

// The close box and Alt+F4 reach the window as the system menu's Close
// (WM_SYSCOMMAND SC_CLOSE, then WM_CLOSE): both go through the close check.
TEST(DialogWin32Test, CloseBoxRefusedWhileF4Held) {
  TDialog dialog(MainWindowArgs());
  dialog.bValid = [](TDialog&) { return !os::IsKeyDown(kF4); };
  bool openAfterFirstClose = false;
  dialog.bStart = [&] {
    os::SetKeyStateOverride(kF4, true);
    ::SendMessageW(Hwnd(dialog), WM_SYSCOMMAND, SC_CLOSE, 0);
    SYSREFRESH();
    openAfterFirstClose = dialog.hWnd != 0 && ::IsWindowVisible(Hwnd(dialog));
    os::SetKeyStateOverride(kF4, false);
    ::PostMessageW(Hwnd(dialog), WM_SYSCOMMAND, SC_CLOSE, 0);
  };
  dialog.Activate();
  os::ClearKeyStateOverrides();
  EXPECT_TRUE(openAfterFirstClose);
  EXPECT_EQ(dialog.hWnd, 0);
  EXPECT_EQ(dialog.nResult, 2);
}

// Esc in the log (a multi-line edit control, which asks its dialog to
// close on Esc) and Esc as the cancel command leave the transfer window
// open; a dialog that wants Esc as Cancel closes on it.
TEST(DialogWin32Test, EscDoesNotCloseTheWindowUnlessAsked) {
  TDialog dialog(MainWindowArgs());
  std::string text = "log\r\n";
  TMultiGet* log = TMultiGet::New(
      0, 0, [&](std::optional<std::string> v) { return v ? (text = *v) : text; }, &dialog, 200, 80,
      true);
  bool openAfterEsc = false;
  bool logHadFocus = false;
  int keyAfterEsc = 0;
  dialog.bStart = [&] {
    const HWND edit = reinterpret_cast<HWND>(log->hWnd);
    logHadFocus = ::GetFocus() == edit;
    ::PostMessageW(edit, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
    ::PostMessageW(edit, WM_CHAR, VK_ESCAPE, 0x00010001);
    ::PostMessageW(edit, WM_KEYUP, VK_ESCAPE, static_cast<LPARAM>(0xC0010001U));
    ::SendMessageW(Hwnd(dialog), WM_COMMAND, IDCANCEL, 0);
    for (int i = 0; i < 5; ++i) SYSWAIT(20);
    openAfterEsc = dialog.hWnd != 0 && ::IsWindowVisible(Hwnd(dialog));
    keyAfterEsc = LASTKEY();
    dialog.lEscCancels = true;
    ::PostMessageW(edit, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
  };
  ActivateArgs activate;
  activate.bInit = [&](TDialog& d) { d.SetControl(log); };
  dialog.Activate(activate);
  EXPECT_TRUE(logHadFocus);
  EXPECT_TRUE(openAfterEsc);
  EXPECT_EQ(keyAfterEsc, 27);
  EXPECT_EQ(dialog.hWnd, 0);
  EXPECT_EQ(dialog.nResult, 2);
}

TEST(DialogWin32Test, InitThatEndsSkipsStartAndShowsNothing) {
  TDialog dialog(MainWindowArgs());
  bool started = false;
  HWND during = nullptr;
  dialog.bStart = [&] { started = true; };
  ActivateArgs activate;
  activate.bInit = [&](TDialog& d) {
    during = Hwnd(d);
    d.End();
  };
  dialog.Activate(activate);
  EXPECT_FALSE(started);
  EXPECT_NE(during, nullptr);
  EXPECT_FALSE(::IsWindow(during));
  EXPECT_EQ(dialog.nResult, 2);
}

TEST(DialogWin32Test, ClientControlFillsAndFollowsTheWindow) {
  TDialog dialog(MainWindowArgs());
  std::string text;
  TMultiGet* log = TMultiGet::New(
      0, 0, [&](std::optional<std::string> v) { return v ? (text = *v) : text; }, &dialog, 200, 80,
      true);
  RECT client{}, before{}, after{}, resized{};
  dialog.bStart = [&] {
    const HWND edit = reinterpret_cast<HWND>(log->hWnd);
    ::GetClientRect(Hwnd(dialog), &client);
    ::GetWindowRect(edit, &before);
    ::SetWindowPos(Hwnd(dialog), nullptr, 0, 0, 640, 480, SWP_NOMOVE | SWP_NOZORDER);
    SYSREFRESH();
    ::GetClientRect(Hwnd(dialog), &resized);
    ::GetWindowRect(edit, &after);
    dialog.End();
  };
  ActivateArgs activate;
  activate.bInit = [&](TDialog& d) { d.SetControl(log); };
  dialog.Activate(activate);
  EXPECT_EQ(dialog.oClient, log);
  EXPECT_EQ(before.right - before.left, client.right);
  EXPECT_EQ(before.bottom - before.top, client.bottom);
  EXPECT_EQ(after.right - after.left, resized.right);
  EXPECT_EQ(after.bottom - after.top, resized.bottom);
  EXPECT_GT(resized.right, client.right);
}

// A modal dialog opened from another one is owned by it: the owner takes
// no input while it runs and is enabled again when it ends.
TEST(DialogWin32Test, ModalDialogDisablesItsOwner) {
  TDialog outer(MainWindowArgs());
  bool ownerDisabled = false;
  bool ownerEnabledAfter = false;
  bool ownedByOuter = false;
  outer.bStart = [&] {
    DialogArgs args;
    args.cCaption = "Inner";
    args.nWidth = 200;
    args.nHeight = 100;
    TDialog inner(args);
    inner.bStart = [&] {
      ownerDisabled = !::IsWindowEnabled(Hwnd(outer));
      ownedByOuter = ::GetWindow(Hwnd(inner), GW_OWNER) == Hwnd(outer);
      inner.End();
    };
    inner.Activate();
    ownerEnabledAfter = ::IsWindowEnabled(Hwnd(outer)) != FALSE;
    outer.End();
  };
  outer.Activate();
  EXPECT_TRUE(ownerDisabled);
  EXPECT_TRUE(ownerEnabledAfter);
  EXPECT_TRUE(ownedByOuter);
}

}  // namespace
}  // namespace talvi::ui
