// SPDX-License-Identifier: MIT
// The system side shared by every control: its window, linked to the one
// the dialog's template made or created on its own, focus, colour, showing.
#include "ui/win32/win32_internal.h"

namespace talvi::ui {

TControl::TControl() : native_(std::make_unique<Native>()) {}

TControl::~TControl() {
  // A control removed before its dialog takes its window with it; one that
  // goes with the dialog finds the window gone already.
  if (native_->hwnd != nullptr && ::IsWindow(native_->hwnd)) ::DestroyWindow(native_->hwnd);
  if (native_->brush != nullptr) ::DeleteObject(native_->brush);
  if (native_->bitmap != nullptr) ::DeleteObject(native_->bitmap);
  if (native_->font != nullptr) ::DeleteObject(native_->font);
}

void TControl::SetFocus() {
  if (native_->hwnd != nullptr) ::SetFocus(native_->hwnd);
}

int TControl::GetBackColor() const {
  return native_->backColor;
}

void TControl::SetBackColor(int rgb) {
  if (native_->brush != nullptr) ::DeleteObject(native_->brush);
  native_->brush = nullptr;
  native_->backColor = rgb < 0 ? -1 : (rgb & 0xFFFFFF);
  if (native_->backColor >= 0) {
    native_->brush = ::CreateSolidBrush(static_cast<COLORREF>(native_->backColor));
  }
  if (native_->hwnd != nullptr) ::InvalidateRect(native_->hwnd, nullptr, TRUE);
}

void TControl::Show(bool visible) {
  if (native_->hwnd != nullptr) ::ShowWindow(native_->hwnd, visible ? SW_SHOW : SW_HIDE);
}

namespace win32 {

void Place(TControl& control) {
  ::MoveWindow(control.native()->hwnd, control.nLeft, control.nTop,
               control.nRight - control.nLeft + 1, control.nBottom - control.nTop + 1, TRUE);
}

bool Realise(TControl& control) {
  TControl::Native* native = control.native();
  if (native->hwnd != nullptr) return false;
  if (control.oWnd == nullptr) return false;
  const HWND parent = Container(*control.oWnd);
  if (parent == nullptr) return false;
  const int id = ChildId(*control.oWnd, control);
  HWND hwnd = nullptr;
  if (control.oWnd->native()->initialising) hwnd = ::GetDlgItem(parent, id);
  if (hwnd == nullptr) {
    // Added after the window was built: made now, with the same class and
    // styles the template would have given it.
    const ControlSpec shape = SpecFor(control);
    hwnd = ::CreateWindowExW(
        shape.exStyle, shape.cls.c_str(), shape.text.c_str(), shape.style | WS_CHILD, 0, 0, 1, 1,
        parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), Instance(), nullptr);
  }
  if (hwnd == nullptr) return false;
  native->hwnd = hwnd;
  control.hWnd = reinterpret_cast<std::intptr_t>(hwnd);
  ::SendMessageW(hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(DialogFont()), FALSE);
  Place(control);
  return true;
}

}  // namespace win32
}  // namespace talvi::ui
