// SPDX-License-Identifier: MIT
// Message and confirmation boxes, and the wait box with its optional
// progress bar.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <variant>

namespace talvi::ui {
class TDialog;
class TControl;
}  // namespace talvi::ui

namespace talvi::lib {

// What POPMSG gives: nothing (type 1, no type, unknown type), a logical
// (types 2, 4, 5, 6) or a button code (type 3: 6 Yes, 7 No, 2 Cancel).
using MsgResult = std::variant<std::monostate, bool, int>;

// True when `result` is the logical true (OK or Yes chosen).
inline bool IsTrue(const MsgResult& result) {
  const bool* b = std::get_if<bool>(&result);
  return b != nullptr && *b;
}

// The six accented small letters of the DOS code page become their ANSI
// (1252) forms; every other byte is kept.
std::string O2A(const std::string& text);

// With a type (1 to 6) shows a message box and gives its answer; without a
// type drives the wait box: a text opens it (or, with `replace`, changes its
// text), a position moves its bar, no text closes it. Texts go through O2A
// and ";" becomes a line break. `title` defaults to "Attenzione" (boxes) and
// "Attendere" (wait box).
MsgResult POPMSG(const std::optional<std::string>& text = {}, std::optional<int> type = {},
                 const std::optional<std::string>& title = {}, bool replace = false,
                 std::optional<double> minimum = {}, std::optional<double> maximum = {},
                 std::optional<double> position = {}, bool printStyle = false,
                 bool nextPage = false);

// The text the open wait box was opened with, none when no box is open.
std::optional<std::string> CURMSG();

// The wait box: non-modal, without close button, closed only by End. While
// it is open the window that was active when it opened is disabled.
class TMsgBox {
 public:
  static std::unique_ptr<TMsgBox> New(const std::string& text,
                                      const std::optional<std::string>& title = {},
                                      std::optional<double> minimum = {},
                                      std::optional<double> maximum = {}, bool printStyle = false);
  ~TMsgBox();
  TMsgBox(const TMsgBox&) = delete;
  TMsgBox& operator=(const TMsgBox&) = delete;

  void End();
  // Replaces the shown text; the box keeps its size.
  void SetMsg(const std::string& text);
  // Moves the bar to `position` at once (no sliding).
  void SetPos(double position);

  std::unique_ptr<ui::TDialog> oDlg;
  ui::TControl* oPrg = nullptr;  // the progress bar, or nullptr
  std::intptr_t hWnd = 0;        // window active when the box opened
  int nPag = 0;                  // page counter of the print-style box

 private:
  TMsgBox() = default;
};

}  // namespace talvi::lib
