// What the close box of a window sends when no window manager runs: the
// WM_DELETE_WINDOW client message. Kept apart because Xlib's macros clash
// with GoogleTest's names.
#pragma once

#include <string>

namespace talvi::e2e {

// False when the display cannot be opened.
bool SendCloseRequest(const std::string& display, unsigned long window);

}  // namespace talvi::e2e
