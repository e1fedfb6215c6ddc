// SPDX-License-Identifier: MIT
// LogView for screen readers: the text interface over the view's lines.
// Offsets count characters with one break between lines, as LogView's
// Offset and AtOffset do; a selection is the view's one selection.
#include <QAccessible>
#include <QAccessibleWidget>
#include <QScrollBar>
#include <algorithm>

#include "ui/qt/log_view.h"
#include "ui/qt/log_view_accessible.h"

namespace talvi::ui::qt {
namespace {

class LogViewAccessible : public QAccessibleWidget, public QAccessibleTextInterface {
 public:
  explicit LogViewAccessible(LogView* view) : QAccessibleWidget(view, QAccessible::EditableText) {}

  void* interface_cast(QAccessible::InterfaceType type) override {
    if (type == QAccessible::TextInterface) return static_cast<QAccessibleTextInterface*>(this);
    return QAccessibleWidget::interface_cast(type);
  }

  QAccessible::State state() const override {
    QAccessible::State state = QAccessibleWidget::state();
    state.readOnly = true;
    state.multiLine = true;
    state.selectableText = true;
    return state;
  }

  QString text(QAccessible::Text kind) const override {
    if (kind == QAccessible::Value) return View().Characters(0, View().CharacterCount());
    return QAccessibleWidget::text(kind);
  }

  void selection(int index, int* startOffset, int* endOffset) const override {
    *startOffset = *endOffset = 0;
    if (index != 0 || !View().HasSelection()) return;
    const int anchor = View().Offset(View().Anchor());
    const int caret = View().Offset(View().Caret());
    *startOffset = std::min(anchor, caret);
    *endOffset = std::max(anchor, caret);
  }
  int selectionCount() const override { return View().HasSelection() ? 1 : 0; }
  void addSelection(int startOffset, int endOffset) override {
    setSelection(0, startOffset, endOffset);
  }
  void removeSelection(int index) override {
    if (index == 0) View().Select(View().Caret(), View().Caret());
  }
  void setSelection(int index, int startOffset, int endOffset) override {
    if (index == 0) View().Select(View().AtOffset(startOffset), View().AtOffset(endOffset));
  }

  int cursorPosition() const override { return View().Offset(View().Caret()); }
  void setCursorPosition(int position) override {
    const LogView::Pos at = View().AtOffset(position);
    View().Select(at, at);
  }

  QString text(int startOffset, int endOffset) const override {
    return View().Characters(startOffset, endOffset);
  }
  int characterCount() const override { return View().CharacterCount(); }

  QRect characterRect(int offset) const override {
    const QRect rect = View().CharacterRect(View().AtOffset(offset));
    if (rect.isEmpty()) return {};
    return QRect(View().viewport()->mapToGlobal(rect.topLeft()), rect.size());
  }
  int offsetAtPoint(const QPoint& point) const override {
    const QPoint at = View().viewport()->mapFromGlobal(point);
    if (!View().viewport()->rect().contains(at)) return -1;
    return View().Offset(View().HitTest(at));
  }

  void scrollToSubstring(int startIndex, int) override {
    const LogView::Pos at = View().AtOffset(startIndex);
    View().verticalScrollBar()->setValue(static_cast<int>(at.line));
  }
  QString attributes(int offset, int* startOffset, int* endOffset) const override {
    // One look for the whole text.
    *startOffset = offset < 0 || offset > characterCount() ? -1 : 0;
    *endOffset = *startOffset < 0 ? -1 : characterCount();
    return {};
  }

 private:
  LogView& View() const { return *static_cast<LogView*>(widget()); }
};

QAccessibleInterface* Describe(const QString&, QObject* object) {
  if (auto* view = dynamic_cast<LogView*>(object)) return new LogViewAccessible(view);
  return nullptr;
}

}  // namespace

void InstallLogViewAccessibility() {
  static const bool installed = [] {
    QAccessible::installFactory(&Describe);
    return true;
  }();
  (void)installed;
}

void TellTextInserted(LogView& view, int from) {
  if (!QAccessible::isActive()) return;
  QAccessibleTextInsertEvent event(&view, from, view.Characters(from, view.CharacterCount()));
  QAccessible::updateAccessibility(&event);
}

void TellTextReplaced(LogView& view) {
  if (!QAccessible::isActive()) return;
  QAccessibleTextUpdateEvent event(&view, 0, QString(), view.Characters(0, view.CharacterCount()));
  QAccessible::updateAccessibility(&event);
}

void TellCaretMoved(LogView& view) {
  if (!QAccessible::isActive()) return;
  QAccessibleTextCursorEvent cursor(&view, view.Offset(view.Caret()));
  QAccessible::updateAccessibility(&cursor);
  const int anchor = view.Offset(view.Anchor());
  const int caret = view.Offset(view.Caret());
  QAccessibleTextSelectionEvent selection(&view, std::min(anchor, caret), std::max(anchor, caret));
  QAccessible::updateAccessibility(&selection);
}

}  // namespace talvi::ui::qt
