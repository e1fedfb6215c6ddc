// SPDX-License-Identifier: MIT
// The system-style message box.
//
// Texts that cross the window layer are byte strings in the Windows ANSI
// code page (1252), converted at the window boundary; everything here runs
// on the window thread (the one that called Startup, or the first one that
// used the layer).
#pragma once

#include <string>

namespace talvi::ui {

// Message box result codes and styles (values as on Windows).
inline constexpr int IDOK = 1, IDCANCEL = 2, IDYES = 6, IDNO = 7;
inline constexpr unsigned MB_OK = 0x0, MB_OKCANCEL = 0x1, MB_YESNOCANCEL = 0x3, MB_YESNO = 0x4;
inline constexpr unsigned MB_ICONSTOP = 0x10, MB_ICONQUESTION = 0x20, MB_ICONEXCLAMATION = 0x30,
                          MB_ICONINFORMATION = 0x40;
inline constexpr unsigned MB_DEFBUTTON2 = 0x100;
// A modal system-style message box owned by the active window; gives the
// chosen button. Esc answers Cancel when there is one, OK in an OK-only
// box, and nothing in a Yes/No box.
int ShowMessageBox(const std::string& text, const std::string& title, unsigned style);

}  // namespace talvi::ui
