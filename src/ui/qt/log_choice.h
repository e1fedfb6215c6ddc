// SPDX-License-Identifier: MIT
// Which view shows a read-only log control created from now on: a text
// edit, or the compact LogView (log_view.h). The build's TALVI_COMPACT_LOG
// sets the default; tests and benchmarks switch it to compare the two.
#pragma once

namespace talvi::ui::qt {

void UseCompactLog(bool on);
bool CompactLog();

}  // namespace talvi::ui::qt
