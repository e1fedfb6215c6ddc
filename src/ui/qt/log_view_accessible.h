// SPDX-License-Identifier: MIT
// What a screen reader sees of a LogView: read-only, multi-line text with a
// caret and a selection, read through Qt's accessibility interfaces, and
// told of appended lines and caret moves while an assistive tool listens.
#pragma once

namespace talvi::ui::qt {

class LogView;

// Makes Qt describe every LogView with the interface below; once is enough,
// later calls do nothing.
void InstallLogViewAccessibility();

// Each of these does nothing unless an assistive tool listens.
// The text grew from the character offset `from` to its end.
void TellTextInserted(LogView& view, int from);
// The text was replaced whole.
void TellTextReplaced(LogView& view);
// The caret moved or the selection changed.
void TellCaretMoved(LogView& view);

}  // namespace talvi::ui::qt
