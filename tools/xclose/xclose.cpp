// SPDX-License-Identifier: MIT
// talvi-xclose WINDOW: sends the window the WM_DELETE_WINDOW request that a
// window manager sends when the user clicks the close box. Without a window
// manager (Xvfb) this is the only clean way to ask a program to close a
// window; xdotool's windowkill ends the whole client instead.
#include <cstdio>
#include <cstdlib>

#include "xclose/close_request.h"

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
  if (!talvi::xclose::SendCloseRequest("", window)) {
    std::fprintf(stderr, "talvi-xclose: cannot send the close request\n");
    return 1;
  }
  return 0;
}
