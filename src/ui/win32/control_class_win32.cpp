// SPDX-License-Identifier: MIT
// What each control's window is: class, styles and text, as the dialog's
// template and a control created later both use them; and how a control
// answers the commands its window sends.
#include "ui/controls.h"
#include "ui/win32/win32_internal.h"

// After <windows.h>, which it builds on.
#include <commctrl.h>

namespace talvi::ui::win32 {

ControlSpec SpecFor(const TControl& control) {
  ControlSpec shape;
  shape.style = WS_VISIBLE;
  if (const auto* log = dynamic_cast<const TMultiGet*>(&control)) {
    shape.cls = L"EDIT";
    shape.style |= WS_TABSTOP | ES_MULTILINE | ES_AUTOVSCROLL | WS_BORDER | WS_VSCROLL;
    if (log->lReadOnly) shape.style |= ES_READONLY;
    shape.exStyle = WS_EX_CLIENTEDGE;
  } else if (const auto* say = dynamic_cast<const TSay*>(&control)) {
    shape.cls = L"STATIC";
    shape.style |= SS_LEFT | SS_NOPREFIX;
    shape.text = Wide(say->GetText());
  } else if (const auto* get = dynamic_cast<const TGet*>(&control)) {
    shape.cls = L"EDIT";
    shape.style |= WS_TABSTOP | ES_AUTOHSCROLL | WS_BORDER;
    if (get->kind() == TGet::Kind::kNumber) shape.style |= ES_RIGHT;
    shape.exStyle = WS_EX_CLIENTEDGE;
    shape.text = Wide(get->GetText());
  } else if (const auto* button = dynamic_cast<const TButton*>(&control)) {
    shape.cls = L"BUTTON";
    shape.style |= WS_TABSTOP | (button->lDefault ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON);
    shape.text = Wide(button->cCaption);
  } else if (dynamic_cast<const TComboBox*>(&control) != nullptr) {
    shape.cls = L"COMBOBOX";
    shape.style |= WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWN | CBS_AUTOHSCROLL;
  } else if (dynamic_cast<const TFolder*>(&control) != nullptr) {
    shape.cls = WC_TABCONTROLW;
    shape.style |= WS_TABSTOP | WS_CLIPSIBLINGS;
  } else if (dynamic_cast<const TProgress*>(&control) != nullptr) {
    shape.cls = PROGRESS_CLASSW;
  } else if (dynamic_cast<const TIcon*>(&control) != nullptr) {
    shape.cls = L"STATIC";
    shape.style |= SS_ICON;
  } else if (dynamic_cast<const TBitmap*>(&control) != nullptr) {
    shape.cls = L"STATIC";
    shape.style |= SS_BITMAP;
  } else {
    shape.cls = L"STATIC";
  }
  return shape;
}

void ControlCommand(TDialog& dialog, TControl& control, int code) {
  if (auto* button = dynamic_cast<TButton*>(&control)) {
    if (code == BN_CLICKED && button->bAction) button->bAction();
  } else if (auto* get = dynamic_cast<TGet*>(&control)) {
    if (code == EN_CHANGE && !get->native()->settingText) {
      dialog.lModify = true;
      if (get->bChange) get->bChange();
    } else if (code == EN_KILLFOCUS) {
      get->Assign();
    }
  } else if (dynamic_cast<TComboBox*>(&control) != nullptr) {
    if ((code == CBN_EDITCHANGE || code == CBN_SELCHANGE) && !control.native()->settingText) {
      dialog.lModify = true;
    }
  }
}

}  // namespace talvi::ui::win32
