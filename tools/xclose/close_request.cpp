// SPDX-License-Identifier: MIT
#include "xclose/close_request.h"

#include <X11/Xlib.h>

namespace talvi::xclose {

bool SendCloseRequest(const std::string& display, unsigned long window) {
  Display* d = XOpenDisplay(display.empty() ? nullptr : display.c_str());
  if (d == nullptr) return false;
  XEvent ev{};
  ev.xclient.type = ClientMessage;
  ev.xclient.window = window;
  ev.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
  ev.xclient.format = 32;
  ev.xclient.data.l[0] = static_cast<long>(XInternAtom(d, "WM_DELETE_WINDOW", False));
  ev.xclient.data.l[1] = CurrentTime;
  const Status sent = XSendEvent(d, window, False, NoEventMask, &ev);
  XCloseDisplay(d);
  return sent != 0;
}

}  // namespace talvi::xclose
