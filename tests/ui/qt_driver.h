// Helpers that drive modal windows from a test: the test arms an action,
// then calls the routine that shows the window; the action runs from the
// event loop of that window.
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QKeyEvent>
#include <QTimer>
#include <QWidget>
#include <functional>

#include "ui/ui.h"

namespace talvi::testing {

// Runs `action` with the first modal window that appears (polled every
// 10 ms) and then stops watching. Give up after `limitMs`.
inline void WhenModal(std::function<void(QWidget*)> action, int limitMs = 10000) {
  talvi::ui::Startup();  // timers need the application object
  auto* timer = new QTimer();
  auto* spent = new int(0);
  QObject::connect(timer, &QTimer::timeout, [timer, spent, action, limitMs] {
    *spent += 10;
    QWidget* modal = QApplication::activeModalWidget();
    if (modal != nullptr && modal->isVisible()) {
      timer->stop();
      timer->deleteLater();
      delete spent;
      action(modal);
    } else if (*spent > limitMs) {
      timer->stop();
      timer->deleteLater();
      delete spent;
    }
  });
  timer->start(10);
}

// Sends a key press and release to `target` (its focus widget when any).
inline void PressKey(QWidget* target, int key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
  QWidget* to = target->focusWidget() != nullptr ? target->focusWidget() : target;
  QKeyEvent press(QEvent::KeyPress, key, mods);
  QApplication::sendEvent(to, &press);
  QKeyEvent release(QEvent::KeyRelease, key, mods);
  QApplication::sendEvent(to, &release);
}

// Clicks the button of `window` whose text is `text` (mnemonic "&" ignored).
inline bool ClickButton(QWidget* window, const QString& text) {
  for (auto* button : window->findChildren<QAbstractButton*>()) {
    if (button->text().remove(QLatin1Char('&')) == text) {
      button->click();
      return true;
    }
  }
  return false;
}

}  // namespace talvi::testing
