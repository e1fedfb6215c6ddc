// SPDX-License-Identifier: MIT
// Which view shows a read-only log control created from now on: the
// compact LogView (log_view.h, the default), or a text edit. The benchmarks
// switch it to measure the text edit beside the view, and tests to check
// both.
#pragma once

namespace talvi::ui::qt {

void UseCompactLog(bool on);
bool CompactLog();

}  // namespace talvi::ui::qt
