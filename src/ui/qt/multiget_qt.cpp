// SPDX-License-Identifier: MIT
// TMultiGet on Qt: a QPlainTextEdit. A log grows at its end, so Refresh
// sends only the new tail when the text still begins with what is shown.
// Over a TextVar that is known without reading the text, and the cost of
// one appended line does not depend on the log's length.
#include <QMetaObject>
#include <QPlainTextEdit>
#include <QPointer>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTextCursor>
#include <cstring>
#include <functional>

#include "ui/control.h"
#include "ui/multiget.h"
#include "ui/qt/qt_internal.h"

namespace talvi::ui {
namespace {

// CR LF (and a lone CR) become the editor's line break. `afterCr` says the
// text continues one that ended in CR: a LF at its start completes that
// break and adds none.
QString ToEditor(std::string_view ansi, bool afterCr = false) {
  std::string text;
  text.reserve(ansi.size());
  std::size_t i = afterCr && !ansi.empty() && ansi[0] == '\n' ? 1 : 0;
  for (; i < ansi.size(); ++i) {
    if (ansi[i] == '\r') {
      text += '\n';
      if (i + 1 < ansi.size() && ansi[i + 1] == '\n') ++i;
    } else {
      text += ansi[i];
    }
  }
  return qt::ToQ(text);
}

// A scroll bar that repaints only when what it shows changes. Each line
// appended to a log moves its range and value, and Qt repaints a scroll bar
// for every such move; but once a log is longer than a few screens the
// slider keeps its size and place to the pixel from line to line, and
// repainting the whole bar for nothing costs more than the line itself (the
// style fills its groove with a gradient, which Qt even splits over worker
// threads). What the bar shows depends on the range, the steps and the
// value only through the slider's rectangle and whether it sits at either
// end (some styles grey an arrow there). Those are compared with what was
// painted last once the moves of a pump step are over: a line first widens
// the range, which leaves the slider short of the end, and the log's scroll
// to the end, queued meanwhile, moves it back. Everything else that changes
// the look (size, hover, press, style) repaints the bar by its own way.
class LogScrollBar : public QScrollBar {
 public:
  using QScrollBar::QScrollBar;

 protected:
  void sliderChange(SliderChange change) override {
    if (change == SliderOrientationChange) {
      QScrollBar::sliderChange(change);  // asks for the repaint
      return;
    }
    if (checkQueued_) return;
    checkQueued_ = true;
    Queue([this] {
      // A second trip through the queue, so that what was queued before
      // this check (the log's scroll) has run when it looks.
      Queue([this] {
        checkQueued_ = false;
        if (Current() != painted_) update();
      });
    });
  }

  void paintEvent(QPaintEvent* event) override {
    painted_ = Current();
    QScrollBar::paintEvent(event);
  }

 private:
  struct Look {
    QRect slider;
    bool empty = false;
    bool atStart = false;
    bool atEnd = false;
    bool operator==(const Look&) const = default;
  };

  Look Current() const {
    QStyleOptionSlider option;
    initStyleOption(&option);
    return {
        style()->subControlRect(QStyle::CC_ScrollBar, &option, QStyle::SC_ScrollBarSlider, this),
        minimum() == maximum(), sliderPosition() == minimum(), sliderPosition() == maximum()};
  }

  // Runs `check` from the event queue, on the bar (so it goes with the
  // bar), before the paint, which Qt posts at a lower priority.
  void Queue(std::function<void()> check) {
    QMetaObject::invokeMethod(this, std::move(check), Qt::QueuedConnection);
  }

  // The look last painted; an empty slider rectangle (never a real one)
  // before the first paint.
  Look painted_{QRect(), true, false, false};
  bool checkQueued_ = false;
};

QPlainTextEdit* Editor(const TControl& control) {
  return control.native() ? qobject_cast<QPlainTextEdit*>(control.native()->widget.data())
                          : nullptr;
}

}  // namespace

void TMultiGet::Create() {
  if (native_->widget) return;
  QWidget* parent = oWnd != nullptr ? qt::Container(*oWnd) : nullptr;
  if (parent == nullptr) return;
  auto* edit = new QPlainTextEdit(parent);
  edit->setReadOnly(lReadOnly);
  if (lReadOnly) {
    edit->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  }
  // The user never edits the log: keeping an undo step for every appended
  // line would only hold memory that grows with the log.
  if (lReadOnly) edit->setUndoRedoEnabled(false);
  edit->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  edit->setVerticalScrollBar(new LogScrollBar(Qt::Vertical, edit));
  edit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  edit->setFrameShape(QFrame::StyledPanel);
  edit->setFocusPolicy(Qt::StrongFocus);
  native_->widget = edit;
  native_->scrollQueued = false;
  qt::Place(*this, edit);
  shownValid_ = false;
  Refresh();
}

void TMultiGet::Refresh() {
  if (Editor(*this) == nullptr) return;
  if (const TextVar* var = BoundVar()) {
    const std::string& text = var->Get();
    const bool extends = shownValid_ && shownVar_ == var && var->Rewrites() == shownRewrites_ &&
                         text.size() >= shownSize_;
    Show(text, extends);
    shownVar_ = var;
    shownRewrites_ = var->Rewrites();
    shown_.clear();
    return;
  }
  // What was shown through a variable is not in shown_: compare only with
  // text that came through an accessor.
  std::string text = VarGet();
  const bool extends = shownValid_ && shownVar_ == nullptr && text.size() >= shown_.size() &&
                       std::memcmp(text.data(), shown_.data(), shown_.size()) == 0;
  Show(text, extends);
  shown_ = std::move(text);
  shownVar_ = nullptr;
}

void TMultiGet::Show(std::string_view text, bool extends) {
  QPlainTextEdit* edit = Editor(*this);
  if (extends) {
    if (text.size() > shownSize_) {
      QTextCursor cursor(edit->document());
      cursor.movePosition(QTextCursor::End);
      cursor.insertText(ToEditor(text.substr(shownSize_), shownEndsInCr_));
    }
  } else {
    edit->setPlainText(ToEditor(text));
  }
  shownSize_ = text.size();
  shownEndsInCr_ = !text.empty() && text.back() == '\r';
  shownValid_ = true;
}

// A line appended costs its insertion (the new block laid out), the caret
// move and the scroll; the paint follows in the next pump step. Scrolling
// there and then moves the whole visible picture in the window's backing
// store for every line, so the scroll is done once, by the pump step that
// paints, however many lines came before it: nothing is seen before the
// paint anyway. It runs before the paint, which is posted at a lower
// priority.
void TMultiGet::GoBottom() {
  QPlainTextEdit* edit = Editor(*this);
  if (edit == nullptr) return;
  // Text inserted at the caret's place moves the caret along: once at the
  // end it stays there, and moving it again would only cost.
  QTextCursor cursor = edit->textCursor();
  if (!cursor.atEnd() || cursor.hasSelection()) {
    cursor.movePosition(QTextCursor::End);
    edit->setTextCursor(cursor);
  }
  if (native_->scrollQueued) return;
  native_->scrollQueued = true;
  QPointer<QPlainTextEdit> target(edit);
  Native* native = native_.get();
  QMetaObject::invokeMethod(
      edit,
      [target, native] {
        // Runs on the editor, so it goes with the editor; the control, which
        // owns the editor, is still there.
        native->scrollQueued = false;
        if (target.isNull()) return;
        target->ensureCursorVisible();
        if (QScrollBar* bar = target->verticalScrollBar()) bar->setValue(bar->maximum());
      },
      Qt::QueuedConnection);
}

std::string TMultiGet::GetText() const {
  QPlainTextEdit* edit = Editor(*this);
  if (edit == nullptr) return {};
  std::string text = qt::FromQ(edit->toPlainText());
  std::string out;
  out.reserve(text.size() + text.size() / 16);
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

}  // namespace talvi::ui
