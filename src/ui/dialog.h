// SPDX-License-Identifier: MIT
// The dialog window: its styles, its arguments and its handler slots.
//
// Texts that cross the window layer are byte strings in the Windows ANSI
// code page (1252), converted at the window boundary; everything here runs
// on the window thread (the one that called Startup, or the first one that
// used the layer).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ui/control.h"
#include "ui/window_handle.h"

namespace talvi::ui {

// Window styles understood by TDialog (values as on Windows).
inline constexpr std::uint32_t WS_POPUP = 0x80000000u;
inline constexpr std::uint32_t WS_CAPTION = 0x00C00000u;
inline constexpr std::uint32_t WS_SYSMENU = 0x00080000u;
inline constexpr std::uint32_t WS_THICKFRAME = 0x00040000u;
inline constexpr std::uint32_t WS_MINIMIZEBOX = 0x00020000u;
inline constexpr std::uint32_t WS_MAXIMIZEBOX = 0x00010000u;
inline constexpr std::uint32_t DS_MODALFRAME = 0x00000080u;

// Arguments of TDialog::New, by name. Defaults as documented per field.
struct DialogArgs {
  int nTop = 0, nLeft = 0, nBottom = 10, nRight = 40;  // character units unless pixels
  std::string cCaption;
  std::optional<std::uint32_t> nStyle;  // none: DS_MODALFRAME|WS_POPUP|WS_CAPTION|WS_SYSMENU
  bool lPixel = false;
  int nWidth = 0, nHeight = 0;  // either non-zero: pixels, bottom:=height, right:=width
  std::string cVarName = "oDlg";
  bool lResizable = false;  // adds WS_THICKFRAME|WS_MINIMIZEBOX|WS_MAXIMIZEBOX to the default
  TDialog* oWnd = nullptr;  // owner window
};

// Arguments of TDialog::Activate.
struct ActivateArgs {
  std::function<void(int row, int col)> bLClicked;
  std::function<void()> bMoved;
  std::function<void()> bPainted;
  bool lCentered = false;
  std::function<bool(TDialog&)> bValid;
  bool lModal = true;
  std::function<void(TDialog&)> bInit;
  std::function<void(int row, int col)> bRClicked;
  std::function<bool(TDialog&)> bWhen;
  bool lResize16 = false;
};

// A dialog window. Handler slots are plain members; an empty one does
// nothing (an empty bValid allows closing).
class TDialog {
 public:
  explicit TDialog(const DialogArgs& args = {});
  ~TDialog();
  TDialog(const TDialog&) = delete;
  TDialog& operator=(const TDialog&) = delete;

  static std::unique_ptr<TDialog> New(const DialogArgs& args = {}) {
    return std::make_unique<TDialog>(args);
  }

  // Shows the window. A modal dialog returns only when it has ended; a
  // non-modal one returns once it is shown.
  void Activate(const ActivateArgs& args = {});
  // Closes the window with nResult when bValid allows (true), else false.
  // The close box and every other close request go through here.
  bool End(int result = 2);
  // Makes `control` the client control that fills the client area.
  void SetControl(TControl* control);
  // Delivers a serial notification: runs bCommNotify when set.
  void CommNotify(std::intptr_t wParam, std::intptr_t lParam);

  // Controls registered with this dialog, in creation order.
  const std::vector<std::unique_ptr<TControl>>& Controls() const { return controls_; }
  // Adopts a control (the controls' New calls this). Returns it.
  TControl* AddControl(std::unique_ptr<TControl> control);
  // Sets the title (trailing blanks cut) and shows it when the window exists.
  void SetText(const std::string& caption);
  // Enables or disables input to the window.
  void Enable(bool enabled);
  bool IsEnabled() const;
  // Forces a repaint now.
  void Refresh();
  // Client size in pixels (0 before the window exists).
  int Width() const;
  int Height() const;

  std::string cCaption;
  int nTop = 0, nLeft = 0, nBottom = 0, nRight = 0;
  std::uint32_t nStyle = 0;
  bool lModal = true;
  bool lCentered = false;
  bool lModify = true;
  bool lHelpIcon = true;  // only false suppresses the help button
  // Esc acts as the cancel command (End(2)) only when this is true; the
  // transfer window leaves it false so that Esc never closes it.
  bool lEscCancels = false;
  std::string cVarName;
  // Non-zero while the window exists; back to 0 once it has ended, which is
  // how long-running handlers learn that their window has been closed.
  WindowHandle hWnd = 0;
  TControl* oClient = nullptr;
  int nResult = 0;
  // Close code: none or 2 closes without confirming, any other value confirms.
  std::optional<int> Cargo;
  // Wait cursor over the window while it exists.
  bool lWaitCursor = false;

  std::function<void(TDialog&)> bInit;
  std::function<void()> bStart;  // runs once after the first display, cleared first
  std::function<bool(TDialog&)> bValid;
  std::function<void(std::intptr_t wParam, std::intptr_t lParam)> bCommNotify;
  std::function<void(int row, int col)> bLClicked, bRClicked;
  std::function<void()> bMoved, bPainted;

  struct Native;
  Native* native() const { return native_.get(); }

 private:
  std::vector<std::unique_ptr<TControl>> controls_;
  std::unique_ptr<Native> native_;
};

}  // namespace talvi::ui
