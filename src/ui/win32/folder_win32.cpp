// SPDX-License-Identifier: MIT
// The folder on Win32: a tab control, each page a child dialog laid over the
// tab control's display area, only the chosen one shown.
#include "ui/controls.h"
#include "ui/win32/win32_internal.h"

// After <windows.h>, which it builds on.
#include <commctrl.h>

namespace talvi::ui {
namespace {

void ShowChosen(TFolder& folder) {
  for (std::size_t i = 0; i < folder.aDialogs.size(); ++i) {
    const HWND page = win32::Container(*folder.aDialogs[i]);
    if (page != nullptr) {
      ::ShowWindow(page, static_cast<int>(i) + 1 == folder.nOption ? SW_SHOW : SW_HIDE);
    }
  }
}

}  // namespace

void TFolder::Create() {
  if (!win32::Realise(*this)) return;
  const HWND tabs = native_->hwnd;
  for (std::size_t i = 0; i < aPrompts.size(); ++i) {
    std::wstring text = win32::Wide(aPrompts[i]);
    TCITEMW item{};
    item.mask = TCIF_TEXT;
    item.pszText = text.data();
    ::SendMessageW(tabs, TCM_INSERTITEMW, i, reinterpret_cast<LPARAM>(&item));
  }
  // The display area, in the coordinates of the folder's own dialog.
  RECT area{nLeft, nTop, nRight + 1, nBottom + 1};
  ::SendMessageW(tabs, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&area));
  const HWND parent = win32::Container(*oWnd);
  for (auto& page : aDialogs) {
    win32::BuildPage(*page, parent);
    if (const HWND hwnd = win32::Container(*page)) {
      ::SetWindowPos(hwnd, HWND_TOP, area.left, area.top, area.right - area.left,
                     area.bottom - area.top, SWP_NOACTIVATE);
    }
  }
  SetOption(nOption);
}

void TFolder::SetOption(int n) {
  if (n < 1 || n > static_cast<int>(aDialogs.size())) return;
  nOption = n;
  if (native_->hwnd != nullptr) {
    ::SendMessageW(native_->hwnd, TCM_SETCURSEL, static_cast<WPARAM>(n - 1), 0);
    ShowChosen(*this);
  }
}

namespace win32 {

void ControlNotify(TDialog& /*dialog*/, TControl& control, const NMHDR& header) {
  auto* folder = dynamic_cast<TFolder*>(&control);
  if (folder == nullptr || header.code != static_cast<UINT>(TCN_SELCHANGE)) return;
  const auto chosen = ::SendMessageW(folder->native()->hwnd, TCM_GETCURSEL, 0, 0);
  folder->nOption = static_cast<int>(chosen) + 1;
  ShowChosen(*folder);
}

}  // namespace win32
}  // namespace talvi::ui
