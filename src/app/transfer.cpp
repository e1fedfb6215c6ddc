// SPDX-License-Identifier: MIT
#include "app/transfer.h"

#include <algorithm>
#include <chrono>

#include "app/save_image.h"
#include "lib/keys.h"
#include "ui/app.h"
#include "ui/dialog.h"
#include "ui/multiget.h"

namespace talvi::app {
namespace {

bool EscHeld() {
  return lib::GETASYNCKEYSTATE(kEscKey);
}

// Hundredths of a second from `start` to `now`, truncated like a seconds
// clock with two decimals.
long ElapsedCs(std::chrono::milliseconds start, std::chrono::milliseconds now) {
  return static_cast<long>((now - start).count() / 10);
}

}  // namespace

Transfer::Transfer(SessionClock& clock)
    : save([](std::string& image) { SAVE(image); }), clock_(clock) {}

void Transfer::CONNECT(serial::Handle handle) {
  serial::ENABLECOMMNOTIFICATION(handle, 0, 1, -1);
  // Taken bytes are dropped from the front only now and then, so that taking
  // one byte never moves the whole buffer.
  if (head_ > 0 && head_ * 2 >= received_.size()) {
    received_.erase(0, head_);
    head_ = 0;
  }
  received_ += RECEIVESTR(handle);
}

std::string Transfer::RECEIVESTR(serial::Handle handle) {
  std::string buffer(kReadChunk, ' ');
  const int count = serial::READCOMM(handle, buffer);
  if (count <= 0) return {};
  buffer.resize(std::min(static_cast<std::size_t>(count), buffer.size()));
  return buffer;
}

bool Transfer::SENDSTR(serial::Handle handle, const std::string& bytes) {
  return serial::WRITECOMM(handle, bytes) == static_cast<int>(bytes.size());
}

std::string Transfer::GETCHAR() {
  if (head_ >= received_.size()) return {};
  return std::string(1, received_[head_++]);
}

bool Transfer::Abandoned() const {
  return quit_ || (window_ != nullptr && window_->hWnd == 0);
}

void Transfer::Idle(int ms) {
  // The pump wakes at once when a notification arrives, so a waiting byte is
  // taken without delay while an idle wait costs no processor time. Where a
  // key wakes the pump too, the wait needs no slice to see Esc.
  if (!ui::KeysWakeWaits()) ms = ms == ui::kWaitForever ? kIdleSliceMs : std::min(ms, kIdleSliceMs);
  if (!ui::SYSWAIT(ms)) quit_ = true;
}

std::string Transfer::WAITCOMMAND() {
  std::string c;
  while (!EscHeld() && !Abandoned() && (c = GETCHAR()).empty()) Idle(ui::kWaitForever);
  if (!ui::SYSREFRESH()) quit_ = true;
  return c;
}

std::string Transfer::WAITCHAR() {
  const auto start = clock_.Now();
  std::string c;
  for (;;) {
    if (EscHeld() || Abandoned() || !(c = GETCHAR()).empty()) break;
    const long left = kByteWaitCs - ElapsedCs(start, clock_.Now());
    if (left <= 0) break;
    Idle(static_cast<int>(left * 10));
  }
  // A byte costs no pump step of its own: the window's events are handled
  // by the waits, and a wait comes as soon as the bytes that the last one
  // delivered have been taken (only a pump step delivers more).
  if (c.empty() && !ui::SYSREFRESH()) quit_ = true;
  return c;
}

void Transfer::TRK(serial::Handle handle, ui::TMultiGet& log) {
  const std::string t = WAITCHAR();
  int track = t.empty() ? 0 : static_cast<unsigned char>(t[0]);
  int side = 0;
  if (track > 79) {
    track -= 128;
    side = 1;
  }
  MESSAGE(log, "Receiving track " + std::to_string(track) + ", side " + std::to_string(side));
  SENDSTR(handle, std::string(1, kAckByte));
  for (std::size_t i = 0; i < kTrackSideBytes; ++i) image_ += WAITCHAR();
}

void Transfer::TALVI(serial::Handle handle, ui::TMultiGet& log) {
  window_ = log.oWnd;
  quit_ = false;
  while (!EscHeld() && !Abandoned()) {
    MESSAGE(log, kWaitingLine);
    image_.clear();
    for (;;) {
      const std::string command = WAITCOMMAND();
      if (Abandoned()) break;
      if (EscHeld()) {
        SENDSTR(handle, std::string(1, kBreakByte));
        break;
      }
      if (command == "T") {
        TRK(handle, log);
      } else if (command == "E") {
        save(image_);
        break;
      }
      // Any other byte is not a command: it is dropped.
    }
  }
  window_ = nullptr;
}

void Transfer::MESSAGE(ui::TMultiGet& log, const std::string& text) {
  // The whole text stays in the log variable; appending to it (rather than
  // storing a copy with the line added) keeps a line's cost independent of
  // the log's length.
  log.Append(text + "\r\n");
  log.Refresh();
  log.GoBottom();
}

}  // namespace talvi::app
