// SPDX-License-Identifier: MIT
// Answers the program's modal boxes from a test, the way a user would: a
// timer looks for the active file chooser or message box and answers it
// with the next scripted answer. What each box showed is recorded.
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QTimer>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ui/app.h"
#include "ui/text1252.h"

namespace talvi::testing {

class ModalAnswers {
 public:
  struct Seen {
    bool chooser = false;  // file chooser (else a message box)
    std::string title;     // 1252 bytes
    std::string text;      // message text, or the chooser's folder
  };

  ModalAnswers() {
    ui::Startup();  // the timer needs the application object
    timer_ = std::make_unique<QTimer>();
    timer_->setInterval(20);
    QObject::connect(timer_.get(), &QTimer::timeout, [this] { Tick(); });
    timer_->start();
  }

  // The next file chooser is answered with `path` ("" cancels).
  void File(const std::string& path) { answers_.push_back({true, path}); }
  // The next message box is answered by the button "OK" or "Cancel".
  void Ok() { answers_.push_back({false, "ok"}); }
  void Cancel() { answers_.push_back({false, "cancel"}); }
  // Runs on the window thread right after a box has been answered.
  std::function<void(const Seen&)> after;

  const std::vector<Seen>& seen() const { return seen_; }
  bool done() const { return answers_.empty(); }

 private:
  struct Answer {
    bool chooser;
    std::string value;
  };

  static std::string Ansi(const QString& s) { return ui::Utf8ToAnsi(s.toStdString()); }

  void Tick() {
    QWidget* w = QApplication::activeModalWidget();
    if (w == nullptr || answers_.empty() || !w->isVisible()) return;
    if (auto* chooser = qobject_cast<QFileDialog*>(w)) {
      if (!answers_.front().chooser) return;
      const Answer a = Take();
      seen_.push_back({true, Ansi(chooser->windowTitle()), Ansi(chooser->directory().path())});
      if (a.value.empty()) {
        static_cast<QDialog*>(chooser)->reject();
      } else {
        chooser->selectFile(QString::fromStdString(a.value));
        if (auto* edit = chooser->findChild<QLineEdit*>()) {
          edit->setText(QString::fromStdString(a.value));
        }
        // Queued: a box the chooser shows from accept() must find this
        // timer free to answer it.
        QMetaObject::invokeMethod(chooser, "accept", Qt::QueuedConnection);
      }
      Notify();
      return;
    }
    auto* box = qobject_cast<QDialog*>(w);
    if (box == nullptr || answers_.front().chooser) return;
    // A box shows its text in a label and offers push buttons.
    std::string text;
    if (auto* mb = qobject_cast<QMessageBox*>(box)) {
      text = Ansi(mb->text());
    } else {
      for (auto* label : box->findChildren<QLabel*>()) {
        if (!label->text().isEmpty()) text += Ansi(label->text());
      }
    }
    QAbstractButton* button = nullptr;
    for (auto* b : box->findChildren<QAbstractButton*>()) {
      const QString t = b->text().remove('&').toLower();
      const bool wantOk = answers_.front().value == "ok";
      if ((wantOk && t == "ok") || (!wantOk && (t == "cancel" || t == "annulla"))) button = b;
    }
    if (button == nullptr) return;  // not one of ours (the transfer window itself)
    Take();
    seen_.push_back({false, Ansi(box->windowTitle()), text});
    button->click();
    Notify();
  }

  Answer Take() {
    Answer a = answers_.front();
    answers_.pop_front();
    return a;
  }

  void Notify() {
    if (after) after(seen_.back());
  }

  std::unique_ptr<QTimer> timer_;
  std::deque<Answer> answers_;
  std::vector<Seen> seen_;
};

}  // namespace talvi::testing
