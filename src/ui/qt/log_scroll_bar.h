// SPDX-License-Identifier: MIT
// The log's vertical scroll bar, shared by both kinds of log view.
#pragma once

#include <QMetaObject>
#include <QRect>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionSlider>
#include <functional>

namespace talvi::ui::qt {

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

}  // namespace talvi::ui::qt
