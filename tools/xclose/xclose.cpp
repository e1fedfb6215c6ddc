// talvi-xclose WINDOW: sends the window the WM_DELETE_WINDOW request that a
// window manager sends when the user clicks the close box. Without a window
// manager (Xvfb) this is the only clean way to ask a program to close a
// window; xdotool's windowkill ends the whole client instead.
#include <X11/Xlib.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: talvi-xclose WINDOW-ID\n");
    return 1;
  }
  char* end = nullptr;
  const unsigned long window = std::strtoul(argv[1], &end, 0);
  if (end == argv[1] || *end != '\0') {
    std::fprintf(stderr, "talvi-xclose: bad window id %s\n", argv[1]);
    return 1;
  }
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) {
    std::fprintf(stderr, "talvi-xclose: cannot open the display\n");
    return 1;
  }
  XEvent ev{};
  ev.xclient.type = ClientMessage;
  ev.xclient.window = window;
  ev.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
  ev.xclient.format = 32;
  ev.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
  ev.xclient.data.l[1] = CurrentTime;
  const Status sent = XSendEvent(display, window, False, NoEventMask, &ev);
  XCloseDisplay(display);
  return sent != 0 ? 0 : 1;
}
