// SPDX-License-Identifier: MIT
// Real keys on Windows: key presses made with SendInput reach the transfer
// window as a user's do (the system's key state, its Alt+F4 handling, the
// dialog machinery's Esc), so the window's own answers to them are seen end
// to end: Esc held is seen and closes nothing, Alt+F4 is refused while F4
// is down, the close box then closes.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <vector>

#include "lib/keys.h"
#include "ui/app.h"
#include "ui/dialog.h"
#include "ui/win32_driver.h"

namespace talvi::ui {
namespace {

// <windows.h> makes the os:: key names macros here.
constexpr int kEscKey = 27;
constexpr int kF4Key = 115;

DialogArgs MainWindowArgs() {
  DialogArgs args;
  args.cCaption = "TALVI 1.01 (COM1:57600,N,8,1)";
  args.nStyle = 0;
  args.nWidth = 500;
  args.nHeight = 500;
  return args;
}

HWND Hwnd(const TDialog& dialog) {
  return reinterpret_cast<HWND>(dialog.hWnd);
}

void Key(WORD vk, bool down) {
  INPUT input{};
  input.type = INPUT_KEYBOARD;
  input.ki.wVk = vk;
  input.ki.wScan = static_cast<WORD>(::MapVirtualKeyW(vk, MAPVK_VK_TO_VSC));
  input.ki.dwFlags = down ? 0 : KEYEVENTF_KEYUP;
  ::SendInput(1, &input, sizeof input);
}

// Lets go of every key the tests press, however a test ends.
struct KeysReleased {
  ~KeysReleased() {
    for (const int vk : {VK_F4, VK_MENU, VK_ESCAPE}) Key(static_cast<WORD>(vk), false);
    for (int i = 0; i < 5; ++i) SYSWAIT(10);
  }
};

// Runs the window's messages until `done` holds; false if it does not
// within a bound that only a lost key press reaches.
template <typename Done>
bool PumpUntil(Done done) {
  const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!done()) {
    if (std::chrono::steady_clock::now() > giveUp) return false;
    SYSWAIT(20);
  }
  return true;
}

// The window with the log holding the focus, in front, as the program
// shows it.
class KeysWin32Test : public ::testing::Test {
 protected:
  KeysWin32Test()
      : dialog_(MainWindowArgs()),
        log_(TMultiGet::New(
            0, 0, [this](std::optional<std::string> v) { return v ? (text_ = *v) : text_; },
            &dialog_, 200, 80, true)) {}

  void Run(std::function<void()> start) {
    dialog_.bStart = [this, start] {
      ::SetForegroundWindow(Hwnd(dialog_));
      ::SetFocus(reinterpret_cast<HWND>(log_->hWnd));
      KeysReleased released;
      start();
    };
    ActivateArgs activate;
    activate.bInit = [this](TDialog& d) { d.SetControl(log_); };
    activate.bValid = [this](TDialog&) {
      f4DownAtCheck_.push_back(lib::GETASYNCKEYSTATE(kF4Key));
      return !f4DownAtCheck_.back();
    };
    dialog_.Activate(activate);
  }

  std::string text_ = "Waiting data (ESC to exit)...\r\n";
  TDialog dialog_;
  TMultiGet* log_;
  std::vector<bool> f4DownAtCheck_;  // at each close check, in turn
};

TEST_F(KeysWin32Test, EscHeldIsSeenAndClosesNothing) {
  bool seenHeld = false, seenTyped = false, openWhileHeld = false, seenReleased = false;
  Run([&] {
    Key(VK_ESCAPE, true);
    seenHeld = PumpUntil([] { return lib::GETASYNCKEYSTATE(kEscKey); });
    seenTyped = PumpUntil([] { return LASTKEY() == kEscKey; });
    for (int i = 0; i < 10; ++i) SYSWAIT(20);
    openWhileHeld = dialog_.hWnd != 0 && ::IsWindowVisible(Hwnd(dialog_));
    Key(VK_ESCAPE, false);
    seenReleased = PumpUntil([] { return !lib::GETASYNCKEYSTATE(kEscKey); });
    dialog_.End();
  });
  EXPECT_TRUE(seenHeld);
  EXPECT_TRUE(seenTyped);
  EXPECT_TRUE(openWhileHeld);
  EXPECT_TRUE(seenReleased);
  EXPECT_EQ(f4DownAtCheck_.size(), 1u);  // only the End above asked
  EXPECT_EQ(dialog_.hWnd, 0);
}

TEST_F(KeysWin32Test, AltF4IsRefusedAndTheCloseBoxThenCloses) {
  bool asked = false, openAfterAltF4 = false;
  Run([&] {
    Key(VK_MENU, true);
    Key(VK_F4, true);
    // The system turns Alt+F4 into the close request, which asks the check.
    asked = PumpUntil([&] { return !f4DownAtCheck_.empty(); });
    Key(VK_F4, false);
    Key(VK_MENU, false);
    PumpUntil([] { return !lib::GETASYNCKEYSTATE(kF4Key); });
    openAfterAltF4 = dialog_.hWnd != 0 && ::IsWindowVisible(Hwnd(dialog_));
    if (dialog_.hWnd != 0) ::PostMessageW(Hwnd(dialog_), WM_SYSCOMMAND, SC_CLOSE, 0);
  });
  ASSERT_TRUE(asked);
  EXPECT_TRUE(f4DownAtCheck_.front());  // Alt+F4's request found F4 down
  EXPECT_TRUE(openAfterAltF4);
  EXPECT_FALSE(f4DownAtCheck_.back());  // the close box's found it up
  EXPECT_GE(f4DownAtCheck_.size(), 2u);
  EXPECT_EQ(dialog_.hWnd, 0);
  EXPECT_EQ(dialog_.nResult, 2);
}

}  // namespace
}  // namespace talvi::ui
