// SPDX-License-Identifier: MIT
// The base of every control a dialog owns.
//
// Texts that cross the window layer are byte strings in the Windows ANSI
// code page (1252), converted at the window boundary; everything here runs
// on the window thread (the one that called Startup, or the first one that
// used the layer).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace talvi::ui {

class TDialog;

// Base of the controls a dialog owns. Controls are created with New and
// belong to their owner dialog, which builds their windows when it builds
// its own.
class TControl {
 public:
  TControl(const TControl&) = delete;
  TControl& operator=(const TControl&) = delete;
  virtual ~TControl();

  // The library's class name ("TMULTIGET", "TSAY", "TGET" ...).
  virtual std::string ClassName() const = 0;

  TDialog* oWnd = nullptr;                           // owner
  int nTop = 0, nLeft = 0, nBottom = 0, nRight = 0;  // pixels, inclusive
  std::intptr_t hWnd = 0;                            // non-zero once the control's window exists
  int nId = 0;                                       // control number within its dialog (0: none)
  // A control-specific check used by the library's validators.
  std::function<bool(TControl&)> Cargo;

  // Gives this control the keyboard focus.
  void SetFocus();
  // Background colour as 0x00BBGGRR (255 is pure red); -1 is the default.
  int GetBackColor() const;
  void SetBackColor(int rgb);
  void Show(bool visible);

  // Toolkit side of the control (defined by the implementation).
  struct Native;
  Native* native() const { return native_.get(); }
  // Builds the control's window inside its owner's window; called by the
  // owner. Idempotent.
  virtual void Create() = 0;

 protected:
  TControl();
  std::unique_ptr<Native> native_;
};

}  // namespace talvi::ui
