// SPDX-License-Identifier: MIT
// LogView: what the user does with it (caret, selection, scrolling, copy).
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTextBoundaryFinder>
#include <algorithm>

#include "ui/qt/log_view.h"
#include "ui/qt/log_view_accessible.h"
#include "ui/qt/qt_internal.h"

namespace talvi::ui::qt {
namespace {

// How often a drag held above or below the view scrolls it a line.
constexpr int kDragScrollMs = 50;

}  // namespace

void LogView::SelectAll() {
  anchor_ = Pos{};
  caret_ = End();
  caretX_ = -1;
  viewport()->update();
  CaretChanged();
}

void LogView::Select(Pos anchor, Pos caret) {
  const auto clamp = [this](Pos at) {
    at.line = std::min(at.line, LineCount() - 1);
    at.col = std::clamp(at.col, 0, LineLength(at.line));
    return at;
  };
  anchor_ = clamp(anchor);
  caretX_ = -1;
  MoveCaret(clamp(caret), true);
}

void LogView::CaretChanged() {
  TellCaretMoved(*this);
}

void LogView::timerEvent(QTimerEvent* event) {
  if (event->timerId() == dragScroll_.timerId()) {
    if (!dragging_) {
      dragScroll_.stop();
      return;
    }
    verticalScrollBar()->triggerAction(dragAt_.y() < 0 ? QAbstractSlider::SliderSingleStepSub
                                                       : QAbstractSlider::SliderSingleStepAdd);
    MoveCaret(HitTest(dragAt_), true);
  } else {
    QAbstractScrollArea::timerEvent(event);
  }
}

QString LogView::SelectedText() const {
  const Pos from = std::min(anchor_, caret_);
  const Pos to = std::max(anchor_, caret_);
  std::string text;
  for (std::size_t line = from.line; line <= to.line && from != to; ++line) {
    std::string_view bytes = Line(line);
    const auto begin = static_cast<std::size_t>(line == from.line ? from.col : 0);
    const std::size_t end = line == to.line ? static_cast<std::size_t>(to.col) : bytes.size();
    if (line > from.line) text += '\n';
    if (begin < end) text += bytes.substr(begin, end - begin);
  }
  return ToQ(text);
}

void LogView::Copy(bool toSelection) const {
  QClipboard* clipboard = QGuiApplication::clipboard();
  if (!HasSelection() || clipboard == nullptr) return;
  if (toSelection && !clipboard->supportsSelection()) return;
  clipboard->setText(SelectedText(), toSelection ? QClipboard::Selection : QClipboard::Clipboard);
}

LogView::Pos LogView::HitTest(QPoint point) {
  // Only the lines shown are looked at: a point above or below the
  // viewport (a drag that left it) counts as its edge.
  const qreal want = std::clamp<qreal>(point.y(), 0, std::max(0, viewport()->height() - 1));
  qreal y = kMargin;
  for (std::size_t line = TopLine(); line < LineCount(); ++line) {
    QTextLayout& layout = Layout(line);
    const qreal height = layout.boundingRect().height();
    if (want < y + height || line + 1 == LineCount() || y + height >= viewport()->height()) {
      for (int r = 0; r < layout.lineCount(); ++r) {
        const QTextLine row = layout.lineAt(r);
        if (want - y < row.y() + row.height() || r + 1 == layout.lineCount()) {
          return {line, row.xToCursor(point.x() - kMargin)};
        }
      }
    }
    y += height;
  }
  return End();
}

void LogView::MoveCaret(Pos to, bool keepAnchor) {
  caret_ = to;
  if (!keepAnchor) anchor_ = to;
  EnsureVisible(to.line);
  viewport()->update();
  CaretChanged();
}

void LogView::EnsureVisible(std::size_t line) {
  if (syncQueued_ || !fitKnown_) Sync();
  QScrollBar* bar = verticalScrollBar();
  if (line < TopLine()) {
    bar->setValue(static_cast<int>(line));
    return;
  }
  const qreal room = viewport()->height() - kMargin;
  qreal y = kMargin;
  for (std::size_t i = TopLine(); i <= line && y <= room; ++i) y += LineHeight(i);
  if (y <= room) return;
  // The line goes at the bottom: as many lines above it as fit.
  std::size_t first = line;
  qreal used = LineHeight(line);
  while (first > 0 && used + LineHeight(first - 1) <= room - kMargin) used += LineHeight(--first);
  bar->setValue(static_cast<int>(first));
}

LogView::Pos LogView::RowStep(int direction) {
  QTextLayout& layout = Layout(caret_.line);
  QTextLine row = layout.lineForTextPosition(caret_.col);
  if (!row.isValid()) row = layout.lineAt(layout.lineCount() - 1);
  if (caretX_ < 0) caretX_ = row.cursorToX(caret_.col);
  int r = row.lineNumber() + direction;
  std::size_t line = caret_.line;
  if (r < 0) {
    if (line == 0) return {};
    r = Layout(--line).lineCount() - 1;
  } else if (r >= layout.lineCount()) {
    if (line + 1 >= LineCount()) return End();
    ++line;
    r = 0;
  }
  return {line, Layout(line).lineAt(r).xToCursor(caretX_)};
}

void LogView::keyPressEvent(QKeyEvent* event) {
  if (event->matches(QKeySequence::Copy)) {
    Copy();
    return;
  }
  if (event->matches(QKeySequence::SelectAll)) {
    SelectAll();
    return;
  }
  const bool extend = (event->modifiers() & Qt::ShiftModifier) != 0;
  const bool whole = (event->modifiers() & Qt::ControlModifier) != 0;
  Pos to = caret_;
  bool vertical = false;
  QTextLine row = Layout(to.line).lineForTextPosition(to.col);
  switch (event->key()) {
    case Qt::Key_Left:
      if (to.col > 0) {
        --to.col;
      } else if (to.line > 0) {
        --to.line;
        to.col = LineLength(to.line);
      }
      break;
    case Qt::Key_Right:
      if (to.col < LineLength(to.line)) {
        ++to.col;
      } else if (to.line + 1 < LineCount()) {
        ++to.line;
        to.col = 0;
      }
      break;
    case Qt::Key_Up:
    case Qt::Key_Down:
      to = RowStep(event->key() == Qt::Key_Up ? -1 : 1);
      vertical = true;
      break;
    case Qt::Key_PageUp:
    case Qt::Key_PageDown: {
      const auto page = std::max<std::size_t>(fitAtBottom_, 1);
      if (event->key() == Qt::Key_PageUp) {
        to.line = to.line > page ? to.line - page : 0;
      } else {
        to.line = std::min(to.line + page, LineCount() - 1);
      }
      to.col = std::min(to.col, LineLength(to.line));
      break;
    }
    case Qt::Key_Home:
      to = whole ? Pos{} : Pos{to.line, row.isValid() ? row.textStart() : 0};
      break;
    case Qt::Key_End:
      if (whole || !row.isValid()) {
        to = whole ? End() : Pos{to.line, LineLength(to.line)};
      } else {
        // A wrapped row ends before the space that it broke at.
        const int end = row.textStart() + row.textLength();
        to.col = end < LineLength(to.line) ? end - 1 : end;
      }
      break;
    default:
      // Nothing typed changes the log: the key goes on to the window.
      event->ignore();
      return;
  }
  if (!vertical) caretX_ = -1;
  MoveCaret(to, extend);
}

void LogView::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  caretX_ = -1;
  dragging_ = true;
  MoveCaret(HitTest(event->position().toPoint()), (event->modifiers() & Qt::ShiftModifier) != 0);
}

void LogView::mouseMoveEvent(QMouseEvent* event) {
  if (!dragging_ || (event->buttons() & Qt::LeftButton) == 0) return;
  const QPoint at = event->position().toPoint();
  // Dragging out of the view scrolls it a line at a time, and on while the
  // pointer stays there.
  const bool outside = at.y() < 0 || at.y() >= viewport()->height();
  if (outside) {
    dragAt_ = at;
    verticalScrollBar()->triggerAction(at.y() < 0 ? QAbstractSlider::SliderSingleStepSub
                                                  : QAbstractSlider::SliderSingleStepAdd);
    if (!dragScroll_.isActive()) dragScroll_.start(kDragScrollMs, this);
  } else {
    dragScroll_.stop();
  }
  MoveCaret(HitTest(at), true);
}

void LogView::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || !dragging_) return;
  dragging_ = false;
  dragScroll_.stop();
  Copy(true);  // the X11 primary selection, as text views do
}

void LogView::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  const Pos at = HitTest(event->position().toPoint());
  const QString text = ToQ(std::string(Line(at.line)));
  QTextBoundaryFinder words(QTextBoundaryFinder::Word, text);
  words.setPosition(at.col);
  const bool atStart =
      words.isAtBoundary() && (words.boundaryReasons() & QTextBoundaryFinder::StartOfItem) != 0;
  const qsizetype begin = atStart ? at.col : words.toPreviousBoundary();
  words.setPosition(at.col);
  const qsizetype end = words.toNextBoundary();
  anchor_ = {at.line, static_cast<int>(std::max<qsizetype>(begin, 0))};
  caret_ = {at.line, end < 0 ? LineLength(at.line) : static_cast<int>(end)};
  caretX_ = -1;
  dragging_ = false;
  dragScroll_.stop();
  viewport()->update();
  CaretChanged();
  Copy(true);
}

void LogView::contextMenuEvent(QContextMenuEvent* event) {
  QMenu menu(this);
  QAction* copy = menu.addAction(QStringLiteral("&Copy"), [this] { Copy(); });
  copy->setShortcut(QKeySequence::Copy);
  copy->setEnabled(HasSelection());
  QAction* all = menu.addAction(QStringLiteral("Select All"), [this] { SelectAll(); });
  all->setShortcut(QKeySequence::SelectAll);
  menu.exec(event->globalPos());
}

void LogView::focusInEvent(QFocusEvent* event) {
  QAbstractScrollArea::focusInEvent(event);
  viewport()->update();
}

void LogView::focusOutEvent(QFocusEvent* event) {
  QAbstractScrollArea::focusOutEvent(event);
  dragScroll_.stop();
  viewport()->update();
}

}  // namespace talvi::ui::qt
