// SPDX-License-Identifier: MIT
// Font measures and the focus query.
#include "ui/win32/win32_internal.h"

namespace talvi::ui {
namespace {

// The font asked for (the dialog font when no family and size are given),
// selected into a screen context for as long as it lives.
class Measuring {
 public:
  Measuring(const std::string& family, int pixelSize) : dc_(::GetDC(nullptr)) {
    HFONT font = win32::DialogFont();
    if (!family.empty() || pixelSize > 0) {
      LOGFONTW logFont{};
      ::GetObjectW(font, sizeof logFont, &logFont);
      if (pixelSize > 0) logFont.lfHeight = -pixelSize;
      if (!family.empty()) {
        const std::wstring name = win32::Wide(family).substr(0, LF_FACESIZE - 1);
        name.copy(logFont.lfFaceName, name.size());
        logFont.lfFaceName[name.size()] = L'\0';
      }
      logFont.lfWeight = FW_NORMAL;
      own_ = ::CreateFontIndirectW(&logFont);
      if (own_ != nullptr) font = own_;
    }
    old_ = ::SelectObject(dc_, font);
  }
  ~Measuring() {
    ::SelectObject(dc_, old_);
    if (own_ != nullptr) ::DeleteObject(own_);
    ::ReleaseDC(nullptr, dc_);
  }
  Measuring(const Measuring&) = delete;
  Measuring& operator=(const Measuring&) = delete;
  HDC dc() const { return dc_; }

 private:
  HDC dc_;
  HFONT own_ = nullptr;
  HGDIOBJ old_ = nullptr;
};

}  // namespace

int TextWidth(const std::string& text, const std::string& family, int pixelSize) {
  const Measuring m(family, pixelSize);
  const std::wstring wide = win32::Wide(text);
  SIZE size{};
  ::GetTextExtentPoint32W(m.dc(), wide.c_str(), static_cast<int>(wide.size()), &size);
  return size.cx;
}

int CharHeight(const std::string& family, int pixelSize) {
  const Measuring m(family, pixelSize);
  TEXTMETRICW metrics{};
  ::GetTextMetricsW(m.dc(), &metrics);
  return metrics.tmHeight;
}

TControl* FocusedControl(const TDialog& dialog) {
  const HWND focus = ::GetFocus();
  if (focus == nullptr) return nullptr;
  for (const auto& control : dialog.Controls()) {
    const HWND hwnd = control->native()->hwnd;
    if (hwnd != nullptr && (hwnd == focus || ::IsChild(hwnd, focus))) return control.get();
  }
  return nullptr;
}

}  // namespace talvi::ui
