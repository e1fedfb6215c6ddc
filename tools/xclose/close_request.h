// SPDX-License-Identifier: MIT
// What the close box of a window sends when no window manager runs: the
// WM_DELETE_WINDOW client message. Kept apart from its callers because
// Xlib's macros clash with GoogleTest's names.
#pragma once

#include <string>

namespace talvi::xclose {

// Sends `window` on `display` ("" for $DISPLAY) the close request. False
// when the display cannot be opened or the request cannot be sent.
bool SendCloseRequest(const std::string& display, unsigned long window);

}  // namespace talvi::xclose
