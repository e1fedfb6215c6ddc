// SPDX-License-Identifier: MIT
#include "app/session_clock.h"

namespace talvi::app {
namespace {

class SteadyClock final : public SessionClock {
 public:
  std::chrono::milliseconds Now() override {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now().time_since_epoch());
  }
};

}  // namespace

SessionClock& SteadySessionClock() {
  static SteadyClock clock;
  return clock;
}

}  // namespace talvi::app
