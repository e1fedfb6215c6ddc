// SPDX-License-Identifier: MIT
// Key state on Linux: the X server's global keyboard through a private
// connection, or the keys reported by the program's own windows when there
// is no X server to ask (keystate.cpp).
//
// Where the server has the X Input extension 2.1 or later, the connection
// listens to the raw key events of every keyboard (they reach a listener on
// the root window whichever window has the focus), so every probe first
// takes what has arrived on the socket and never waits for the server: a
// press that reached us before the probe is seen by it, however recently the
// last probe answered. The whole keymap is asked for once at the start and
// then once a second, which puts right anything missed. Without the
// extension the keymap is asked for (one round trip), at most once per 10 ms.
//
// Taking the events costs a read on the socket even when nothing came, and
// a session tests Esc before every byte it takes. So a key asked for again
// within a millisecond is answered from the events taken at its last probe;
// a probe of another key, or one after that millisecond, takes the events
// first. The socket is also handed to the window thread's wait
// (KeyEventDescriptor), which then wakes for a key without a tick; a wait
// that ends has taken whatever came before, and counts as a probe of the
// key probed last (KeyEventsCurrent).
#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>
#include <X11/keysym.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>

#include "os/keystate_system.h"
#include "os/keystate_x11.h"

namespace talvi::os::detail {
namespace {

using Clock = std::chrono::steady_clock;

// Guarded by the probe's lock (see keystate_system.h).
struct State {
  Display* display = nullptr;
  bool displayTried = false;
  int xiOpcode = -1;  // the X Input extension's opcode when raw keys are followed
  std::array<char, 32> keymap{};
  Clock::time_point readAt{};    // last time the keymap was asked for
  Clock::time_point syncedAt{};  // last time the whole keymap was asked for
  Clock::time_point takenAt{};   // last time the arrived events were taken
  int takenFor = 0;              // the key probed then
  int probed = 0;                // the key probed last
  bool keymapValid = false;
  // The key code of each virtual key, looked up once (the connection never
  // refreshes its keyboard mapping); -1 until then.
  std::array<int, 256> codes = [] {
    std::array<int, 256> none{};
    none.fill(-1);
    return none;
  }();
};

// Test settings, read and written without the probe's lock.
std::atomic<std::int64_t> resyncMs{1000};
std::atomic<std::int64_t> cacheMs{10};
std::atomic<std::int64_t> repeatUs{1000};
std::atomic<bool> followsEvents{false};

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

// Asks the server for raw key events from every keyboard, whatever window
// has the focus. False when the server cannot send them.
bool FollowRawKeys(State& s) {
  int opcode = 0, event = 0, error = 0;
  if (!XQueryExtension(s.display, "XInputExtension", &opcode, &event, &error)) return false;
  int major = 2, minor = 1;  // raw events reach every listener from 2.1 on
  if (XIQueryVersion(s.display, &major, &minor) != Success || major < 2 ||
      (major == 2 && minor < 1)) {
    return false;
  }
  std::array<unsigned char, XIMaskLen(XI_LASTEVENT)> bits{};
  XISetMask(bits.data(), XI_RawKeyPress);
  XISetMask(bits.data(), XI_RawKeyRelease);
  XIEventMask mask{};
  mask.deviceid = XIAllMasterDevices;
  mask.mask_len = static_cast<int>(bits.size());
  mask.mask = bits.data();
  XISelectEvents(s.display, DefaultRootWindow(s.display), &mask, 1);
  XSync(s.display, False);
  s.xiOpcode = opcode;
  followsEvents = true;
  return true;
}

// Opens the private connection once; nullptr when there is no X server.
Display* Connection(State& s) {
  if (!s.displayTried) {
    s.displayTried = true;
    const char* name = std::getenv("DISPLAY");
    if (name != nullptr && *name != '\0') s.display = XOpenDisplay(nullptr);
    if (s.display != nullptr) FollowRawKeys(s);
  }
  return s.display;
}

void SetKey(State& s, unsigned code, bool down) {
  if (code >= s.keymap.size() * 8u) return;
  auto& byte = reinterpret_cast<unsigned char&>(s.keymap[code / 8u]);
  const auto bit = static_cast<unsigned char>(1u << (code % 8u));
  byte = static_cast<unsigned char>(down ? byte | bit : byte & ~bit);
}

// Applies the key events that have arrived, without waiting for more.
void TakeRawKeys(State& s, Display* display) {
  while (XPending(display) > 0) {
    XEvent event;
    XNextEvent(display, &event);
    XGenericEventCookie& cookie = event.xcookie;
    if (cookie.type != GenericEvent || cookie.extension != s.xiOpcode) continue;
    if (!XGetEventData(display, &cookie)) continue;
    if (cookie.evtype == XI_RawKeyPress || cookie.evtype == XI_RawKeyRelease) {
      const auto* raw = static_cast<const XIRawEvent*>(cookie.data);
      SetKey(s, static_cast<unsigned>(raw->detail), cookie.evtype == XI_RawKeyPress);
    }
    XFreeEventData(display, &cookie);
  }
}

void Refresh(State& s, Display* display, int vk) {
  const auto now = Clock::now();
  s.probed = vk;
  const bool following = s.xiOpcode >= 0;
  if (following && s.keymapValid && now - s.syncedAt < std::chrono::milliseconds(resyncMs.load())) {
    // Costs no round trip, so it is done for every probe but the quick
    // repeats of one key: an answer from the state before the events
    // already here would be a stale one.
    if (vk != s.takenFor || now - s.takenAt >= std::chrono::microseconds(repeatUs.load())) {
      TakeRawKeys(s, display);
      s.takenAt = now;
      s.takenFor = vk;
    }
    return;
  }
  if (!following && s.keymapValid && now - s.readAt < std::chrono::milliseconds(cacheMs.load())) {
    return;
  }
  s.readAt = now;
  // Events queued before the keymap are older than it: drop them first.
  if (following) TakeRawKeys(s, display);
  XQueryKeymap(display, s.keymap.data());
  s.syncedAt = now;
  s.takenAt = now;
  s.takenFor = vk;
  s.keymapValid = true;
}

// The key code of a virtual key on this server; 0 when it has none.
unsigned CodeOf(State& s, Display* display, int vk) {
  const bool cached = vk >= 0 && vk < static_cast<int>(s.codes.size());
  if (cached && s.codes[static_cast<std::size_t>(vk)] >= 0) {
    return static_cast<unsigned>(s.codes[static_cast<std::size_t>(vk)]);
  }
  const KeySym sym = KeySymOf(vk);
  const unsigned code = sym == 0 ? 0u : XKeysymToKeycode(display, sym);
  if (cached) s.codes[static_cast<std::size_t>(vk)] = static_cast<int>(code);
  return code;
}

bool X11Down(State& s, Display* display, int vk) {
  const unsigned code = CodeOf(s, display, vk);
  if (code == 0) return false;
  Refresh(s, display, vk);
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

int SystemKeyEventDescriptor() {
  State& s = St();
  Display* display = Connection(s);
  return display != nullptr && s.xiOpcode >= 0 ? ConnectionNumber(display) : -1;
}

void TakeSystemKeyEvents() {
  State& s = St();
  if (s.display == nullptr || s.xiOpcode < 0) return;
  TakeRawKeys(s, s.display);
  s.takenAt = Clock::now();
  s.takenFor = 0;
}

void SystemKeyEventsCurrent() {
  State& s = St();
  if (s.display == nullptr || s.xiOpcode < 0) return;
  // As if the last key probed had been probed now, the events taken.
  s.takenAt = Clock::now();
  s.takenFor = s.probed;
}

void SetKeymapResyncInterval(std::chrono::milliseconds interval) {
  resyncMs = interval.count();
}

void SetKeymapCacheInterval(std::chrono::milliseconds interval) {
  cacheMs = interval.count();
}

void SetRepeatInterval(std::chrono::microseconds interval) {
  repeatUs = interval.count();
}

bool FollowsKeyEvents() {
  return followsEvents;
}

}  // namespace talvi::os::detail
