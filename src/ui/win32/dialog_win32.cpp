// SPDX-License-Identifier: MIT
// TDialog on Win32: a dialog built from an in-memory template, run modally
// through the layer's own message loop (as the system's modal dialog box
// runs it, with the owner disabled), bStart once after the first paint,
// every close request through End.
#include <algorithm>
#include <stdexcept>

#include "ui/controls.h"
#include "ui/win32/template_win32.h"
#include "ui/win32/win32_internal.h"

namespace talvi::ui {
namespace {

TDialog* DialogOf(HWND hwnd) {
  return reinterpret_cast<TDialog*>(::GetWindowLongPtrW(hwnd, DWLP_USER));
}

void Centre(HWND hwnd) {
  RECT window{};
  RECT area{};
  ::GetWindowRect(hwnd, &window);
  if (!::SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0)) {
    area = {0, 0, ::GetSystemMetrics(SM_CXSCREEN), ::GetSystemMetrics(SM_CYSCREEN)};
  }
  const int width = window.right - window.left;
  const int height = window.bottom - window.top;
  const int x = area.left + (area.right - area.left - width) / 2;
  const int y = area.top + (area.bottom - area.top - height) / 2;
  ::SetWindowPos(hwnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

BOOL Initialise(TDialog& dialog, HWND hwnd) {
  TDialog::Native* native = dialog.native();
  native->hwnd = hwnd;
  win32::Register(dialog);
  if (!native->page) {
    ::SetWindowPos(hwnd, nullptr, dialog.nLeft, dialog.nTop,
                   std::max(1, dialog.nRight - dialog.nLeft),
                   std::max(1, dialog.nBottom - dialog.nTop), SWP_NOZORDER | SWP_NOACTIVATE);
  }
  // Each control takes the window the template made for it.
  native->initialising = true;
  for (const auto& control : dialog.Controls()) control->Create();
  native->initialising = false;
  if (dialog.oClient != nullptr) dialog.SetControl(dialog.oClient);
  for (const auto& control : dialog.Controls()) {
    if (const auto* button = dynamic_cast<const TButton*>(control.get());
        button != nullptr && button->lDefault) {
      ::SendMessageW(hwnd, DM_SETDEFID, static_cast<WPARAM>(win32::ChildId(dialog, *button)), 0);
    }
  }
  if (dialog.lCentered && !native->page) Centre(hwnd);
  if (const HWND first = ::GetNextDlgTabItem(hwnd, nullptr, FALSE)) ::SetFocus(first);
  if (dialog.bInit) dialog.bInit(dialog);
  return FALSE;  // the focus is set
}

INT_PTR Command(TDialog& dialog, WPARAM wParam, LPARAM lParam) {
  const int id = LOWORD(wParam);
  const int code = HIWORD(wParam);
  TControl* control = win32::ControlFromWindow(dialog, reinterpret_cast<HWND>(lParam));
  if (control == nullptr && lParam == 0) control = win32::ControlFromId(dialog, id);
  if (control != nullptr) {
    win32::ControlCommand(dialog, *control, code);
    return TRUE;
  }
  // Esc, as the dialog machinery turns it into the cancel command.
  if (id == IDCANCEL && lParam == 0) {
    if (dialog.lEscCancels) dialog.End(2);
    return TRUE;
  }
  return FALSE;
}

INT_PTR CALLBACK DialogProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (msg == WM_INITDIALOG) {
    ::SetWindowLongPtrW(hwnd, DWLP_USER, lParam);
    return Initialise(*reinterpret_cast<TDialog*>(lParam), hwnd);
  }
  TDialog* dialog = DialogOf(hwnd);
  if (dialog == nullptr) return FALSE;
  TDialog::Native* native = dialog->native();
  switch (msg) {
    case WM_PAINT:
      if (dialog->bPainted) dialog->bPainted();
      // The first paint queues bStart; it runs from the message loop.
      if (dialog->bStart && !native->startPosted && !native->ended) {
        native->startPosted = true;
        ::PostMessageW(hwnd, win32::kStartMessage, 0, 0);
      }
      return FALSE;  // the system paints
    case win32::kStartMessage: {
      native->startPosted = false;
      if (!dialog->bStart || native->ended) return TRUE;
      // Taken and cleared before it runs: paints inside it do not start it
      // again.
      auto start = std::move(dialog->bStart);
      dialog->bStart = nullptr;
      start();
      return TRUE;
    }
    case WM_COMMNOTIFY: win32::DeliverNotification(*dialog, wParam, lParam); return TRUE;
    case WM_CLOSE:
      // The close box, the system menu's Close and Alt+F4.
      dialog->End(2);
      return TRUE;
    case WM_COMMAND: return Command(*dialog, wParam, lParam);
    case WM_NOTIFY: {
      const auto* header = reinterpret_cast<const NMHDR*>(lParam);
      if (TControl* control = win32::ControlFromWindow(*dialog, header->hwndFrom)) {
        win32::ControlNotify(*dialog, *control, *header);
      }
      return FALSE;
    }
    case WM_SIZE:
      if (dialog->oClient != nullptr && dialog->oClient->native()->hwnd != nullptr) {
        ::MoveWindow(dialog->oClient->native()->hwnd, 0, 0, LOWORD(lParam), HIWORD(lParam), TRUE);
      }
      return FALSE;
    case WM_MOVE:
      if (dialog->bMoved) dialog->bMoved();
      return FALSE;
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN: {
      const auto& handler = msg == WM_LBUTTONDOWN ? dialog->bLClicked : dialog->bRClicked;
      if (handler) handler(static_cast<short>(HIWORD(lParam)), static_cast<short>(LOWORD(lParam)));
      return FALSE;
    }
    case WM_SETCURSOR:
      if (!dialog->lWaitCursor) return FALSE;
      ::SetCursor(::LoadCursorW(nullptr, MAKEINTRESOURCEW(32514)));  // the hourglass
      ::SetWindowLongPtrW(hwnd, DWLP_MSGRESULT, TRUE);
      return TRUE;
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORLISTBOX: {
      TControl* control = win32::ControlFromWindow(*dialog, reinterpret_cast<HWND>(lParam));
      if (control == nullptr || control->native()->brush == nullptr) return FALSE;
      const auto rgb = static_cast<COLORREF>(control->native()->backColor);
      ::SetBkColor(reinterpret_cast<HDC>(wParam), rgb);
      return reinterpret_cast<INT_PTR>(control->native()->brush);
    }
    case WM_NCDESTROY:
      win32::ForgetWindow(hwnd);
      ::SetWindowLongPtrW(hwnd, DWLP_USER, 0);
      native->hwnd = nullptr;
      for (const auto& control : dialog->Controls()) control->native()->hwnd = nullptr;
      return FALSE;
    default: return FALSE;
  }
}

DWORD StyleOf(const TDialog& dialog) {
  // Style 0 still gives a titled window that the user can close.
  DWORD style =
      dialog.nStyle != 0 ? dialog.nStyle : DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU;
  return (style & ~static_cast<DWORD>(WS_VISIBLE | WS_CHILD)) | WS_CLIPCHILDREN;
}

void Destroy(TDialog& dialog) {
  if (dialog.native()->hwnd != nullptr) ::DestroyWindow(dialog.native()->hwnd);
  dialog.native()->hwnd = nullptr;
}

}  // namespace

namespace win32 {

void BuildPage(TDialog& page, HWND parent) {
  page.native()->page = true;
  const std::vector<DWORD> tmpl =
      BuildTemplate(page, WS_CHILD | DS_CONTROL | WS_CLIPSIBLINGS, WS_EX_CONTROLPARENT);
  ::CreateDialogIndirectParamW(Instance(), reinterpret_cast<LPCDLGTEMPLATEW>(tmpl.data()), parent,
                               DialogProc, reinterpret_cast<LPARAM>(&page));
}

}  // namespace win32

TDialog::TDialog(const DialogArgs& args) : native_(std::make_unique<Native>()) {
  cCaption = args.cCaption;
  while (!cCaption.empty() && cCaption.back() == ' ') cCaption.pop_back();
  if (args.nWidth != 0 || args.nHeight != 0) {
    nTop = args.nTop;
    nLeft = args.nLeft;
    nBottom = args.nHeight;
    nRight = args.nWidth;
  } else if (args.lPixel) {
    nTop = args.nTop;
    nLeft = args.nLeft;
    nBottom = args.nBottom;
    nRight = args.nRight;
  } else {
    nTop = static_cast<int>(args.nTop * 15.1);
    nLeft = static_cast<int>(args.nLeft * 7.9);
    nBottom = static_cast<int>(args.nBottom * 15.1);
    nRight = static_cast<int>(args.nRight * 7.9);
  }
  if (args.nStyle) {
    nStyle = *args.nStyle;
  } else {
    nStyle = DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU;
    if (args.lResizable) nStyle |= WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
  }
  cVarName = args.cVarName;
  win32::Created().push_back(this);
}

TDialog::~TDialog() {
  win32::Unregister(*this);
  auto& created = win32::Created();
  created.erase(std::remove(created.begin(), created.end(), this), created.end());
  // The window first: it takes its controls' windows with it.
  Destroy(*this);
  controls_.clear();
}

TControl* TDialog::AddControl(std::unique_ptr<TControl> control) {
  control->oWnd = this;
  controls_.push_back(std::move(control));
  TControl* added = controls_.back().get();
  if (native_->hwnd != nullptr && !native_->initialising) added->Create();
  return added;
}

void TDialog::Activate(const ActivateArgs& args) {
  SYSREFRESH();  // starts the layer when nothing else has
  SETLASTKEY(0);
  // Handlers given here replace those of the dialog; empty ones keep them.
  if (args.bLClicked) bLClicked = args.bLClicked;
  if (args.bRClicked) bRClicked = args.bRClicked;
  if (args.bMoved) bMoved = args.bMoved;
  if (args.bPainted) bPainted = args.bPainted;
  if (args.bValid) bValid = args.bValid;
  if (args.bInit) bInit = args.bInit;
  lCentered = args.lCentered;
  lModal = args.lModal;
  nResult = 0;
  native_->ended = false;
  native_->startPosted = false;
  if (args.bWhen && !args.bWhen(*this)) {
    nResult = 2;
    return;
  }
  Destroy(*this);
  HWND owner = nullptr;
  if (lModal) {
    owner = ::GetActiveWindow();
    if (owner != nullptr) owner = ::GetAncestor(owner, GA_ROOT);
  }
  DWORD exStyle = lHelpIcon ? WS_EX_CONTEXTHELP : 0;
  if (owner == nullptr) exStyle |= WS_EX_APPWINDOW;
  const std::vector<DWORD> tmpl = win32::BuildTemplate(*this, StyleOf(*this), exStyle);
  const HWND hwnd = ::CreateDialogIndirectParamW(win32::Instance(),
                                                 reinterpret_cast<LPCDLGTEMPLATEW>(tmpl.data()),
                                                 owner, DialogProc, reinterpret_cast<LPARAM>(this));
  if (hwnd == nullptr && !native_->ended) {
    throw std::runtime_error("the window could not be created");
  }
  if (native_->ended) {
    // bInit ended the dialog: no window is ever shown.
    Destroy(*this);
    return;
  }
  ::ShowWindow(hwnd, SW_SHOW);
  if (!lModal) return;
  native_->owner = owner;
  if (owner != nullptr) ::EnableWindow(owner, FALSE);
  MSG msg;
  while (!native_->ended) {
    const BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
    if (got == 0) {
      // The program is asked to quit: the dialog ends, the request stays
      // for the loop further out.
      ::PostQuitMessage(static_cast<int>(msg.wParam));
      native_->ended = true;
      win32::Unregister(*this);
      break;
    }
    if (got == -1) break;
    win32::Dispatch(msg);
  }
  if (native_->owner != nullptr) ::EnableWindow(native_->owner, TRUE);
  native_->owner = nullptr;
  win32::Unregister(*this);
  Destroy(*this);
}

bool TDialog::End(int result) {
  if (bValid && !bValid(*this)) return false;
  nResult = result;
  native_->ended = true;
  win32::Unregister(*this);
  if (native_->hwnd != nullptr) {
    if (lModal) {
      // As the system ends a dialog box: the owner is enabled again before
      // the window goes, so that it is the one activated; the window is
      // destroyed when its loop has let go of it.
      if (native_->owner != nullptr) ::EnableWindow(native_->owner, TRUE);
      native_->owner = nullptr;
      ::ShowWindow(native_->hwnd, SW_HIDE);
    } else {
      Destroy(*this);
    }
  }
  SYSREFRESH();
  return true;
}

void TDialog::SetControl(TControl* control) {
  oClient = control;
  if (control == nullptr || native_->hwnd == nullptr) return;
  if (control->native()->hwnd == nullptr) control->Create();
  RECT client{};
  ::GetClientRect(native_->hwnd, &client);
  if (control->native()->hwnd != nullptr) {
    ::MoveWindow(control->native()->hwnd, 0, 0, client.right, client.bottom, TRUE);
  }
}

void TDialog::CommNotify(std::intptr_t wParam, std::intptr_t lParam) {
  if (bCommNotify) bCommNotify(wParam, lParam);
}

void TDialog::SetText(const std::string& caption) {
  cCaption = caption;
  while (!cCaption.empty() && cCaption.back() == ' ') cCaption.pop_back();
  if (native_->hwnd != nullptr) ::SetWindowTextW(native_->hwnd, win32::Wide(cCaption).c_str());
}

void TDialog::Enable(bool enabled) {
  if (native_->hwnd != nullptr) ::EnableWindow(native_->hwnd, enabled ? TRUE : FALSE);
}

bool TDialog::IsEnabled() const {
  return native_->hwnd != nullptr && ::IsWindowEnabled(native_->hwnd) != FALSE;
}

void TDialog::Refresh() {
  if (native_->hwnd != nullptr) {
    ::RedrawWindow(native_->hwnd, nullptr, nullptr,
                   RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
  }
}

int TDialog::Width() const {
  RECT client{};
  if (native_->hwnd == nullptr || !::GetClientRect(native_->hwnd, &client)) return 0;
  return client.right;
}

int TDialog::Height() const {
  RECT client{};
  if (native_->hwnd == nullptr || !::GetClientRect(native_->hwnd, &client)) return 0;
  return client.bottom;
}

}  // namespace talvi::ui
