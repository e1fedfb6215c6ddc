// SPDX-License-Identifier: MIT
// Shared pieces of the Win32 implementation of the window layer. Windows
// are Unicode windows: the program's 1252 texts are converted here, at the
// window boundary, so every letter shows the same whatever the system's
// ANSI code page is.
#pragma once

// Our headers first: <windows.h> defines names (WM_COMMNOTIFY, VK_...) as
// macros that these headers declare as constants.
// clang-format off
#include "serial/serial.h"
#include "os/keystate.h"
// The implementation of the whole window layer.
#include "ui/app.h"
#include "ui/control.h"
#include "ui/dialog.h"
#include "ui/filedialog.h"
#include "ui/metrics.h"
#include "ui/msgbox.h"
#include "ui/multiget.h"
#include "ui/registry.h"
#include "ui/text1252.h"
#include "ui/window_handle.h"
#include <windows.h>
// clang-format on

#include <map>
#include <string>
#include <vector>

namespace talvi::ui {

// What a control's window is made of: its window class, styles and text.
struct ControlSpec {
  std::wstring cls;
  DWORD style = 0;
  DWORD exStyle = 0;
  std::wstring text;
};

// The system side of a control.
struct TControl::Native {
  HWND hwnd = nullptr;
  int backColor = -1;  // 0x00BBGGRR, -1 the default
  HBRUSH brush = nullptr;
  HBITMAP bitmap = nullptr;
  HFONT font = nullptr;
  bool settingText = false;  // our own text change, not the user's
};

// The system side of a dialog.
struct TDialog::Native {
  HWND hwnd = nullptr;
  HWND owner = nullptr;  // disabled while this modal dialog runs
  bool ended = false;
  bool startPosted = false;
  bool initialising = false;  // inside WM_INITDIALOG: controls link to the template's windows
  bool page = false;          // a folder page (a child dialog inside its folder's window)
};

namespace win32 {

// Private messages of the layer's dialogs.
inline constexpr UINT kStartMessage = WM_APP + 0x51;

std::wstring Wide(const std::string& ansi);
std::string Ansi(const std::wstring& wide);
std::string Ansi(const wchar_t* wide, int length);

// Live dialogs by window handle (the HWND's value), window thread only.
std::map<WindowHandle, TDialog*>& Registry();
// Dialogs that may own new controls, oldest first (LastDialog() is the end).
std::vector<TDialog*>& Created();
void Register(TDialog& dialog);
// Forgets the dialog's handle: it names nothing from now on, and pending
// notifications to it are answered without running anything.
void Unregister(TDialog& dialog);

// The module's instance and the dialog font (created on first use).
HINSTANCE Instance();
HFONT DialogFont();

// One message as the layer's loops handle it: Esc kept from windows that
// must not close on it, the last typed character noted, dialog navigation
// (IsDialogMessageW) for the layer's dialogs, else translate and dispatch.
void Dispatch(MSG& msg);

// The control behind a child window handle or id of `dialog`, or nullptr.
TControl* ControlFromWindow(const TDialog& dialog, HWND hwnd);
TControl* ControlFromId(const TDialog& dialog, int id);
// The child id a control's window gets: its own number, else one derived
// from its place in the dialog (never IDOK or IDCANCEL).
int ChildId(const TDialog& dialog, const TControl& control);
// Class, styles and text of a control's window.
ControlSpec SpecFor(const TControl& control);
// Links the control to the window that the dialog's template made for it,
// or creates that window now; places it at its pixel rectangle. False when
// the owner has no window yet.
bool Realise(TControl& control);
// Places a control's window at its pixel rectangle.
void Place(TControl& control);
// Reacts to a WM_COMMAND from one of the dialog's controls.
void ControlCommand(TDialog& dialog, TControl& control, int code);
// Reacts to a WM_NOTIFY from one of the dialog's controls (a folder's tabs).
void ControlNotify(TDialog& dialog, TControl& control, const NMHDR& header);
// Runs a serial notification that reached `dialog`'s window.
void DeliverNotification(TDialog& dialog, WPARAM wParam, LPARAM lParam);
// Answers every pending notification to `hwnd` without running it, and
// refuses later ones (the window is going).
void ForgetWindow(HWND hwnd);
// A new window took `hwnd`: it may be sent to again.
void WindowBorn(HWND hwnd);
// The layer's window handle of a dialog's container (page or window).
HWND Container(const TDialog& dialog);
// Builds a dialog as a folder page inside `parent`.
void BuildPage(TDialog& page, HWND parent);

}  // namespace win32

// The neutral construction code (controls.cpp, multiget.cpp) adopts
// controls and keeps folder pages from owning new ones through these two.
namespace qt {
TControl* Adopt(TDialog* owner, std::unique_ptr<TControl> control);
void NotDefaultOwner(TDialog& dialog);
}  // namespace qt

}  // namespace talvi::ui
