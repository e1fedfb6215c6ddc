// SPDX-License-Identifier: MIT
// The window side of the library's text, entry, button and combo controls.
#include "ui/controls.h"
#include "ui/win32/win32_internal.h"

namespace talvi::ui {
namespace {

std::string TextOf(HWND hwnd) {
  const int n = ::GetWindowTextLengthW(hwnd);
  std::wstring text(static_cast<std::size_t>(n) + 1, L'\0');
  const int got = ::GetWindowTextW(hwnd, text.data(), n + 1);
  return win32::Ansi(text.data(), got);
}

void SetTextOf(TControl& control, const std::string& text) {
  control.native()->settingText = true;
  ::SetWindowTextW(control.native()->hwnd, win32::Wide(text).c_str());
  control.native()->settingText = false;
}

}  // namespace

void TSay::Create() {
  if (!win32::Realise(*this)) return;
  if (!cFontName.empty() || nFontHeight > 0) {
    LOGFONTW font{};
    ::GetObjectW(win32::DialogFont(), sizeof font, &font);
    if (nFontHeight > 0) font.lfHeight = -nFontHeight;
    if (!cFontName.empty()) {
      const std::wstring family = win32::Wide(cFontName).substr(0, LF_FACESIZE - 1);
      family.copy(font.lfFaceName, family.size());
      font.lfFaceName[family.size()] = L'\0';
    }
    font.lfWeight = FW_NORMAL;
    native_->font = ::CreateFontIndirectW(&font);
    if (native_->font != nullptr) {
      ::SendMessageW(native_->hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(native_->font), TRUE);
    }
  }
  SetTextOf(*this, text_);
}

void TSay::SetText(const std::string& text) {
  text_ = text;
  if (native_->hwnd != nullptr) {
    SetTextOf(*this, text);
    ::UpdateWindow(native_->hwnd);
  }
}

void TGet::Create() {
  if (!win32::Realise(*this)) return;
  SetTextOf(*this, text_);
  if (bWhen) ::EnableWindow(native_->hwnd, bWhen() ? TRUE : FALSE);
}

std::string TGet::GetText() const {
  if (native_->hwnd != nullptr) return TextOf(native_->hwnd);
  return text_;
}

void TGet::Refresh() {
  text_ = bSetGet ? bSetGet(std::nullopt) : std::string();
  if (native_->hwnd != nullptr) SetTextOf(*this, text_);
}

void TGet::Assign() {
  text_ = GetText();
  if (bSetGet) bSetGet(text_);
}

void TButton::Create() {
  win32::Realise(*this);
}

void TButton::Click() {
  if (bAction) bAction();
}

void TComboBox::Create() {
  if (!win32::Realise(*this)) return;
  for (const auto& item : aItems) {
    const std::wstring text = win32::Wide(item);
    ::SendMessageW(native_->hwnd, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
  }
  SetTextOf(*this, bSetGet ? bSetGet(std::nullopt) : std::string());
  // Room for the drop-down list below the field.
  ::MoveWindow(native_->hwnd, nLeft, nTop, nRight - nLeft + 1, nBottom - nTop + 1 + 160, TRUE);
  if (bWhen) ::EnableWindow(native_->hwnd, bWhen() ? TRUE : FALSE);
}

void TComboBox::CopyEditToVar() {
  if (bSetGet) bSetGet(GetText());
}

std::string TComboBox::GetText() const {
  if (native_->hwnd != nullptr) return TextOf(native_->hwnd);
  return bSetGet ? bSetGet(std::nullopt) : std::string();
}

void TComboBox::SetText(const std::string& text) {
  if (native_->hwnd != nullptr) SetTextOf(*this, text);
}

}  // namespace talvi::ui
