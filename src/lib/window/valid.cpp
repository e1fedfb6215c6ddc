// SPDX-License-Identifier: MIT
// The dialogs' close check and the field checks behind it.
#include "lib/window/valid.h"

#include <cmath>
#include <optional>
#include <string>

#include "lib/date.h"
#include "lib/entry_number.h"
#include "lib/window/msgbox.h"
#include "ui/control.h"
#include "ui/controls.h"
#include "ui/dialog.h"
#include "ui/metrics.h"

namespace talvi::lib {
namespace {

// Set for the duration of a __VALID call; nested calls see it.
bool validating = false;

class ValidatingScope {
 public:
  ValidatingScope() { validating = true; }
  ~ValidatingScope() { validating = false; }
  ValidatingScope(const ValidatingScope&) = delete;
  ValidatingScope& operator=(const ValidatingScope&) = delete;
};

// The empty date shows only blanks where the digits go.
bool IsBlankDate(const std::string& text) {
  for (char c : text) {
    if (c >= '0' && c <= '9') return false;
  }
  return true;
}

bool DateIsValid(const std::string& text) {
  if (IsBlankDate(text)) return true;
  std::string trimmed = text;
  while (!trimmed.empty() && trimmed.back() == ' ') trimmed.pop_back();
  // A date field holds day, month and year, the year in two or four digits;
  // a two-digit year is read under the epoch in force.
  const std::string_view format = trimmed.size() <= 8 ? "dd/mm/yy" : "dd/mm/yyyy";
  return !CTOD(trimmed, format).IsEmpty();
}

// True when `value` can be shown under the field's picture.
bool NumberFits(const ui::TGet& get, double value) {
  if (!std::isfinite(value)) return false;
  const double scale = std::pow(10.0, get.DecDigits());
  const double rounded = std::round(std::fabs(value) * scale) / scale;
  // A minus sign takes one of the integer places.
  const int places = value < 0 ? get.IntDigits() - 1 : get.IntDigits();
  return places >= 0 && rounded < std::pow(10.0, places);
}

bool Enabled(const ui::TControl& control) {
  if (const auto* get = dynamic_cast<const ui::TGet*>(&control)) {
    return !get->bWhen || get->bWhen();
  }
  if (const auto* combo = dynamic_cast<const ui::TComboBox*>(&control)) {
    return !combo->bWhen || combo->bWhen();
  }
  return true;
}

// The message for a control that fails its check, or "" when it passes.
std::string Check(ui::TControl& control) {
  if (auto* get = dynamic_cast<ui::TGet*>(&control)) {
    if (get->kind() == ui::TGet::Kind::kDate && !DateIsValid(get->GetText())) {
      return "Data non valida.";
    }
    if (get->kind() == ui::TGet::Kind::kNumber) {
      // Read as MSGGET and the field's owner read it, so what passes here
      // is what they store.
      const std::optional<double> value = ReadEntryNumber(get->GetText());
      if (!value) return "Campo non valido.";
      if (!NumberFits(*get, *value)) return "Numero troppo grande.";
    }
  }
  if (control.Cargo && !control.Cargo(control)) return "Campo non valido.";
  return {};
}

void Report(ui::TDialog& dialog, ui::TControl& control, const std::string& message) {
  control.SetFocus();
  const int color = control.GetBackColor();
  control.SetBackColor(255);
  dialog.Refresh();
  POPMSG(message, 1);
  control.SetBackColor(color);
  dialog.Refresh();
  control.SetFocus();
}

}  // namespace

bool __VALID(ui::TDialog& dialog, bool ask) {
  ui::TControl* focused = ui::FocusedControl(dialog);
  if (validating) return false;
  ValidatingScope scope;
  if (!dialog.Cargo || *dialog.Cargo == 2) {
    if (!ask) return true;
    UPDATEMODIFY(dialog);
    if (!dialog.lModify) return true;
    if (IsTrue(POPMSG("Annullo le modifiche?", 5))) return true;
    if (focused != nullptr) focused->SetFocus();
    return false;
  }
  dialog.Cargo.reset();
  if (auto* get = dynamic_cast<ui::TGet*>(focused)) get->Assign();
  if (auto* combo = dynamic_cast<ui::TComboBox*>(focused)) combo->CopyEditToVar();
  if (!__VALID2(dialog)) return false;
  for (const auto& control : dialog.Controls()) {
    auto* folder = dynamic_cast<ui::TFolder*>(control.get());
    if (folder == nullptr) continue;
    for (std::size_t i = 0; i < folder->aDialogs.size(); ++i) {
      folder->SetOption(static_cast<int>(i) + 1);
      if (!__VALID2(*folder->aDialogs[i])) return false;
    }
  }
  return true;
}

bool __VALID2(ui::TDialog& dialog) {
  for (const auto& owned : dialog.Controls()) {
    ui::TControl& control = *owned;
    const std::string kind = control.ClassName();
    if (kind == "TSAY" || kind == "TMETER") continue;
    if (auto* combo = dynamic_cast<ui::TComboBox*>(&control)) combo->CopyEditToVar();
    if (!Enabled(control)) continue;
    const std::string message = Check(control);
    if (!message.empty()) {
      Report(dialog, control, message);
      return false;
    }
  }
  return true;
}

void UPDATEMODIFY(ui::TDialog& dialog) {
  for (const auto& control : dialog.Controls()) {
    auto* folder = dynamic_cast<ui::TFolder*>(control.get());
    if (folder == nullptr) continue;
    for (const auto& page : folder->aDialogs) {
      if (page->lModify) dialog.lModify = true;
    }
  }
}

void RESETMODIFY(ui::TFolder& folder) {
  for (const auto& page : folder.aDialogs) page->lModify = false;
}

}  // namespace talvi::lib
