// SPDX-License-Identifier: MIT
// A short tone through the system's speaker or bell.
#pragma once

namespace talvi::os {

// Sounds `hz` for about `ms` milliseconds. On Linux this is the X server's
// bell set to that pitch and length (restored afterwards); without an X
// server nothing happens. Never fails, returns at once.
void Beep(unsigned hz, unsigned ms);

}  // namespace talvi::os
