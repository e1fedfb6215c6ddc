// SPDX-License-Identifier: MIT
// The log control on Windows: the EDIT control's text, appends that send
// only the tail, scrolling to the end, the raised limit, read-only input
// and the 1252 letters on screen.
#include <gtest/gtest.h>

#include <cstdint>

#include "ui/app.h"
#include "ui/dialog.h"
#include "ui/metrics.h"
#include "ui/multiget.h"
#include "ui/win32_driver.h"

namespace talvi::ui {
namespace {

// Counts what reaches the edit control: whole-text sets and tail appends.
struct Counts {
  int setText = 0;
  int replaceSel = 0;
  WNDPROC original = nullptr;
};
Counts* counts = nullptr;

LRESULT CALLBACK Counting(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_SETTEXT) ++counts->setText;
  if (msg == EM_REPLACESEL) ++counts->replaceSel;
  return ::CallWindowProcW(counts->original, hwnd, msg, wParam, lParam);
}

// Runs `body` with the log control filling a shown 500x300 window.
void WithLog(TextVar& text, const std::function<void(TMultiGet&, HWND)>& body) {
  DialogArgs args;
  args.nWidth = 500;
  args.nHeight = 300;
  TDialog dialog(args);
  TMultiGet* get = TMultiGet::New(0, 0, text, &dialog, 200, 80, true);
  dialog.bStart = [&] {
    body(*get, reinterpret_cast<HWND>(get->hWnd));
    dialog.End();
  };
  ActivateArgs activate;
  activate.bInit = [&](TDialog& d) { d.SetControl(get); };
  dialog.Activate(activate);
}

void Line(TMultiGet& get, const std::string& line) {
  get.Append(line + "\r\n");
  get.Refresh();
  get.GoBottom();
}

TEST(MultiGetWin32Test, EditControlWithTheLogStyles) {
  TextVar text;
  WithLog(text, [](TMultiGet& get, HWND edit) {
    wchar_t cls[32] = {};
    ::GetClassNameW(edit, cls, 32);
    EXPECT_EQ(_wcsicmp(cls, L"Edit"), 0);
    const auto style = static_cast<DWORD>(::GetWindowLongPtrW(edit, GWL_STYLE));
    for (DWORD bit : {DWORD(ES_MULTILINE), DWORD(ES_READONLY), DWORD(ES_AUTOVSCROLL),
                      DWORD(WS_VSCROLL), DWORD(WS_TABSTOP)}) {
      EXPECT_EQ(style & bit, bit) << std::hex << bit;
    }
    // Raised above the 32 767 characters an edit control starts with.
    // The limit is a 32-bit count, read as such on 32 and 64 bit alike.
    EXPECT_GT(static_cast<std::uint32_t>(::SendMessageW(edit, EM_GETLIMITTEXT, 0, 0)), 1U << 20);
    get.GoBottom();
    EXPECT_EQ(::SendMessageW(edit, EM_GETFIRSTVISIBLELINE, 0, 0), 0);
    EXPECT_EQ(get.GetText(), "");
  });
}

TEST(MultiGetWin32Test, HundredLinesSendOnlyTheirTailsAndEndInView) {
  TextVar text;
  WithLog(text, [&](TMultiGet& get, HWND edit) {
    Counts seen;
    counts = &seen;
    seen.original = reinterpret_cast<WNDPROC>(
        ::SetWindowLongPtrW(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Counting)));
    for (int i = 1; i <= 100; ++i) Line(get, "Receiving track " + std::to_string(i) + ", side 0");
    ::SetWindowLongPtrW(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(seen.original));
    counts = nullptr;
    SYSREFRESH();
    EXPECT_EQ(seen.setText, 0);
    EXPECT_EQ(seen.replaceSel, 100);
    EXPECT_EQ(get.GetText(), text.Get());
    // The caret after the last character.
    DWORD start = 0, end = 0;
    ::SendMessageW(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                   reinterpret_cast<LPARAM>(&end));
    EXPECT_EQ(start, static_cast<DWORD>(::GetWindowTextLengthW(edit)));
    EXPECT_EQ(end, start);
    // The last line (the one "Receiving track 100" is on) is in view.
    const auto lines = ::SendMessageW(edit, EM_GETLINECOUNT, 0, 0);
    const auto first = ::SendMessageW(edit, EM_GETFIRSTVISIBLELINE, 0, 0);
    RECT r{};
    ::SendMessageW(edit, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&r));
    const int lineHeight = CharHeight();
    const auto visible = (r.bottom - r.top) / std::max(1, lineHeight);
    EXPECT_GT(first, 0);
    EXPECT_GE(first + visible, lines - 1);
    // A text that does not extend the shown one is sent whole.
    text.Set("new\r\n");
    get.Refresh();
    EXPECT_EQ(get.GetText(), "new\r\n");
  });
}

TEST(MultiGetWin32Test, MoreThanTheDefaultLimitIsKept) {
  TextVar text;
  WithLog(text, [&](TMultiGet& get, HWND) {
    const std::string line(78, 'x');
    for (int i = 0; i < 600; ++i) Line(get, line);  // 48 000 characters
    EXPECT_EQ(get.GetText().size(), 600u * 80u);
    EXPECT_EQ(get.GetText(), text.Get());
  });
}

TEST(MultiGetWin32Test, ReadOnlyAndVarPutAloneShowNothingNew) {
  std::string value = "first\r\n";
  DialogArgs args;
  args.nWidth = 400;
  args.nHeight = 200;
  TDialog dialog(args);
  TMultiGet* get = TMultiGet::New(
      0, 0, [&](std::optional<std::string> v) { return v ? (value = *v) : value; }, &dialog, 200,
      80, true);
  std::string afterTyping, afterPut, afterRefresh;
  dialog.bStart = [&] {
    const HWND edit = reinterpret_cast<HWND>(get->hWnd);
    ::SetFocus(edit);
    for (wchar_t c : std::wstring(L"abc")) ::PostMessageW(edit, WM_CHAR, c, 1);
    ::PostMessageW(edit, WM_KEYDOWN, VK_BACK, 1);
    for (int i = 0; i < 5; ++i) SYSWAIT(10);
    afterTyping = get->GetText();
    get->VarPut("first\r\nsecond \xE8 gi\xE0\r\n");
    afterPut = get->GetText();
    get->Refresh();
    afterRefresh = get->GetText();
    dialog.End();
  };
  ActivateArgs activate;
  activate.bInit = [&](TDialog& d) { d.SetControl(get); };
  dialog.Activate(activate);
  EXPECT_EQ(afterTyping, "first\r\n");
  EXPECT_EQ(afterPut, "first\r\n");
  EXPECT_EQ(afterRefresh, "first\r\nsecond \xE8 gi\xE0\r\n");
}

}  // namespace
}  // namespace talvi::ui
