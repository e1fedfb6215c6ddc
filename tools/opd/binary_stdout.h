// SPDX-License-Identifier: MIT
// Standard output made fit for the bytes of a track side.
#pragma once

namespace talvi::opd {

// Switches standard output to binary (on Windows it translates line ends
// otherwise). False, changing nothing, when standard output is a terminal:
// binary data would only garble it.
bool PrepareBinaryStdout();

}  // namespace talvi::opd
