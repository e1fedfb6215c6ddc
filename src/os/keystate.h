// SPDX-License-Identifier: MIT
// Which keys are held down, whichever window has the keyboard focus.
//
// On Windows this is the system's asynchronous key state. On Linux under
// X11 it is the X server's global keyboard state, followed through a private
// connection that receives the server's key events: each call first takes
// the events that have arrived (no round trip), so a key pressed before the
// call is seen by it; the whole keymap is asked for about once a second.
// Where the server cannot send those events the keymap is asked for, at
// most once per 10 ms. Elsewhere (no X server, Qt's offscreen platform) it
// is the state of the keys pressed in the program's own windows, which the
// window layer reports through SetLocalKeyDown.
#pragma once

namespace talvi::os {

// Windows virtual-key codes used by the program. (<windows.h> defines the
// same names as macros: include this header before it.)
inline constexpr int VK_ESCAPE = 27;
inline constexpr int VK_F4 = 115;

// True while the key with the virtual-key code `vk` is down.
bool IsKeyDown(int vk);

// Where IsKeyDown reads from. kAuto (the default) uses the X server when
// DISPLAY names one that can be opened, the local state otherwise.
enum class KeySource { kAuto, kX11, kLocal };
void SetKeySource(KeySource source);

// Reports a key press or release seen in one of the program's windows.
void SetLocalKeyDown(int vk, bool down);
// Forgets every locally reported key (for instance when focus leaves).
void ClearLocalKeys();

// A descriptor that becomes readable when a key event reaches the probe
// (X11, where the server's key events are followed), so that a wait that
// includes it wakes for a key at once and needs no tick to see one; -1
// where the probe must be asked again to see a change (then a wait keeps a
// short bound). Opens the probe's connection on first use.
int KeyEventDescriptor();
// Takes the key events that have arrived on that descriptor, which is then
// no longer readable for them; called by the wait that it woke.
void TakeKeyEvents();
// Tells the probe that a wait which included that descriptor has just
// ended, so every key event that came before has been taken: the key probed
// last, asked for again at once (a session tests Esc before each byte it
// takes after the wait), is answered from them without reading the
// descriptor. Another key, or the same one later, reads it as always.
void KeyEventsCurrent();

// Test hook: makes IsKeyDown(vk) answer `down` regardless of the keyboard,
// until ClearKeyStateOverrides is called. Lets tests "hold" Esc or F4.
void SetKeyStateOverride(int vk, bool down);
void ClearKeyStateOverrides();

}  // namespace talvi::os
