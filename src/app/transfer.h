// SPDX-License-Identifier: MIT
// The transfer session: the receive buffer fed by the port's notifications,
// the byte protocol with the remote computer, and the image accumulator.
//
// Everything runs on the window thread. The waits keep the window alive by
// pumping its events, which is also what delivers received bytes (the
// port's notification runs CONNECT inside the pump).
#pragma once

#include <cstddef>
#include <functional>
#include <string>

#include "app/session_clock.h"
#include "serial/serial.h"

namespace talvi::ui {
class TDialog;
class TMultiGet;
}  // namespace talvi::ui

namespace talvi::app {

// Texts and constants of the exchange.
inline constexpr char kWaitingLine[] = "Waiting data (ESC to exit)...";
inline constexpr std::size_t kTrackSideBytes = 4608;
inline constexpr std::size_t kReadChunk = 1000;
inline constexpr int kEscKey = 27;
inline constexpr char kAckByte = '\0';
inline constexpr char kBreakByte = '\x09';
// How long WAITCHAR waits for one byte, in hundredths of a second.
inline constexpr long kByteWaitCs = 200;
// The longest an idle wait blocks before testing Esc and the clock again,
// where a key pressed does not wake the wait by itself.
inline constexpr int kIdleSliceMs = 10;

class Transfer {
 public:
  // Called with the image accumulator when the remote sends "E"; the image
  // file step (SAVE) unless a test replaces it.
  using SaveStep = std::function<void(std::string& image)>;

  // The session measures its waits on `clock`, which must outlive it.
  explicit Transfer(SessionClock& clock = SteadySessionClock());

  // The receive notification's work: disarm, take what the port holds,
  // append it to the receive buffer. The caller re-arms.
  void CONNECT(serial::Handle handle);
  // Up to 1000 bytes read from the port now.
  static std::string RECEIVESTR(serial::Handle handle);
  // True when every byte was written.
  static bool SENDSTR(serial::Handle handle, const std::string& bytes);

  // The first byte of the receive buffer, removed; "" when it is empty.
  std::string GETCHAR();
  // The next byte; waits without a time limit. "" when Esc ended the wait
  // (or the window went away).
  std::string WAITCOMMAND();
  // The next byte within 2 seconds; "" on timeout, Esc or a closed window.
  std::string WAITCHAR();
  // Receives one track side after its "T".
  void TRK(serial::Handle handle, ui::TMultiGet& log);
  // The session: returns when the user holds Esc or the window has closed.
  void TALVI(serial::Handle handle, ui::TMultiGet& log);
  // Appends one line to the log and shows its end.
  static void MESSAGE(ui::TMultiGet& log, const std::string& text);

  // Bytes received but not taken yet.
  std::size_t Pending() const { return received_.size() - head_; }
  const std::string& Image() const { return image_; }

  SaveStep save;

 private:
  // True once the session must end without Esc: the dialog that owns the
  // log has closed, or the program was asked to quit.
  bool Abandoned() const;
  // One idle step of a wait: pumps the window, blocking at most `ms`
  // (ui::kWaitForever: until something happens), and at most kIdleSliceMs
  // where a key would not wake it.
  void Idle(int ms);

  SessionClock& clock_;
  std::string received_;
  std::size_t head_ = 0;  // bytes before head_ have been taken
  std::string image_;
  ui::TDialog* window_ = nullptr;  // the log's dialog while TALVI runs
  bool quit_ = false;
};

}  // namespace talvi::app
