// SPDX-License-Identifier: MIT
// The tone on Linux: the X server's bell, set to the wanted pitch and length
// for one ring and then put back as it was.
#include <X11/Xlib.h>

#include <cstdlib>

#include "os/beep.h"

namespace talvi::os {

void Beep(unsigned hz, unsigned ms) {
  const char* name = std::getenv("DISPLAY");
  if (name == nullptr || *name == '\0') return;
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) return;
  XKeyboardState before;
  XGetKeyboardControl(display, &before);
  XKeyboardControl control;
  control.bell_pitch = static_cast<int>(hz);
  control.bell_duration = static_cast<int>(ms);
  XChangeKeyboardControl(display, KBBellPitch | KBBellDuration, &control);
  XBell(display, 0);
  control.bell_pitch = static_cast<int>(before.bell_pitch);
  control.bell_duration = static_cast<int>(before.bell_duration);
  XChangeKeyboardControl(display, KBBellPitch | KBBellDuration, &control);
  XCloseDisplay(display);
}

}  // namespace talvi::os
