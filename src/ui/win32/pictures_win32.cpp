// SPDX-License-Identifier: MIT
// The progress bar (common controls), the system icons and the built-in
// pictures on Win32.
#include "ui/controls.h"
#include "ui/pictures.h"
#include "ui/win32/win32_internal.h"

// After <windows.h>, which it builds on.
#include <commctrl.h>

namespace talvi::ui {
namespace {

// A picture as a 32-bit bitmap; transparent letters take the dialog's
// face colour.
HBITMAP BitmapOf(const Picture& picture) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = picture.width;
  info.bmiHeader.biHeight = -picture.height;  // top row first
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = ::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (bitmap == nullptr || bits == nullptr) return bitmap;
  const COLORREF face = ::GetSysColor(COLOR_BTNFACE);  // 0x00BBGGRR
  const DWORD faceRgb = (GetRValue(face) << 16) | (GetGValue(face) << 8) | GetBValue(face);
  auto* pixels = static_cast<DWORD*>(bits);
  for (int y = 0; y < picture.height; ++y) {
    const std::string_view row = picture.rows[static_cast<std::size_t>(y)];
    for (int x = 0; x < picture.width; ++x) {
      const std::uint32_t argb = picture.colour(row[static_cast<std::size_t>(x)]);
      pixels[y * picture.width + x] = (argb >> 24) != 0 ? (argb & 0xFFFFFFu) : faceRgb;
    }
  }
  return bitmap;
}

}  // namespace

void TProgress::Create() {
  if (!win32::Realise(*this)) return;
  ::SendMessageW(native_->hwnd, PBM_SETRANGE32, static_cast<WPARAM>(min_), max_);
  ::SendMessageW(native_->hwnd, PBM_SETPOS, static_cast<WPARAM>(pos_), 0);
}

void TProgress::SetRange(int minimum, int maximum) {
  min_ = minimum;
  max_ = maximum;
  if (native_->hwnd != nullptr) {
    ::SendMessageW(native_->hwnd, PBM_SETRANGE32, static_cast<WPARAM>(minimum), maximum);
  }
}

void TProgress::SetPos(int position) {
  pos_ = position;
  if (native_->hwnd != nullptr) {
    ::SendMessageW(native_->hwnd, PBM_SETPOS, static_cast<WPARAM>(position), 0);
    ::UpdateWindow(native_->hwnd);
  }
}

void TIcon::Create() {
  if (!win32::Realise(*this)) return;
  const HICON icon = ::LoadIconW(nullptr, MAKEINTRESOURCEW(nIcon));
  ::SendMessageW(native_->hwnd, STM_SETICON, reinterpret_cast<WPARAM>(icon), 0);
  win32::Place(*this);
}

void TBitmap::Create() {
  if (!win32::Realise(*this)) return;
  if (const Picture* picture = FindPicture(cResName)) {
    native_->bitmap = BitmapOf(*picture);
    ::SendMessageW(native_->hwnd, STM_SETIMAGE, IMAGE_BITMAP,
                   reinterpret_cast<LPARAM>(native_->bitmap));
    win32::Place(*this);
  }
}

}  // namespace talvi::ui
