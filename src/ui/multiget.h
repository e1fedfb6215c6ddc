// SPDX-License-Identifier: MIT
// The multi-line text control and the text variable it can follow cheaply.
//
// Texts that cross the window layer are byte strings in the Windows ANSI
// code page (1252), converted at the window boundary; everything here runs
// on the window thread (the one that called Startup, or the first one that
// used the layer).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "ui/control.h"

namespace talvi::ui {

class TDialog;

// Read-only or editable multi-line text bound to a variable through
// bSetGet: called without a value it gives the text, with a value it
// stores it (and gives it back).
using SetGet = std::function<std::string(std::optional<std::string>)>;

// A text variable that a control can follow cheaply while it grows. It
// counts every change that is not an append, so a control that showed the
// text at some count knows, without reading the text again, that it still
// begins with what was shown as long as the count has not moved.
class TextVar {
 public:
  const std::string& Get() const { return text_; }
  void Set(std::string text) {
    text_ = std::move(text);
    ++rewrites_;
  }
  void Append(std::string_view tail) { text_.append(tail); }
  std::uint64_t Rewrites() const { return rewrites_; }

 private:
  std::string text_;
  std::uint64_t rewrites_ = 0;
};

class TMultiGet : public TControl {
 public:
  // Creates the control in `owner` (default: LastDialog()); owned by it.
  // Throws std::logic_error when there is no dialog to own it.
  static TMultiGet* New(int row, int col, SetGet bSetGet, TDialog* owner = nullptr, int width = 200,
                        int height = 80, bool lReadOnly = false);
  // The same over a TextVar: bSetGet reads and sets `text`, and Refresh
  // follows appends to it without reading the whole text again. The
  // variable must outlive the control. A bSetGet assigned later replaces
  // the binding: from then on the text goes through it alone.
  static TMultiGet* New(int row, int col, TextVar& text, TDialog* owner = nullptr, int width = 200,
                        int height = 80, bool lReadOnly = false);

  std::string ClassName() const override { return "TMULTIGET"; }
  void Create() override;

  // The text through bSetGet ("" when bSetGet is empty).
  std::string VarGet() const;
  // Stores the text through bSetGet; the window is not updated.
  void VarPut(const std::string& text);
  // VarPut(VarGet() + tail); over a TextVar it costs the tail only.
  void Append(std::string_view tail);
  // Shows VarGet() in the window. When the new text only extends what is
  // shown, only the new tail is sent to the window; over a TextVar that is
  // known from its rewrite count, so a line costs the same however long the
  // text has grown.
  void Refresh();
  // Caret after the last character; the last line scrolled into view.
  void GoBottom();
  // The text the window shows (1252 bytes, line breaks as CR LF).
  std::string GetText() const;

  SetGet bSetGet;
  bool lReadOnly = false;

 private:
  TMultiGet() = default;
  // Sends `text` to the window: only its part after what is shown when
  // `extends`, else the whole of it.
  void Show(std::string_view text, bool extends);

  // The TextVar behind bSetGet while it is still the accessor that New
  // installed; nullptr once bSetGet has been replaced.
  TextVar* BoundVar() const;

  const TextVar* shownVar_ = nullptr;  // the TextVar the window's text came from, if any
  std::string shown_;                  // bytes last sent (kept only without a TextVar)
  std::size_t shownSize_ = 0;          // how many bytes the window shows
  std::uint64_t shownRewrites_ = 0;
  bool shownEndsInCr_ = false;
  bool shownValid_ = false;  // false until the window has been given text
};

}  // namespace talvi::ui
