// SPDX-License-Identifier: MIT
// The close check that the program's dialogs install, and its helpers.
#pragma once

namespace talvi::ui {
class TDialog;
class TFolder;
}  // namespace talvi::ui

namespace talvi::lib {

// True when `dialog` may close. Its Cargo tells how it is closing: none or 2
// without confirming (then, with `ask`, unsaved changes are confirmed with
// "Annullo le modifiche?"), anything else confirms and every field is
// checked with __VALID2, folder pages included. A call made while another
// __VALID is running gives false at once.
bool __VALID(ui::TDialog& dialog, bool ask = false);
// True when every checkable control of `dialog` holds a valid value; the
// first bad one is shown in red with its message and keeps the focus.
bool __VALID2(ui::TDialog& dialog);
// Sets the dialog's lModify when a page of one of its folders is modified.
void UPDATEMODIFY(ui::TDialog& dialog);
// Clears the modified flag of every page of `folder`.
void RESETMODIFY(ui::TFolder& folder);

}  // namespace talvi::lib
