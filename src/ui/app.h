// SPDX-License-Identifier: MIT
// The application object and its message pump: start-up, the pump step and
// the waiting pump step, the cross-thread sender that the serial layer's
// watchers use, the last key typed and the quit request.
//
// Texts that cross the window layer are byte strings in the Windows ANSI
// code page (1252), converted at the window boundary; everything here runs
// on the window thread (the one that called Startup, or the first one that
// used the layer).
#pragma once

#include <cstdint>
#include <functional>
#include <stop_token>

#include "ui/window_handle.h"

namespace talvi::ui {

// Creates the application object when there is none yet (every function of
// this layer also does so on first use). Shutdown destroys it when Startup
// made it. Startup also installs the window sender into the serial layer.
void Startup(int& argc, char** argv);
void Startup();
void Shutdown();

// One step of the message pump: handles every event and cross-thread call
// that is waiting, without waiting itself. False when the program has been
// asked to quit (PostQuitMessage or the application's quit), true otherwise.
bool SYSREFRESH();
// Like SYSREFRESH, but when nothing is waiting it blocks on the window
// thread's event queue for at most `ms` milliseconds (kWaitForever: without
// a bound); any event (a serial notification from a watcher thread
// included) wakes it at once. Lets wait loops idle without spinning a
// processor core.
inline constexpr int kWaitForever = -1;
bool SYSWAIT(int ms);
// True when SYSWAIT also wakes for a key pressed or released anywhere on the
// screen (X11, where the key probe follows the server's key events): a wait
// for Esc then needs no bound. False where the key state has to be asked for
// again to see a change (a wait for a key then keeps a short bound).
bool KeysWakeWaits();
// The "send to window and wait" function that Startup installs into the
// serial layer: runs the window's CommNotify for WM_COMMNOTIFY on the
// window thread (inside SYSREFRESH, SYSWAIT or a dialog's own loop) and
// returns once it has run, once `stop` is requested, or at once when the
// handle names no live window. No handler runs once `stop` is requested.
// `meanwhile` (when not empty) runs on the calling thread while the message
// is on its way, before the wait (serial::WindowSender).
void SendToWindow(WindowHandle window, unsigned msg, std::intptr_t wParam, std::intptr_t lParam,
                  std::stop_token stop, const std::function<void()>& meanwhile = {});
// The character code (1252) of the last key that typed a character in any of
// the program's windows; 0 before any. Activate resets it.
int LASTKEY();
void SETLASTKEY(int code);
// Asks the pump to quit: the next SYSREFRESH/SYSWAIT returns false.
void PostQuitMessage(int code = 0);

}  // namespace talvi::ui
