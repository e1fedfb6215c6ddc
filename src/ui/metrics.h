// SPDX-License-Identifier: MIT
// Text metrics and the focused control.
//
// Texts that cross the window layer are byte strings in the Windows ANSI
// code page (1252), converted at the window boundary; everything here runs
// on the window thread (the one that called Startup, or the first one that
// used the layer).
#pragma once

#include <string>

namespace talvi::ui {

class TControl;
class TDialog;

// The control of `dialog` that holds the keyboard focus, or nullptr.
TControl* FocusedControl(const TDialog& dialog);
// Width in pixels of `text` (one line) in a font; an empty family means the
// screen's default font, a size of 0 its default size.
int TextWidth(const std::string& text, const std::string& family = "", int pixelSize = 0);
// Character (line) height in pixels of a font, as TextWidth.
int CharHeight(const std::string& family = "", int pixelSize = 0);

}  // namespace talvi::ui
