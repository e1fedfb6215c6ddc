// SPDX-License-Identifier: MIT
// LogView: the lines, the scroll bar and the painting of the visible part.
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTextOption>
#include <algorithm>

#include "ui/qt/log_view.h"
#include "ui/qt/log_view_accessible.h"
#include "ui/qt/qt_internal.h"

namespace talvi::ui::qt {
namespace {

constexpr std::size_t kNone = static_cast<std::size_t>(-1);

}  // namespace

LogView::LogView(QWidget* parent) : QAbstractScrollArea(parent) {
  viewport()->setCursor(Qt::IBeamCursor);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setFocusPolicy(Qt::StrongFocus);
  verticalScrollBar()->setSingleStep(1);
  InstallLogViewAccessibility();
}

std::string_view LogView::Line(std::size_t line) const {
  const std::size_t begin = starts_[line];
  const std::size_t end = line + 1 < starts_.size() ? starts_[line + 1] : bytes_.size();
  return std::string_view(bytes_).substr(begin, end - begin);
}

LogView::Pos LogView::End() const {
  const std::size_t last = LineCount() - 1;
  return {last, LineLength(last)};
}

void LogView::SetText(std::string_view ansi) {
  bytes_.clear();
  starts_.assign(1, 0);
  AppendText(ansi);
  ForgetLayouts();
  anchor_ = caret_ = Pos{};
  caretX_ = -1;
  followEnd_ = false;
  Sync();
  verticalScrollBar()->setValue(0);
  viewport()->update();
  TellTextReplaced(*this);
}

void LogView::AppendText(std::string_view ansi, bool afterCr) {
  const std::size_t lastBefore = LineCount() - 1;
  const int countBefore = CharacterCount();
  std::size_t i = afterCr && !ansi.empty() && ansi[0] == '\n' ? 1 : 0;
  while (i < ansi.size()) {
    const std::size_t stop = ansi.find_first_of("\r\n", i);
    bytes_.append(ansi.substr(i, stop == std::string_view::npos ? stop : stop - i));
    if (stop == std::string_view::npos) break;
    starts_.push_back(bytes_.size());
    i = stop + 1;
    if (ansi[stop] == '\r' && i < ansi.size() && ansi[i] == '\n') ++i;
  }
  // The line that was last may have grown: its layout is out of date.
  layouts_.erase(lastBefore);
  changedFrom_ = std::min(changedFrom_, lastBefore);
  fitKnown_ = false;
  QueueSync();
  TellTextInserted(*this, countBefore);
}

std::string LogView::Text() const {
  std::string text;
  text.reserve(bytes_.size() + 2 * LineCount());
  for (std::size_t line = 0; line < LineCount(); ++line) {
    if (line > 0) text += "\r\n";
    text += Line(line);
  }
  return text;
}

void LogView::GoBottom() {
  const Pos end = End();
  if (caret_ != end || anchor_ != end) viewport()->update();
  const bool moved = caret_ != end || anchor_ != end;
  anchor_ = caret_ = end;
  caretX_ = -1;
  followEnd_ = true;
  QueueSync();
  if (moved) TellCaretMoved(*this);
}

int LogView::CharacterCount() const {
  return static_cast<int>(bytes_.size() + LineCount() - 1);
}

int LogView::Offset(Pos at) const {
  return static_cast<int>(starts_[at.line] + at.line) + at.col;
}

LogView::Pos LogView::AtOffset(int offset) const {
  const auto want = static_cast<std::size_t>(std::clamp(offset, 0, CharacterCount()));
  // The last line that starts at or before `want` (line i starts at
  // starts_[i] + i: one break before it for each line above).
  std::size_t low = 0;
  std::size_t high = LineCount();
  while (high - low > 1) {
    const std::size_t mid = low + (high - low) / 2;
    (starts_[mid] + mid <= want ? low : high) = mid;
  }
  return {low, static_cast<int>(want - (starts_[low] + low))};
}

QString LogView::Characters(int from, int to) const {
  const Pos begin = AtOffset(from);
  const Pos end = AtOffset(to);
  std::string text;
  for (std::size_t line = begin.line; begin < end && line <= end.line; ++line) {
    const std::string_view bytes = Line(line);
    const auto first = static_cast<std::size_t>(line == begin.line ? begin.col : 0);
    const std::size_t last = line == end.line ? static_cast<std::size_t>(end.col) : bytes.size();
    if (line > begin.line) text += '\n';
    if (first < last) text += bytes.substr(first, last - first);
  }
  return ToQ(text);
}

QTextLayout& LogView::Layout(std::size_t line) {
  std::unique_ptr<QTextLayout>& slot = layouts_[line];
  if (!slot) {
    slot = std::make_unique<QTextLayout>(ToQ(std::string(Line(line))), font(), viewport());
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    slot->setTextOption(option);
    slot->setCacheEnabled(true);
    slot->beginLayout();
    qreal y = 0;
    for (QTextLine row = slot->createLine(); row.isValid(); row = slot->createLine()) {
      row.setLineWidth(TextWidth());
      row.setPosition(QPointF(0, y));
      y += row.height();
    }
    slot->endLayout();
  }
  return *slot;
}

qreal LogView::TextWidth() const {
  return std::max<qreal>(1, viewport()->width() - 2 * kMargin);
}

std::size_t LogView::TopLine() const {
  const auto value = static_cast<std::size_t>(std::max(0, verticalScrollBar()->value()));
  return std::min(value, LineCount() - 1);
}

std::size_t LogView::FitAtBottom() {
  const qreal room = viewport()->height() - 2 * kMargin;
  qreal used = 0;
  std::size_t fit = 0;
  for (std::size_t line = LineCount(); line-- > 0;) {
    used += LineHeight(line);
    if (used > room) break;
    ++fit;
  }
  return std::max<std::size_t>(fit, 1);
}

void LogView::QueueSync() {
  if (syncQueued_) return;
  syncQueued_ = true;
  // Runs from the event queue on this view (dropped with it), before the
  // paint, which Qt posts at a lower priority.
  QMetaObject::invokeMethod(
      this, [this] { Sync(); }, Qt::QueuedConnection);
}

void LogView::Sync() {
  syncQueued_ = false;
  if (!fitKnown_) {
    fitAtBottom_ = FitAtBottom();
    fitKnown_ = true;
    // Without paints (a hidden log) the last pages laid out would pile up.
    if (layouts_.size() > 4 * fitAtBottom_ + 64) DropLayouts();
  }
  QScrollBar* bar = verticalScrollBar();
  const int last = static_cast<int>(LineCount() - std::min(fitAtBottom_, LineCount()));
  bar->setPageStep(static_cast<int>(fitAtBottom_));
  bar->setRange(0, last);
  if (followEnd_) {
    followEnd_ = false;
    bar->setValue(last);  // repaints through scrollContentsBy when it moves
  }
  // New lines below a full viewport are not seen until the user scrolls.
  if (changedFrom_ != kNone && (!paintedFull_ || changedFrom_ < paintedEnd_)) {
    viewport()->update();
  }
  changedFrom_ = kNone;
}

void LogView::ForgetLayouts() {
  layouts_.clear();
  fitKnown_ = false;
}

void LogView::paintEvent(QPaintEvent* event) {
  QPainter painter(viewport());
  const QPalette& colors = palette();
  painter.setPen(colors.color(QPalette::Text));
  const QRect clip = event->rect();
  const Pos from = std::min(anchor_, caret_);
  const Pos to = std::max(anchor_, caret_);
  const std::size_t top = TopLine();
  const qreal bottom = viewport()->height();
  std::size_t line = top;
  qreal y = kMargin;
  for (; line < LineCount() && y < bottom; ++line) {
    QTextLayout& layout = Layout(line);
    const qreal height = layout.boundingRect().height();
    if (y + height >= clip.top() && y <= clip.bottom()) {
      QList<QTextLayout::FormatRange> selection;
      if (from != to && from.line <= line && line <= to.line) {
        QTextLayout::FormatRange range;
        range.start = line == from.line ? from.col : 0;
        range.length = (line == to.line ? to.col : LineLength(line)) - range.start;
        range.format.setBackground(colors.brush(QPalette::Highlight));
        range.format.setForeground(colors.brush(QPalette::HighlightedText));
        if (range.length > 0) selection.push_back(range);
      }
      layout.draw(&painter, QPointF(kMargin, y), selection);
      if (hasFocus() && line == caret_.line) {
        layout.drawCursor(&painter, QPointF(kMargin, y), caret_.col, 1);
      }
    }
    y += height;
  }
  paintedTop_ = top;
  paintedEnd_ = line;
  paintedFull_ = y >= bottom;
  DropLayouts();
}

void LogView::DropLayouts() {
  // Keep the layouts of the lines shown and of the last page (which the
  // scroll bar's range needs after every line); drop the others.
  const std::size_t lastPage = LineCount() - std::min(LineCount(), fitAtBottom_ + 1);
  for (auto it = layouts_.begin(); it != layouts_.end();) {
    const bool keep =
        (it->first >= paintedTop_ && it->first < paintedEnd_) || it->first >= lastPage;
    it = keep ? std::next(it) : layouts_.erase(it);
  }
}

void LogView::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  QScrollBar* bar = verticalScrollBar();
  const bool atEnd = bar->value() == bar->maximum();
  ForgetLayouts();
  followEnd_ = followEnd_ || atEnd;
  Sync();
  viewport()->update();
}

void LogView::changeEvent(QEvent* event) {
  QAbstractScrollArea::changeEvent(event);
  if (event->type() == QEvent::FontChange) {
    ForgetLayouts();
    Sync();
  }
  viewport()->update();
}

void LogView::scrollContentsBy(int, int) {
  viewport()->update();
}

QRect LogView::LineRect(std::size_t line) {
  if (line >= LineCount() || line < TopLine()) return {};
  qreal y = kMargin;
  for (std::size_t i = TopLine(); i < line; ++i) {
    y += LineHeight(i);
    if (y >= viewport()->height()) return {};
  }
  return QRectF(kMargin, y, TextWidth(), LineHeight(line)).toAlignedRect();
}

QRect LogView::CharacterRect(Pos at) {
  const QRect line = LineRect(at.line);
  if (line.isEmpty()) return {};
  QTextLayout& layout = Layout(at.line);
  const QTextLine row = layout.lineForTextPosition(at.col);
  if (!row.isValid()) return {};
  const qreal x = row.cursorToX(at.col);
  const qreal next = at.col < LineLength(at.line) ? row.cursorToX(at.col + 1) : x;
  const qreal width = next > x ? next - x : fontMetrics().averageCharWidth();
  return QRectF(kMargin + x, line.y() + row.y(), width, row.height()).toAlignedRect();
}

}  // namespace talvi::ui::qt
