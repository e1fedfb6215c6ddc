// SPDX-License-Identifier: MIT
// A session clock that stands still until the test steps it: no wait of
// the session runs out unless the test moves the clock, however slow the
// machine.
#pragma once

#include <chrono>
#include <functional>

#include "app/session_clock.h"

namespace talvi::testing {

class SteppedClock final : public app::SessionClock {
 public:
  std::chrono::milliseconds Now() override {
    // The hook runs before the time is given, so that a step it makes is
    // what this very reading sees.
    if (onRead) onRead();
    return now_;
  }
  void Step(std::chrono::milliseconds span) { now_ += span; }

  // Runs at every reading (on the window thread, inside the session).
  std::function<void()> onRead;

 private:
  std::chrono::milliseconds now_{0};
};

}  // namespace talvi::testing
