// SPDX-License-Identifier: MIT
// TMultiGet on Win32: the system's multi-line EDIT control. A log grows at
// its end, so Refresh sends only the new tail (selection put at the end,
// then replaced) when the text still begins with what is shown; over a
// TextVar that is known without reading the text, and the cost of one
// appended line does not depend on the log's length.
#include <cstring>

#include "ui/win32/win32_internal.h"

namespace talvi::ui {
namespace {

HWND Edit(const TControl& control) {
  return control.native()->hwnd;
}

}  // namespace

void TMultiGet::Create() {
  if (!win32::Realise(*this)) return;
  const HWND edit = Edit(*this);
  // Above the system's default of 32 767 characters: the most it allows.
  ::SendMessageW(edit, EM_SETLIMITTEXT, 0, 0);
  shownValid_ = false;
  Refresh();
}

void TMultiGet::Refresh() {
  if (Edit(*this) == nullptr) return;
  if (const TextVar* var = BoundVar()) {
    const std::string& text = var->Get();
    const bool extends = shownValid_ && shownVar_ == var && var->Rewrites() == shownRewrites_ &&
                         text.size() >= shownSize_;
    Show(text, extends);
    shownVar_ = var;
    shownRewrites_ = var->Rewrites();
    shown_.clear();
    return;
  }
  // What was shown through a variable is not in shown_: compare only with
  // text that came through an accessor.
  std::string text = VarGet();
  const bool extends = shownValid_ && shownVar_ == nullptr && text.size() >= shown_.size() &&
                       std::memcmp(text.data(), shown_.data(), shown_.size()) == 0;
  Show(text, extends);
  shown_ = std::move(text);
  shownVar_ = nullptr;
}

void TMultiGet::Show(std::string_view text, bool extends) {
  const HWND edit = Edit(*this);
  native_->settingText = true;
  if (extends) {
    if (text.size() > shownSize_) {
      // Every 1252 byte is one UTF-16 unit, so the control's length is the
      // byte count shown.
      const int end = ::GetWindowTextLengthW(edit);
      ::SendMessageW(edit, EM_SETSEL, static_cast<WPARAM>(end), end);
      const std::wstring tail = win32::Wide(std::string(text.substr(shownSize_)));
      ::SendMessageW(edit, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(tail.c_str()));
    }
  } else {
    ::SetWindowTextW(edit, win32::Wide(std::string(text)).c_str());
  }
  native_->settingText = false;
  shownSize_ = text.size();
  shownEndsInCr_ = !text.empty() && text.back() == '\r';
  shownValid_ = true;
}

void TMultiGet::GoBottom() {
  const HWND edit = Edit(*this);
  if (edit == nullptr) return;
  const int n = ::GetWindowTextLengthW(edit);
  ::SendMessageW(edit, EM_SETSEL, static_cast<WPARAM>(n), n);
  const auto lines = ::SendMessageW(edit, EM_GETLINECOUNT, 0, 0);
  ::SendMessageW(edit, EM_LINESCROLL, 0, lines);
  ::SendMessageW(edit, EM_SCROLLCARET, 0, 0);
}

std::string TMultiGet::GetText() const {
  const HWND edit = Edit(*this);
  if (edit == nullptr) return {};
  const int n = ::GetWindowTextLengthW(edit);
  std::wstring text(static_cast<std::size_t>(n) + 1, L'\0');
  const int got = ::GetWindowTextW(edit, text.data(), n + 1);
  return win32::Ansi(text.data(), got);
}

}  // namespace talvi::ui
