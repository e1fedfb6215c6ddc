// Key state on Linux: the X server's global keyboard (XQueryKeymap through a
// private connection, cached for 10 ms), or the keys reported by the
// program's own windows when there is no X server to ask (keystate.cpp).
#include <X11/Xlib.h>
#include <X11/keysym.h>

#include <array>
#include <chrono>
#include <cstdlib>

#include "os/keystate_system.h"

namespace talvi::os::detail {
namespace {

constexpr auto kCacheFor = std::chrono::milliseconds(10);

// Guarded by the probe's lock (see keystate_system.h).
struct State {
  Display* display = nullptr;
  bool displayTried = false;
  std::array<char, 32> keymap{};
  std::chrono::steady_clock::time_point readAt{};
  bool keymapValid = false;
};

State& St() {
  static State state;
  return state;
}

// The X keysym of a Windows virtual-key code; 0 when the code has none.
KeySym KeySymOf(int vk) {
  if (vk >= 'A' && vk <= 'Z') return static_cast<KeySym>(XK_a + (vk - 'A'));
  if (vk >= '0' && vk <= '9') return static_cast<KeySym>(XK_0 + (vk - '0'));
  if (vk >= 0x70 && vk <= 0x87) return static_cast<KeySym>(XK_F1 + (vk - 0x70));
  switch (vk) {
    case 0x08: return XK_BackSpace;
    case 0x09: return XK_Tab;
    case 0x0D: return XK_Return;
    case 0x10:
    case 0xA0: return XK_Shift_L;
    case 0xA1: return XK_Shift_R;
    case 0x11:
    case 0xA2: return XK_Control_L;
    case 0xA3: return XK_Control_R;
    case 0x12:
    case 0xA4: return XK_Alt_L;
    case 0xA5: return XK_Alt_R;
    case 0x1B: return XK_Escape;
    case 0x20: return XK_space;
    case 0x21: return XK_Prior;
    case 0x22: return XK_Next;
    case 0x23: return XK_End;
    case 0x24: return XK_Home;
    case 0x25: return XK_Left;
    case 0x26: return XK_Up;
    case 0x27: return XK_Right;
    case 0x28: return XK_Down;
    case 0x2D: return XK_Insert;
    case 0x2E: return XK_Delete;
    default: return 0;
  }
}

// Opens the private connection once; nullptr when there is no X server.
Display* Connection(State& s) {
  if (!s.displayTried) {
    s.displayTried = true;
    const char* name = std::getenv("DISPLAY");
    if (name != nullptr && *name != '\0') s.display = XOpenDisplay(nullptr);
  }
  return s.display;
}

bool X11Down(State& s, Display* display, int vk) {
  const KeySym sym = KeySymOf(vk);
  if (sym == 0) return false;
  const auto now = std::chrono::steady_clock::now();
  if (!s.keymapValid || now - s.readAt >= kCacheFor) {
    XQueryKeymap(display, s.keymap.data());
    s.readAt = now;
    s.keymapValid = true;
  }
  const KeyCode code = XKeysymToKeycode(display, sym);
  if (code == 0) return false;
  const auto byte = static_cast<unsigned char>(s.keymap[code / 8u]);
  return ((byte >> (code % 8u)) & 1u) != 0;
}

}  // namespace

std::optional<bool> SystemKeyDown(int vk) {
  State& s = St();
  Display* display = Connection(s);
  if (display == nullptr) return std::nullopt;
  return X11Down(s, display, vk);
}

}  // namespace talvi::os::detail
