// SPDX-License-Identifier: MIT
// A stand-in for the window thread: it takes the watcher's notifications as
// queued calls and runs the handler on its own thread, while the watcher
// waits, as a window's message loop would. A call whose port is closing is
// dropped without running the handler, and the waiting watcher is released
// as soon as its stop is requested.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <stop_token>
#include <thread>

#include "serial/serial.h"

namespace talvi::testing {

class WindowThread {
 public:
  using Handler = std::function<void(serial::WindowHandle, unsigned, std::intptr_t, std::intptr_t)>;

  explicit WindowThread(Handler handler) : handler_(std::move(handler)) {
    thread_ = std::thread([this] { Pump(); });
  }
  ~WindowThread() {
    {
      std::lock_guard lock(mutex_);
      quit_ = true;
    }
    changed_.notify_all();
    thread_.join();
  }

  serial::WindowSender Sender() {
    return
        [this](serial::WindowHandle window, unsigned msg, std::intptr_t wParam,
               std::intptr_t lParam, std::stop_token stop, const std::function<void()>& meanwhile) {
          auto call = std::make_shared<Call>();
          call->message = [=, this] { handler_(window, msg, wParam, lParam); };
          call->stop = stop;
          std::unique_lock lock(mutex_);
          queue_.push_back(call);
          changed_.notify_all();
          if (meanwhile) {
            ++pauses_;
            lock.unlock();
            meanwhile();
            lock.lock();
          }
          // The stop is looked at every millisecond rather than through a
          // std::stop_callback: with the mingw GCC 12 libstdc++ (whose atomic
          // waits on Windows can miss a wake-up, GCC bug 106183) a callback
          // destroyed while request_stop() runs it can block for ever, a hang of
          // this stand-in rather than of the port.
          while (!call->done && !stop.stop_requested() && !quit_) {
            changed_.wait_for(lock, std::chrono::milliseconds(1));
          }
        };
  }

  // Runs `task` on the window thread and waits for it.
  void Run(std::function<void()> task) {
    auto call = std::make_shared<Call>();
    call->message = std::move(task);
    std::unique_lock lock(mutex_);
    queue_.push_back(call);
    changed_.notify_all();
    changed_.wait(lock, [&] { return call->done || quit_; });
  }

  // While paused the thread takes no calls, like a window thread that is
  // busy elsewhere.
  void Pause(bool paused) {
    {
      std::lock_guard lock(mutex_);
      paused_ = paused;
    }
    changed_.notify_all();
  }

  // How many calls came with a pause of the caller's own (see WindowSender).
  int Pauses() const { return pauses_; }

  std::size_t Queued() {
    std::lock_guard lock(mutex_);
    return queue_.size();
  }

 private:
  struct Call {
    std::function<void()> message;
    std::stop_token stop;
    bool done = false;
  };

  void Pump() {
    std::unique_lock lock(mutex_);
    for (;;) {
      changed_.wait(lock, [&] { return quit_ || (!paused_ && !queue_.empty()); });
      if (quit_) return;
      std::shared_ptr<Call> call = queue_.front();
      queue_.pop_front();
      if (!call->stop.stop_requested()) {
        lock.unlock();
        call->message();
        lock.lock();
      }
      call->done = true;
      changed_.notify_all();
    }
  }

  Handler handler_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::shared_ptr<Call>> queue_;
  bool paused_ = false;
  bool quit_ = false;
  std::atomic<int> pauses_{0};
  std::thread thread_;
};

}  // namespace talvi::testing
