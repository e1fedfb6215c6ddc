// SPDX-License-Identifier: MIT
// Helpers that drive modal windows from a test: the test arms an action,
// then calls the routine that shows the window; the action runs from the
// event loop of that window.
#pragma once

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QKeyEvent>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <chrono>
#include <functional>

#include "ui/app.h"

namespace talvi::testing {

// Runs `action` with the next modal window that appears (polled every
// 10 ms) and then stops watching. The modal window that is already open when
// the action is armed is not the one it waits for: on a slow machine a poll
// can run inside a pump of that window before the new one is shown. Gives up
// with a test failure after `limitMs` of real time.
inline void WhenModal(std::function<void(QWidget*)> action, int limitMs = 60000) {
  talvi::ui::Startup();  // timers need the application object
  auto* timer = new QTimer();
  const QPointer<QWidget> before = QApplication::activeModalWidget();
  const auto giveUp = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
  QObject::connect(timer, &QTimer::timeout, [timer, before, giveUp, action] {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal != nullptr && modal != before.data() && modal->isVisible()) {
      timer->stop();
      timer->deleteLater();
      action(modal);
    } else if (std::chrono::steady_clock::now() > giveUp) {
      timer->stop();
      timer->deleteLater();
      ADD_FAILURE() << "no modal window appeared";
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
