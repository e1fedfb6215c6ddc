// SPDX-License-Identifier: MIT
// The clock the transfer session measures its waits on. The program hands
// the session the steady clock; the tests hand it one that moves only when
// they step it, so that a wait runs out exactly where a test says and never
// because the machine was slow.
#pragma once

#include <chrono>

namespace talvi::app {

class SessionClock {
 public:
  virtual ~SessionClock() = default;
  // Time since an arbitrary start; never goes back. Read on the window
  // thread only.
  virtual std::chrono::milliseconds Now() = 0;
};

// The steady clock of the machine (one object for the whole program).
SessionClock& SteadySessionClock();

}  // namespace talvi::app
