// SPDX-License-Identifier: MIT
// Message boxes and the wait box on Windows: the system box with the
// library's styles, its 1252 text, default button and answers; the wait
// box with its progress bar, hourglass and disabled owner.
#include <gtest/gtest.h>

#include "lib/window/msgbox.h"
#include "os/keystate.h"
#include "ui/app.h"
#include "ui/controls.h"
#include "ui/dialog.h"
#include "ui/msgbox.h"
#include "ui/win32_driver.h"

// After <windows.h>, which it builds on.
#include <commctrl.h>

namespace talvi::ui {
namespace {

HWND Hwnd(const TDialog& dialog) {
  return reinterpret_cast<HWND>(dialog.hWnd);
}

// Presses button `id` of the box as a click does.
void Press(HWND box, int id) {
  ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(::GetDlgItem(box, id)));
}

// The texts of the box's static controls, joined.
std::wstring StaticTexts(HWND box) {
  std::wstring all;
  for (HWND child = ::GetWindow(box, GW_CHILD); child != nullptr;
       child = ::GetWindow(child, GW_HWNDNEXT)) {
    wchar_t cls[32] = {};
    ::GetClassNameW(child, cls, 32);
    if (_wcsicmp(cls, L"Static") == 0) all += testing::TextOf(child);
  }
  return all;
}

TEST(MsgBoxWin32Test, InformationBoxShowsTheTextInTwoLines) {
  std::wstring text;
  bool okOnly = false;
  testing::WhenWindow(L"Attenzione", [&](HWND box) {
    text = StaticTexts(box);
    okOnly = ::GetDlgItem(box, IDOK) != nullptr && ::GetDlgItem(box, IDCANCEL) == nullptr &&
             ::GetDlgItem(box, IDNO) == nullptr;
    Press(box, IDOK);
  });
  const lib::MsgResult result = lib::POPMSG("Porta gi\x85 aperta;riprovare", 1);
  EXPECT_TRUE(std::holds_alternative<std::monostate>(result));
  EXPECT_NE(text.find(L"Porta gi\u00e0 aperta\r\nriprovare"), std::wstring::npos);
  EXPECT_TRUE(okOnly);
}

TEST(MsgBoxWin32Test, QuestionsAnswerAsTheirButtons) {
  struct Case {
    int type;
    int press;
    lib::MsgResult expected;
  };
  const Case cases[] = {{2, IDOK, true},  {2, IDCANCEL, false}, {3, IDYES, 6},    {3, IDNO, 7},
                        {3, IDCANCEL, 2}, {4, IDYES, true},     {5, IDNO, false}, {6, IDOK, true}};
  for (const Case& c : cases) {
    testing::WhenWindow(L"Domanda", [&](HWND box) { Press(box, c.press); });
    EXPECT_EQ(lib::POPMSG("Continuo?", c.type, std::string("Domanda")), c.expected)
        << "type " << c.type << " button " << c.press;
  }
}

TEST(MsgBoxWin32Test, TypeFiveHasNoAsDefaultAndEnterAnswersNo) {
  int defaultId = 0;
  testing::WhenWindow(L"Attenzione", [&](HWND box) {
    // The default button is the one with the focus and the default style.
    for (int id : {IDYES, IDNO}) {
      const HWND button = ::GetDlgItem(box, id);
      if ((::GetWindowLongPtrW(button, GWL_STYLE) & 0x0F) == BS_DEFPUSHBUTTON &&
          ::GetFocus() == button) {
        defaultId = id;
      }
    }
    Press(box, defaultId != 0 ? defaultId : IDYES);
  });
  EXPECT_EQ(lib::POPMSG("Annullo le modifiche?", 5), lib::MsgResult(false));
  EXPECT_EQ(defaultId, IDNO);
}

// The wait box over a window: that window takes no input while the box is
// open, the box shows the hourglass and its bar, Esc does not close it, and
// a message box closes it and gives the window back.
TEST(MsgBoxWin32Test, WaitBoxDisablesItsOwnerUntilItCloses) {
  DialogArgs args;
  args.cCaption = "Owner";
  args.nWidth = 400;
  args.nHeight = 300;
  TDialog owner(args);
  bool disabledWhileOpen = false, enabledAfter = false, stillOpenAfterEsc = false;
  bool hourglass = false;
  LRESULT barPos = -1, barMax = -1;
  owner.bStart = [&] {
    lib::POPMSG("Attendere prego", std::nullopt, std::nullopt, false, 0, 10);
    const HWND box = testing::FindDialog(L"Attendere");
    if (box == nullptr) {
      ADD_FAILURE() << "no wait box";
      owner.End();
      return;
    }
    disabledWhileOpen = !::IsWindowEnabled(Hwnd(owner));
    lib::POPMSG("Attendere prego", std::nullopt, std::nullopt, false, std::nullopt, std::nullopt,
                10);
    const HWND bar = ::FindWindowExW(box, nullptr, PROGRESS_CLASSW, nullptr);
    barPos = ::SendMessageW(bar, PBM_GETPOS, 0, 0);
    barMax = ::SendMessageW(bar, PBM_GETRANGE, FALSE, 0);
    // Over the box the cursor is the hourglass.
    RECT r{};
    ::GetWindowRect(box, &r);
    ::SetCursorPos((r.left + r.right) / 2, (r.top + r.bottom) / 2);
    ::SendMessageW(box, WM_SETCURSOR, reinterpret_cast<WPARAM>(box), MAKELPARAM(HTCLIENT, 0));
    hourglass = ::GetCursor() == ::LoadCursorW(nullptr, MAKEINTRESOURCEW(32514));
    // Esc, and Alt+F4 with F4 held.
    ::SendMessageW(box, WM_COMMAND, IDCANCEL, 0);
    os::SetKeyStateOverride(115, true);
    ::SendMessageW(box, WM_SYSCOMMAND, SC_CLOSE, 0);
    os::ClearKeyStateOverrides();
    SYSREFRESH();
    stillOpenAfterEsc = ::IsWindow(box) && ::IsWindowVisible(box);
    testing::WhenWindow(L"Attenzione", [](HWND msg) { Press(msg, IDOK); });
    lib::POPMSG("Fatto", 1);
    enabledAfter =
        ::IsWindowEnabled(Hwnd(owner)) != FALSE && testing::FindDialog(L"Attendere") == nullptr;
    owner.End();
  };
  owner.Activate();
  EXPECT_TRUE(disabledWhileOpen);
  EXPECT_EQ(barPos, 10);
  EXPECT_EQ(barMax, 10);
  EXPECT_TRUE(hourglass);
  EXPECT_TRUE(stillOpenAfterEsc);
  EXPECT_TRUE(enabledAfter);
}

}  // namespace
}  // namespace talvi::ui
