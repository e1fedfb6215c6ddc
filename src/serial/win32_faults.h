// SPDX-License-Identifier: MIT
// A fault that a real port cannot be made to show on cue, for the Windows
// tests: watcher reads that fail for a passing reason.
#pragma once

namespace talvi::serial::faults {

// The next `count` reads of the port watchers fail at once with the system
// error `error`, reading nothing; 0 ends the failures. Gives how many
// failures asked for before were still to come.
int FailNextReads(int count, unsigned long error);

}  // namespace talvi::serial::faults
