// SPDX-License-Identifier: MIT
// Serial ports: open, line settings, reads, writes and the receive
// notification that a watcher thread per port sends to a window.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <stop_token>
#include <string>

namespace talvi::serial {

// A port handle names one open port: 0 or more is valid, -1 is the only
// failure value. The same integer comes back as wParam of WM_COMMNOTIFY.
using Handle = std::intptr_t;
// A window handle as the window layer gives it; 0 means "no window".
using WindowHandle = std::intptr_t;

// <windows.h> defines both names as macros with these same values; the
// constants stay declarable when it was included first.
#pragma push_macro("WM_COMMNOTIFY")
#pragma push_macro("CN_RECEIVE")
#undef WM_COMMNOTIFY
#undef CN_RECEIVE
inline constexpr unsigned WM_COMMNOTIFY = 0x44;
inline constexpr std::intptr_t CN_RECEIVE = 1;
#pragma pop_macro("CN_RECEIVE")
#pragma pop_macro("WM_COMMNOTIFY")

// Opens `name` exclusively (port-name rules in src/serial/README.md) and
// starts its watcher. Queue sizes default to 1024 and 128 and are taken as unsigned
// 16-bit values. Gives -1 on any failure, leaving nothing behind.
Handle OPENCOMM(const std::string& name, std::optional<double> inQueue = {},
                std::optional<double> outQueue = {});

// Parses a mode string ("57600,N,8,1", "baud=9600 parity=e ...") into the
// 28-byte line-settings record. On failure `dcb` becomes empty and the
// result is false.
bool BUILDCOMMDCB(const std::string& mode, std::string& dcb);

// Applies a 28-byte line-settings record to an open port.
bool SETCOMMSTATE(Handle port, const std::string& dcb);

// Stops the watcher at once and releases the port. Always true.
bool CLOSECOMM(Handle port);

// Copies waiting received bytes over the front of `buffer` (at most its
// length, at most 32767) and gives their count. Never waits.
int READCOMM(Handle port, std::string& buffer, std::optional<double> timeLimitMs = {});

// Writes `bytes` (at most 32767) and gives the count written; 0 when the
// write is refused, fails or does not complete in time (2 s), also when part
// of it went out. Never hangs.
int WRITECOMM(Handle port, const std::string& bytes);

// Arms (window != 0) or disarms (window == 0) the receive notification.
// Bytes already waiting in the ring are handed over at the arming, not with
// the next arrival. The thresholds are accepted and ignored. Always true.
bool ENABLECOMMNOTIFICATION(Handle port, WindowHandle window, double rxThreshold = 1,
                            double txThreshold = -1);

// "Send to window and wait": delivers (msg, wParam, lParam) to `window` on
// the window's own thread and returns once it has been handled there. It
// must also return promptly once `stop` is requested (the port is closing),
// and must not run the window's handler after that request has been seen on
// the window thread. `meanwhile`, when not empty, is run on the calling
// thread once the message is on its way and before the wait for its
// handling, so that the caller's own pause (a watcher letting a slow line
// gather) and the wait are one sleep, not two: the sender then returns when
// both are over. A message that goes nowhere (no such window, a port that is
// closing) may leave it unrun. The window layer installs the sender; tests
// install their own.
using WindowSender = std::function<void(WindowHandle window, unsigned msg, std::intptr_t wParam,
                                        std::intptr_t lParam, std::stop_token stop,
                                        const std::function<void()>& meanwhile)>;
void SetWindowSender(WindowSender sender);

}  // namespace talvi::serial
