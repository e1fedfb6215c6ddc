// SPDX-License-Identifier: MIT
// The in-memory dialog template: the window and every control registered
// with the dialog, as the system's dialog machinery reads it.
#pragma once

#include <vector>

#include "ui/win32/win32_internal.h"

namespace talvi::ui::win32 {

// A DLGTEMPLATE with its items, DWORD-aligned. Sizes and places in the
// template are placeholders: the window and the controls are put at their
// pixel rectangles when the dialog initialises.
std::vector<DWORD> BuildTemplate(const TDialog& dialog, DWORD style, DWORD exStyle);

}  // namespace talvi::ui::win32
