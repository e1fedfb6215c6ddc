// SPDX-License-Identifier: MIT
// The program's live windows: the latest dialog, the dialog behind a handle,
// the active window, and enabling windows by handle.
#pragma once

#include "ui/window_handle.h"

namespace talvi::ui {

class TDialog;

// The dialog created most recently that still exists (default owner of
// controls), or nullptr.
TDialog* LastDialog();
// The dialog behind a window handle, or nullptr when it has gone.
TDialog* DialogFromHandle(WindowHandle hWnd);
// Handle of the active (focused) window of this program, 0 when none.
WindowHandle GetActiveWindow();
// Enables or disables the window behind a handle; false when it has gone.
bool EnableWindow(WindowHandle hWnd, bool enabled);
bool IsWindowEnabled(WindowHandle hWnd);

}  // namespace talvi::ui
