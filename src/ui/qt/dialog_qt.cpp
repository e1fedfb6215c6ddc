// SPDX-License-Identifier: MIT
// TDialog on Qt: a QDialog that routes every close request through End, runs
// bStart once after its first display and delivers serial notifications.
#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMetaObject>
#include <QMouseEvent>
#include <QPointer>
#include <QScreen>
#include <QVBoxLayout>
#include <algorithm>
#include <map>
#include <vector>

#include "ui/app.h"
#include "ui/control.h"
#include "ui/dialog.h"
#include "ui/qt/dialog_native.h"
#include "ui/qt/qt_internal.h"

namespace talvi::ui {
namespace {

class DialogWindow : public QDialog {
 public:
  DialogWindow(TDialog& owner, QWidget* parent) : QDialog(parent), owner_(owner) {}

  // Lets the next close go through (End has already asked bValid).
  void Finish(int result) {
    finishing_ = true;
    done(result);
  }

 protected:
  void closeEvent(QCloseEvent* event) override {
    if (finishing_) {
      event->accept();
      return;
    }
    // The close box, Alt+F4 and the window manager's delete request.
    event->ignore();
    owner_.End(2);
  }

  void reject() override {
    // Esc: the cancel command, only for dialogs that want it.
    if (owner_.lEscCancels) owner_.End(2);
  }

  void showEvent(QShowEvent* event) override {
    QDialog::showEvent(event);
    if (!owner_.native()->shownOnce && owner_.lCentered) {
      // The frame is known now: centre the whole window, frame included.
      const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
      QRect frame = frameGeometry();
      frame.moveCenter(screen.center());
      move(frame.topLeft());
    }
    owner_.native()->shownOnce = true;
    QueueStart();
  }

  void paintEvent(QPaintEvent* event) override {
    QDialog::paintEvent(event);
    if (owner_.bPainted) owner_.bPainted();
    QueueStart();
  }

  void mousePressEvent(QMouseEvent* event) override {
    const QPoint p = event->position().toPoint();
    if (event->button() == Qt::LeftButton && owner_.bLClicked) owner_.bLClicked(p.y(), p.x());
    if (event->button() == Qt::RightButton && owner_.bRClicked) owner_.bRClicked(p.y(), p.x());
    QDialog::mousePressEvent(event);
  }

  void moveEvent(QMoveEvent* event) override {
    QDialog::moveEvent(event);
    if (owner_.bMoved) owner_.bMoved();
  }

 private:
  // bStart runs from the event loop once the window has been displayed; it
  // is taken and cleared before it runs, so paints inside it do not start
  // it again.
  void QueueStart() {
    TDialog::Native* native = owner_.native();
    if (!owner_.bStart || native->startQueued) return;
    native->startQueued = true;
    QPointer<DialogWindow> self(this);
    QMetaObject::invokeMethod(
        this,
        [this, self] {
          if (!self) return;
          owner_.native()->startQueued = false;
          if (!owner_.bStart || owner_.native()->ended) return;
          auto start = std::move(owner_.bStart);
          owner_.bStart = nullptr;
          start();
        },
        Qt::QueuedConnection);
  }

  TDialog& owner_;
  bool finishing_ = false;
};

Qt::WindowFlags FlagsFor(const TDialog& dialog) {
  Qt::WindowFlags flags = Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint;
  // Style 0 still gives a titled window that the user can close; a style
  // with bits set follows them.
  if (dialog.nStyle == 0 || (dialog.nStyle & WS_SYSMENU) != 0) {
    flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
  }
  if ((dialog.nStyle & WS_MINIMIZEBOX) != 0) flags |= Qt::WindowMinimizeButtonHint;
  if ((dialog.nStyle & WS_MAXIMIZEBOX) != 0) flags |= Qt::WindowMaximizeButtonHint;
  if (dialog.lHelpIcon) flags |= Qt::WindowContextHelpButtonHint;
  return flags;
}

void Unregister(TDialog& dialog) {
  if (dialog.hWnd != 0) qt::Registry().erase(dialog.hWnd);
  dialog.hWnd = 0;
}

}  // namespace

TDialog::TDialog(const DialogArgs& args) : native_(std::make_unique<Native>()) {
  qt::EnsureApp();
  cCaption = args.cCaption;
  while (!cCaption.empty() && cCaption.back() == ' ') cCaption.pop_back();
  if (args.nWidth != 0 || args.nHeight != 0) {
    nTop = args.nTop;
    nLeft = args.nLeft;
    nBottom = args.nHeight;
    nRight = args.nWidth;
  } else if (args.lPixel) {
    nTop = args.nTop;
    nLeft = args.nLeft;
    nBottom = args.nBottom;
    nRight = args.nRight;
  } else {
    nTop = static_cast<int>(args.nTop * 15.1);
    nLeft = static_cast<int>(args.nLeft * 7.9);
    nBottom = static_cast<int>(args.nBottom * 15.1);
    nRight = static_cast<int>(args.nRight * 7.9);
  }
  if (args.nStyle) {
    nStyle = *args.nStyle;
  } else {
    nStyle = DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU;
    if (args.lResizable) nStyle |= WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX;
  }
  cVarName = args.cVarName;
  qt::Created().push_back(this);
}

TDialog::~TDialog() {
  Unregister(*this);
  auto& created = qt::Created();
  created.erase(std::remove(created.begin(), created.end(), this), created.end());
  // Controls go first: their widgets are children of the window.
  controls_.clear();
  delete native_->window.data();
}

TControl* TDialog::AddControl(std::unique_ptr<TControl> control) {
  control->oWnd = this;
  controls_.push_back(std::move(control));
  TControl* added = controls_.back().get();
  if (qt::Container(*this) != nullptr) added->Create();
  return added;
}

void TDialog::Activate(const ActivateArgs& args) {
  qt::EnsureApp();
  SETLASTKEY(0);
  // Handlers given here replace those of the dialog; empty ones keep them.
  if (args.bLClicked) bLClicked = args.bLClicked;
  if (args.bRClicked) bRClicked = args.bRClicked;
  if (args.bMoved) bMoved = args.bMoved;
  if (args.bPainted) bPainted = args.bPainted;
  if (args.bValid) bValid = args.bValid;
  if (args.bInit) bInit = args.bInit;
  lCentered = args.lCentered;
  lModal = args.lModal;
  nResult = 0;
  native_->ended = false;
  if (args.bWhen && !args.bWhen(*this)) {
    nResult = 2;
    return;
  }

  QWidget* parent = nullptr;
  if (lModal) parent = qt::ActiveWidget();
  auto* window = new DialogWindow(*this, parent);
  delete native_->window.data();
  native_->window = window;
  window->setWindowFlags(FlagsFor(*this));
  window->setWindowTitle(qt::ToQ(cCaption));
  window->setModal(lModal);
  if (lWaitCursor) window->setCursor(Qt::WaitCursor);
  window->setGeometry(nLeft, nTop, std::max(1, nRight - nLeft), std::max(1, nBottom - nTop));
  native_->clientLayout = new QVBoxLayout(window);
  native_->clientLayout->setContentsMargins(0, 0, 0, 0);
  native_->clientLayout->setSpacing(0);

  hWnd = qt::NewWindowHandle();
  qt::Registry()[hWnd] = this;
  for (auto& control : controls_) control->Create();
  if (oClient != nullptr) SetControl(oClient);
  if (lCentered) {
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    QRect frame = window->geometry();
    frame.moveCenter(screen.center());
    window->move(frame.topLeft());
  }
  // Focus to the first control that takes it.
  for (auto& control : controls_) {
    QWidget* w = control->native() ? control->native()->widget.data() : nullptr;
    if (w != nullptr && w->focusPolicy() != Qt::NoFocus) {
      w->setFocus();
      break;
    }
  }
  if (bInit) bInit(*this);
  if (native_->ended) {
    // bInit ended the dialog: no window is ever shown.
    delete native_->window.data();
    return;
  }
  if (!lModal) {
    window->show();
    return;
  }
  window->exec();
  Unregister(*this);
  native_->ended = true;
  delete native_->window.data();
  native_->clientLayout = nullptr;
}

bool TDialog::End(int result) {
  if (bValid && !bValid(*this)) return false;
  nResult = result;
  native_->ended = true;
  Unregister(*this);
  if (auto* window = static_cast<DialogWindow*>(native_->window.data())) {
    window->Finish(result);
  }
  SYSREFRESH();
  return true;
}

void TDialog::SetControl(TControl* control) {
  oClient = control;
  if (control == nullptr || native_->clientLayout == nullptr) return;
  if (control->native() == nullptr || control->native()->widget.isNull()) control->Create();
  if (control->native() != nullptr && !control->native()->widget.isNull()) {
    native_->clientLayout->addWidget(control->native()->widget);
  }
}

void TDialog::CommNotify(std::intptr_t wParam, std::intptr_t lParam) {
  if (bCommNotify) bCommNotify(wParam, lParam);
}

void TDialog::SetText(const std::string& caption) {
  cCaption = caption;
  while (!cCaption.empty() && cCaption.back() == ' ') cCaption.pop_back();
  if (native_->window) native_->window->setWindowTitle(qt::ToQ(cCaption));
}

void TDialog::Enable(bool enabled) {
  if (QWidget* w = qt::Window(*this)) w->setEnabled(enabled);
}

bool TDialog::IsEnabled() const {
  QWidget* w = qt::Window(*this);
  return w != nullptr && w->isEnabled();
}

void TDialog::Refresh() {
  if (QWidget* w = qt::Container(*this)) w->repaint();
}

int TDialog::Width() const {
  QWidget* w = qt::Container(*this);
  return w != nullptr ? w->width() : 0;
}

int TDialog::Height() const {
  QWidget* w = qt::Container(*this);
  return w != nullptr ? w->height() : 0;
}

}  // namespace talvi::ui
