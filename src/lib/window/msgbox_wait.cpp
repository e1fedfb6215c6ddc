// SPDX-License-Identifier: MIT
// TMsgBox: the non-modal wait box with its optional progress bar, and the
// print-style box with its page counter.
#include <algorithm>
#include <cmath>

#include "lib/window/msgbox.h"
#include "lib/window/msgbox_state.h"
#include "os/keystate.h"
#include "ui/app.h"
#include "ui/controls.h"
#include "ui/dialog.h"
#include "ui/metrics.h"
#include "ui/registry.h"

namespace talvi::lib {
namespace {

constexpr int kWrapAt = 79;
constexpr int kSystemExclamation = 32515;
const char* const kFont = "Arial";
constexpr int kFontPx = 15;
// Width given to a box opened without text: room for a short caption.
constexpr int kEmptyTextWidth = 200;

struct Measure {
  int lines = 0;
  int widest = 0;
};

// Lines (breaks, and wrapping at 79 characters) and the widest line in
// pixels, trailing blanks removed, measured in the font the box shows the
// text in (measuring in another font makes lines wrap or leaves gaps).
Measure MeasureText(const std::string& text) {
  Measure m;
  if (text.empty()) {
    m.lines = 1;
    m.widest = kEmptyTextWidth;
    return m;
  }
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    while (!line.empty() && line.back() == ' ') line.pop_back();
    m.lines += std::max<int>(1, static_cast<int>((line.size() + kWrapAt - 1) / kWrapAt));
    m.widest = std::max(m.widest, ui::TextWidth(line.substr(0, kWrapAt), kFont, kFontPx));
    start = end + 1;
    if (end == text.size()) break;
  }
  return m;
}

int ToInt(double v) {
  return static_cast<int>(std::lround(v));
}

}  // namespace

std::unique_ptr<TMsgBox> TMsgBox::New(const std::string& text,
                                      const std::optional<std::string>& title,
                                      std::optional<double> minimum, std::optional<double> maximum,
                                      bool printStyle) {
  std::unique_ptr<TMsgBox> box(new TMsgBox());
  const std::string caption = printStyle ? "Attendere" : title.value_or("Attendere");
  Measure m;
  if (!printStyle) {
    m = MeasureText(text);
    msgbox_state::Current() = text;
  }
  box->hWnd = ui::GetActiveWindow();

  ui::DialogArgs args;
  args.cCaption = caption;
  args.nStyle = ui::WS_POPUP | ui::WS_CAPTION | ui::DS_MODALFRAME;  // no system menu
  args.lPixel = true;
  int width = 0;
  int height = 0;
  const int charHeight = ui::CharHeight(kFont, kFontPx);
  if (!printStyle) {
    if (minimum) {
      ++m.lines;
      m.widest += 5;
    }
    width = m.widest + 110;
    height = (m.lines + 5) * charHeight;
  } else {
    width = 320;
    height = 130 - 33;
  }
  args.nBottom = height;
  args.nRight = width;
  box->oDlg = std::make_unique<ui::TDialog>(args);
  ui::TDialog& dlg = *box->oDlg;
  dlg.lModify = false;
  dlg.lHelpIcon = false;
  dlg.lWaitCursor = true;

  if (!printStyle) {
    ui::TIcon::New(ToInt(0.5 * 15.1), ToInt(7.9), kSystemExclamation, &dlg);
    ui::TSay* say = ui::TSay::New(20, 65, text, &dlg, width - 90, height - 80);
    say->cFontName = kFont;
    say->nFontHeight = kFontPx;
    if (minimum) {
      ui::TProgress* bar = ui::TProgress::New(height - 60, 15, &dlg, width - 35, 20);
      bar->SetRange(ToInt(*minimum), ToInt(maximum.value_or(*minimum + 100)));
      box->oPrg = bar;
    }
  } else {
    box->nPag = 1;
    ui::TBitmap::New(16, 16, "PRINT", &dlg, 101);
    ui::TSay::New(24, 70, text.empty() ? std::string("1") : text, &dlg, width - 90, 24, 102);
    ui::TButton* stop =
        ui::TButton::New(height, width / 2 - 40, "Annulla", nullptr, &dlg, 80, 24, 201);
    stop->Show(false);
  }
  // Neither Esc nor F4 (so neither Alt+F4) closes the box: only End does.
  dlg.bValid = [](ui::TDialog&) {
    return !os::IsKeyDown(os::VK_ESCAPE) && !os::IsKeyDown(os::VK_F4);
  };
  ui::ActivateArgs activate;
  activate.lModal = false;
  activate.lCentered = true;
  dlg.Activate(activate);
  if (printStyle) {
    for (const auto& control : dlg.Controls()) {
      if (control->nId == 201) control->Show(false);
    }
  }
  if (!dlg.Controls().empty()) dlg.Controls().front()->SetFocus();
  if (box->hWnd != 0) ui::EnableWindow(box->hWnd, false);
  return box;
}

TMsgBox::~TMsgBox() {
  End();
}

void TMsgBox::End() {
  if (!oDlg) return;
  // The box is taken over before messages are let through, so an End run
  // by a handler in that pump finds it already closing and does nothing.
  std::unique_ptr<ui::TDialog> dlg = std::move(oDlg);
  oPrg = nullptr;
  if (hWnd != 0) {
    ui::EnableWindow(hWnd, true);
    ui::SYSREFRESH();
  }
  dlg->bValid = nullptr;
  dlg->End();
  dlg.reset();
  // A box that a handler opened in the pump above keeps its own message.
  if (!msgbox_state::Box()) msgbox_state::Current().reset();
}

void TMsgBox::SetMsg(const std::string& text) {
  if (!oDlg || oDlg->Controls().size() < 2) return;
  if (auto* say = dynamic_cast<ui::TSay*>(oDlg->Controls()[1].get())) say->SetText(text);
}

void TMsgBox::SetPos(double position) {
  auto* bar = dynamic_cast<ui::TProgress*>(oPrg);
  if (bar == nullptr) return;
  const int pos = ToInt(position);
  const int max = bar->GetMax();
  // Setting a value past the wanted one and stepping back makes the bar
  // jump there at once on systems that animate it.
  if (pos < max) {
    bar->SetPos(pos + 1);
    bar->SetPos(pos);
  } else {
    bar->SetRange(bar->GetMin(), max + 1);
    bar->SetPos(max + 1);
    bar->SetRange(bar->GetMin(), max);
    bar->SetPos(max);
  }
}

}  // namespace talvi::lib
