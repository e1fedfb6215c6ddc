// SPDX-License-Identifier: MIT
// TMultiGet on Qt: a QPlainTextEdit, or for a read-only log a LogView,
// which keeps its lines compact and lays out only those it shows (a text
// edit still shows one when asked for, log_choice.h). A log grows at its end, so Refresh
// sends only the new tail when the text still begins with what is shown.
// Over a TextVar that is known without reading the text, and the cost of
// one appended line does not depend on the log's length.
#include <QMetaObject>
#include <QPlainTextEdit>
#include <QPointer>
#include <QScrollBar>
#include <QTextCursor>
#include <cstring>

#include "ui/control.h"
#include "ui/multiget.h"
#include "ui/qt/log_choice.h"
#include "ui/qt/log_scroll_bar.h"
#include "ui/qt/log_view.h"
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

bool compactLog = true;

QPlainTextEdit* Editor(const TControl& control) {
  return control.native() ? qobject_cast<QPlainTextEdit*>(control.native()->widget.data())
                          : nullptr;
}

qt::LogView* View(const TControl& control) {
  return control.native() ? dynamic_cast<qt::LogView*>(control.native()->widget.data()) : nullptr;
}

}  // namespace

void qt::UseCompactLog(bool on) {
  compactLog = on;
}

bool qt::CompactLog() {
  return compactLog;
}

void TMultiGet::Create() {
  if (native_->widget) return;
  QWidget* parent = oWnd != nullptr ? qt::Container(*oWnd) : nullptr;
  if (parent == nullptr) return;
  if (lReadOnly && compactLog) {
    auto* view = new qt::LogView(parent);
    view->setVerticalScrollBar(new qt::LogScrollBar(Qt::Vertical, view));
    view->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    view->setFrameShape(QFrame::StyledPanel);
    native_->widget = view;
    qt::Place(*this, view);
    shownValid_ = false;
    Refresh();
    return;
  }
  auto* edit = new QPlainTextEdit(parent);
  edit->setReadOnly(lReadOnly);
  if (lReadOnly) {
    edit->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  }
  // The user never edits the log: keeping an undo step for every appended
  // line would only hold memory that grows with the log.
  if (lReadOnly) edit->setUndoRedoEnabled(false);
  edit->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  edit->setVerticalScrollBar(new qt::LogScrollBar(Qt::Vertical, edit));
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
  if (Editor(*this) == nullptr && View(*this) == nullptr) return;
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
  if (qt::LogView* view = View(*this)) {
    if (!extends) {
      view->SetText(text);
    } else if (text.size() > shownSize_) {
      view->AppendText(text.substr(shownSize_), shownEndsInCr_);
    }
  } else if (extends) {
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
  if (qt::LogView* view = View(*this)) {
    view->GoBottom();
    return;
  }
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
  if (const qt::LogView* view = View(*this)) return view->Text();
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
