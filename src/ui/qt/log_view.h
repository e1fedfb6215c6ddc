// SPDX-License-Identifier: MIT
// A read-only view of a log that only grows at its end.
//
// A text document keeps, for every line, a node in two balanced trees and,
// once the line has been laid out, its glyphs: several hundred bytes a line,
// and every walk through the trees (a line's position, the line count)
// grows with the log. This view keeps its lines as the bytes received, one
// after the other, with the offset where each line starts, and lays out
// only the lines it shows. Appending a line costs the same whether the log
// holds ten lines or a million.
//
// The vertical scroll bar counts lines (a wrapped line is one step). The
// user can scroll (wheel, keys, bar), move the caret, select with the mouse
// and the keyboard and copy; nothing edits the text. Screen readers read it
// as read-only text (log_view_accessible.h). The caret does not blink: a
// window left waiting for a command wakes for nothing.
#pragma once

#include <QAbstractScrollArea>
#include <QBasicTimer>
#include <QString>
#include <QTextLayout>
#include <cstddef>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace talvi::ui::qt {

class LogView : public QAbstractScrollArea {
 public:
  // Around the text, as a text edit leaves around its document.
  static constexpr qreal kMargin = 4;

  explicit LogView(QWidget* parent = nullptr);

  // Replaces the text (1252 bytes; CR LF, a lone CR and a lone LF each end
  // a line). The caret goes to the start and the view to the top.
  void SetText(std::string_view ansi);
  // Adds `ansi` at the end. `afterCr`: the text so far ended in CR, so a LF
  // at the start of `ansi` completes that line break and adds none.
  void AppendText(std::string_view ansi, bool afterCr = false);
  // The text, lines joined by CR LF.
  std::string Text() const;
  std::size_t LineCount() const { return starts_.size(); }

  // Caret after the last character, no selection, and the end scrolled into
  // view by the next pump step (once for all the lines added before it).
  void GoBottom();
  void SelectAll();
  bool HasSelection() const { return anchor_ != caret_; }
  // The selection with lines joined by LF, as the clipboard gets it.
  QString SelectedText() const;
  // The caret: line and column (a column counts characters, one a byte).
  struct Pos {
    std::size_t line = 0;
    int col = 0;
    auto operator<=>(const Pos&) const = default;
  };
  Pos Caret() const { return caret_; }
  Pos End() const;
  Pos Anchor() const { return anchor_; }
  // Selects from `anchor` to `caret` (equal: no selection) and scrolls the
  // caret into view.
  void Select(Pos anchor, Pos caret);
  // The rectangle of a line in the viewport (empty when it is not shown).
  QRect LineRect(std::size_t line);
  // The rectangle of the character at `at` in the viewport (empty when its
  // line is not shown).
  QRect CharacterRect(Pos at);
  // The character position under a viewport point; a point above or below
  // the lines shown counts as their first or last row.
  Pos HitTest(QPoint point);

  // The text as characters, lines joined by one break each (as a screen
  // reader counts it): a position's offset, and back.
  int CharacterCount() const;
  int Offset(Pos at) const;
  Pos AtOffset(int offset) const;
  // The characters from `from` to `to`, lines joined by LF.
  QString Characters(int from, int to) const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void timerEvent(QTimerEvent* event) override;

 private:
  std::string_view Line(std::size_t line) const;
  int LineLength(std::size_t line) const { return static_cast<int>(Line(line).size()); }
  // The line laid out at the viewport's width, from the cache of the lines
  // last shown.
  QTextLayout& Layout(std::size_t line);
  qreal TextWidth() const;
  qreal LineHeight(std::size_t line) { return Layout(line).boundingRect().height(); }
  std::size_t TopLine() const;
  // How many whole lines at the end fit in the viewport (at least one).
  std::size_t FitAtBottom();
  // Brings the scroll bar in line with the text and applies a scroll to the
  // end asked for; queued once per pump step by the changes.
  void Sync();
  void QueueSync();
  void MoveCaret(Pos to, bool keepAnchor);
  // After the caret moved or the selection changed.
  void CaretChanged();
  void EnsureVisible(std::size_t line);
  // The caret one visual row up (-1) or down (+1), at the same x.
  Pos RowStep(int direction);
  void Copy(bool toSelection = false) const;
  void ForgetLayouts();
  // Drops the layouts of lines neither shown nor on the last page.
  void DropLayouts();

  std::string bytes_;                   // the lines' bytes, without line breaks
  std::vector<std::size_t> starts_{0};  // where each line starts in bytes_
  std::map<std::size_t, std::unique_ptr<QTextLayout>> layouts_;
  std::size_t changedFrom_ = static_cast<std::size_t>(-1);  // first line changed since Sync
  std::size_t fitAtBottom_ = 1;
  bool fitKnown_ = false;
  bool syncQueued_ = false;
  bool followEnd_ = false;
  std::size_t paintedTop_ = 0;  // the first line painted
  std::size_t paintedEnd_ = 0;  // one past the last line painted
  bool paintedFull_ = false;    // the last paint filled the viewport
  Pos anchor_, caret_;
  qreal caretX_ = -1;  // x kept while moving up and down
  bool dragging_ = false;
  QPoint dragAt_;           // where a drag outside the viewport stays
  QBasicTimer dragScroll_;  // scrolls while that drag stays outside
};

}  // namespace talvi::ui::qt
