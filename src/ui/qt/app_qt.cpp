// SPDX-License-Identifier: MIT
// The application object, the message-pump step, the key tracker and the
// "send to window and wait" function handed to the serial layer.
#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QEvent>
#include <QKeyEvent>
#include <QMetaObject>
#include <QPointer>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <stop_token>
#include <thread>

#include "os/keystate.h"
#include "serial/serial.h"
#include "ui/app.h"
#include "ui/dialog.h"
#include "ui/qt/qt_internal.h"
#include "ui/registry.h"
#include "ui/text1252.h"
#include "ui/window_handle.h"

namespace talvi::ui {
namespace {

std::atomic<bool> quitPending{false};
bool ownsApp = false;
// Held shared while a watcher posts into the application object, and
// exclusively while that object goes away.
std::shared_mutex appLock;
QApplication* liveApp = nullptr;
// The thread of liveApp, told apart from a watcher without asking Qt (which
// would give a watcher a thread object of its own on first asking).
std::thread::id appThread;

// Windows virtual-key code of a Qt key; 0 when there is none.
int VirtualKey(int key) {
  if (key >= Qt::Key_A && key <= Qt::Key_Z) return 'A' + (key - Qt::Key_A);
  if (key >= Qt::Key_0 && key <= Qt::Key_9) return '0' + (key - Qt::Key_0);
  if (key >= Qt::Key_F1 && key <= Qt::Key_F24) return 0x70 + (key - Qt::Key_F1);
  switch (key) {
    case Qt::Key_Escape: return 0x1B;
    case Qt::Key_Backspace: return 0x08;
    case Qt::Key_Tab: return 0x09;
    case Qt::Key_Return:
    case Qt::Key_Enter: return 0x0D;
    case Qt::Key_Shift: return 0x10;
    case Qt::Key_Control: return 0x11;
    case Qt::Key_Alt: return 0x12;
    case Qt::Key_Space: return 0x20;
    case Qt::Key_PageUp: return 0x21;
    case Qt::Key_PageDown: return 0x22;
    case Qt::Key_End: return 0x23;
    case Qt::Key_Home: return 0x24;
    case Qt::Key_Left: return 0x25;
    case Qt::Key_Up: return 0x26;
    case Qt::Key_Right: return 0x27;
    case Qt::Key_Down: return 0x28;
    case Qt::Key_Insert: return 0x2D;
    case Qt::Key_Delete: return 0x2E;
    default: return 0;
  }
}

std::atomic<int> lastKey{0};

// Watches every key press and release of the program's windows (for the key
// probe off X11) and the application's quit.
class AppFilter : public QObject {
 public:
  using QObject::QObject;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    switch (event->type()) {
      case QEvent::KeyPress:
      case QEvent::KeyRelease: {
        auto* key = static_cast<QKeyEvent*>(event);
        // A key that types a character is remembered as the last key, in
        // the program's code page.
        if (event->type() == QEvent::KeyPress && !key->text().isEmpty()) {
          const std::string typed = Utf8ToAnsi(key->text().left(1).toStdString());
          if (!typed.empty()) lastKey = static_cast<unsigned char>(typed[0]);
        }
        if (!key->isAutoRepeat()) {
          if (const int vk = VirtualKey(key->key()); vk != 0) {
            os::SetLocalKeyDown(vk, event->type() == QEvent::KeyPress);
          }
        }
        break;
      }
      case QEvent::ApplicationDeactivate: os::ClearLocalKeys(); break;
      case QEvent::Quit: quitPending = true; break;
      default: break;
    }
    return QObject::eventFilter(watched, event);
  }
};

// A notification on its way to the window thread. The watcher that waits
// for it sleeps on a condition; the window thread (or the port's stop) marks
// it done and wakes the watcher only when it has come to sleep there: a
// watcher that spent the time in its own pause (see WindowSender) finds the
// call done and is not woken a second time. The condition is told after the
// lock is let go, so the woken watcher never waits for it.
struct PendingCall {
  std::mutex mutex;
  std::condition_variable finished;
  bool done = false;
  bool waiting = false;

  void Finish() {
    bool wake = false;
    {
      std::lock_guard lock(mutex);
      done = true;
      wake = waiting;
    }
    if (wake) finished.notify_one();
  }

  void Wait() {
    std::unique_lock lock(mutex);
    waiting = true;
    finished.wait(lock, [this] { return done; });
  }
};

void Deliver(WindowHandle window, unsigned msg, std::intptr_t wParam, std::intptr_t lParam) {
  if (msg != serial::WM_COMMNOTIFY) return;
  if (TDialog* dialog = DialogFromHandle(window)) dialog->CommNotify(wParam, lParam);
}

void Install(QApplication* app);

}  // namespace

// Runs on a watcher thread: posts the notification to the window thread and
// waits until it has been handled there, or until the port is closing.
void SendToWindow(WindowHandle window, unsigned msg, std::intptr_t wParam, std::intptr_t lParam,
                  std::stop_token stop, const std::function<void()>& meanwhile) {
  auto call = std::make_shared<PendingCall>();
  {
    std::shared_lock lock(appLock);
    if (liveApp == nullptr || stop.stop_requested()) return;
    if (std::this_thread::get_id() == appThread) {
      Deliver(window, msg, wParam, lParam);
      lock.unlock();
      if (meanwhile) meanwhile();
      return;
    }
    QMetaObject::invokeMethod(
        liveApp,
        [call, window, msg, wParam, lParam, stop] {
          // The port may have been closed while this call waited in the
          // queue: then no handler runs for it.
          if (!stop.stop_requested()) Deliver(window, msg, wParam, lParam);
          // The call lives on in this queued function's own copy of the
          // pointer, however soon the watcher lets go of its copy.
          call->Finish();
        },
        Qt::QueuedConnection);
  }
  // A port that closes releases the watcher at once; the queued function
  // then runs no handler.
  const std::stop_callback release(stop, [&call] { call->Finish(); });
  if (meanwhile) meanwhile();
  call->Wait();
}

namespace {

// The log text grows by one line at a time and is handed around whole, so
// every line allocates a slightly larger block. glibc serves blocks above
// its mmap threshold from fresh pages, and that threshold follows the last
// freed size, so each new line would fault in the whole text again: a cost
// per line that grows with the log. Keeping large blocks on the heap makes
// their reuse cheap.
void TuneAllocator() {
#if defined(__GLIBC__)
  static const bool tuned = [] {
    mallopt(M_MMAP_THRESHOLD, 64 << 20);
    mallopt(M_TRIM_THRESHOLD, 128 << 20);
    return true;
  }();
  (void)tuned;
#endif
}

void Install(QApplication* app) {
  TuneAllocator();
  app->installEventFilter(new AppFilter(app));
  os::SetKeySource(QGuiApplication::platformName() == QLatin1String("xcb") ? os::KeySource::kX11
                                                                           : os::KeySource::kLocal);
  {
    std::unique_lock lock(appLock);
    liveApp = app;
    // Install runs on the application's own thread (Startup or the first
    // use of the layer there).
    appThread = std::this_thread::get_id();
  }
  serial::SetWindowSender(SendToWindow);
}

}  // namespace

namespace qt {

void EnsureApp() {
  if (QCoreApplication::instance() != nullptr) {
    if (liveApp == nullptr) {
      if (auto* app = qobject_cast<QApplication*>(QCoreApplication::instance())) Install(app);
    }
    return;
  }
  static int argc = 1;
  static char name[] = "talvi";
  static char* argv[] = {name, nullptr};
  Install(new QApplication(argc, argv));
  ownsApp = true;
}

}  // namespace qt

void Startup(int& argc, char** argv) {
  if (QCoreApplication::instance() == nullptr) {
    Install(new QApplication(argc, argv));
    ownsApp = true;
  } else {
    qt::EnsureApp();
  }
}

void Startup() {
  qt::EnsureApp();
}

void Shutdown() {
  QCoreApplication* app = QCoreApplication::instance();
  if (app == nullptr) return;
  {
    std::unique_lock lock(appLock);
    liveApp = nullptr;
  }
  if (ownsApp) {
    delete app;
    ownsApp = false;
  }
}

// Posted events are handed out again after each step. A session runs inside
// the posted call that started it, and an event dispatcher that does not
// dispatch its posted-event source recursively (GLib's) would otherwise
// leave a watcher's notification, posted meanwhile, in the queue for good.
namespace {
void SendPosted() {
  QCoreApplication::sendPostedEvents();
}
}  // namespace

bool SYSREFRESH() {
  qt::EnsureApp();
  QCoreApplication::processEvents(QEventLoop::AllEvents);
  SendPosted();
  return !quitPending.exchange(false);
}

namespace {

// The bound of a wait. One timer serves every wait, and it is left running
// when the wait ends: the next wait moves it only when it would fire later
// than that wait's bound. A session waits for every few bytes with a bound
// of up to 2 s, so restarting and stopping a timer each time would cost
// more than the wait itself; a bound that fires early only ends a wait
// early, which its caller sees as a wait in which nothing came (a wait
// inside a handler that a wait ran is treated the same way).
class WaitBound {
 public:
  void Arm(int ms) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    if (timer_.isNull()) {
      timer_ = new QTimer(QCoreApplication::instance());
      timer_->setSingleShot(true);
    } else if (timer_->isActive() && firesAt_ <= deadline) {
      return;
    }
    timer_->start(ms);
    firesAt_ = deadline;
  }

 private:
  QPointer<QTimer> timer_;
  std::chrono::steady_clock::time_point firesAt_{};
};

WaitBound& Bound() {
  static WaitBound bound;
  return bound;
}

// On X11 the key probe's own connection to the server receives its key
// events: with that connection's socket in the window thread's wait, a key
// wakes the wait at once. Made on first use, for the application object of
// the time.
QPointer<QSocketNotifier> keyEvents;
QCoreApplication* keyEventsTriedFor = nullptr;

void FollowKeyEvents() {
  QCoreApplication* app = QCoreApplication::instance();
  if (app == nullptr || !keyEvents.isNull() || keyEventsTriedFor == app) return;
  keyEventsTriedFor = app;
  if (QGuiApplication::platformName() != QLatin1String("xcb")) return;
  const int fd = os::KeyEventDescriptor();
  if (fd < 0) return;
  keyEvents = new QSocketNotifier(fd, QSocketNotifier::Read, app);
  // Taking the events empties the socket, so the wait sleeps again.
  QObject::connect(keyEvents.data(), &QSocketNotifier::activated, keyEvents.data(),
                   [] { os::TakeKeyEvents(); });
}

}  // namespace

bool KeysWakeWaits() {
  qt::EnsureApp();
  FollowKeyEvents();
  return !keyEvents.isNull() && keyEvents->isEnabled();
}

bool SYSWAIT(int ms) {
  qt::EnsureApp();
  if (quitPending.exchange(false)) return false;
  // Something already waiting is handled without blocking at all.
  QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
  if ((ms <= 0 && ms != kWaitForever) || dispatcher == nullptr) return SYSREFRESH();
  FollowKeyEvents();
  if (ms > 0) Bound().Arm(ms);
  QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  // The key events that came before the wait ended have been taken by it.
  if (!keyEvents.isNull() && keyEvents->isEnabled()) os::KeyEventsCurrent();
  SendPosted();
  return !quitPending.exchange(false);
}

int LASTKEY() {
  return lastKey;
}

void SETLASTKEY(int code) {
  lastKey = code;
}

void PostQuitMessage(int /*code*/) {
  quitPending = true;
}

}  // namespace talvi::ui
