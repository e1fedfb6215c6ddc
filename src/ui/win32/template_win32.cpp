// SPDX-License-Identifier: MIT
#include "ui/win32/template_win32.h"

#include <cstring>

namespace talvi::ui::win32 {
namespace {

// Appends WORD-sized fields; the template is built as 16-bit words and
// handed over as DWORDs (the system wants DWORD alignment).
class Words {
 public:
  void Word(WORD w) { words_.push_back(w); }
  void Dword(DWORD d) {
    Word(LOWORD(d));
    Word(HIWORD(d));
  }
  void Short(short s) { Word(static_cast<WORD>(s)); }
  void Text(const std::wstring& text) {
    for (wchar_t c : text) Word(static_cast<WORD>(c));
    Word(0);
  }
  void AlignDword() {
    if (words_.size() % 2 != 0) Word(0);
  }
  std::vector<DWORD> Done() {
    AlignDword();
    std::vector<DWORD> out(words_.size() / 2);
    std::memcpy(out.data(), words_.data(), words_.size() * sizeof(WORD));
    return out;
  }

 private:
  std::vector<WORD> words_;
};

}  // namespace

std::vector<DWORD> BuildTemplate(const TDialog& dialog, DWORD style, DWORD exStyle) {
  Words t;
  t.Dword(style | DS_SETFONT);
  t.Dword(exStyle);
  t.Word(static_cast<WORD>(dialog.Controls().size()));
  t.Short(0);   // x
  t.Short(0);   // y
  t.Short(10);  // cx
  t.Short(10);  // cy
  t.Word(0);    // no menu
  t.Word(0);    // the system's dialog class
  t.Text(Wide(dialog.cCaption));
  t.Word(8);  // point size of the template's font; the real font is set per control
  t.Text(L"MS Shell Dlg");
  for (const auto& control : dialog.Controls()) {
    const ControlSpec shape = SpecFor(*control);
    t.AlignDword();
    t.Dword(shape.style | WS_CHILD);
    t.Dword(shape.exStyle);
    t.Short(0);
    t.Short(0);
    t.Short(1);
    t.Short(1);
    t.Word(static_cast<WORD>(ChildId(dialog, *control)));
    t.Text(shape.cls);
    t.Text(shape.text);
    t.Word(0);  // no creation data
  }
  return t.Done();
}

}  // namespace talvi::ui::win32
