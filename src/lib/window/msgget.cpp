// SPDX-License-Identifier: MIT
// MSGGET: one prompt, one entry field, OK and Cancel.
#include "lib/window/msgget.h"

#include <cmath>
#include <optional>

#include "lib/entry_number.h"
#include "lib/window/valid.h"
#include "ui/controls.h"
#include "ui/dialog.h"

namespace talvi::lib {

bool MSGGET(const std::string& title, const std::string& prompt, std::string& value,
            const std::string& picture) {
  std::string work = value;
  ui::DialogArgs args;
  args.cCaption = title;
  args.nWidth = 360;
  args.nHeight = 120;
  ui::TDialog dialog(args);
  dialog.lModify = false;
  dialog.lHelpIcon = false;
  dialog.lEscCancels = true;
  ui::TSay::New(12, 12, prompt, &dialog, 336, 20, 101);
  ui::TGet::New(
      38, 12,
      [&work](std::optional<std::string> v) {
        if (v) work = *v;
        return work;
      },
      &dialog, 336, 24, picture, 102);
  ui::TButton::New(
      78, 176, "OK",
      [&dialog] {
        dialog.Cargo = 1;
        dialog.End(1);
      },
      &dialog, 80, 28, 201, true);
  ui::TButton::New(
      78, 268, "Annulla",
      [&dialog] {
        dialog.Cargo = 2;
        dialog.End(2);
      },
      &dialog, 80, 28, 202);
  ui::ActivateArgs activate;
  activate.lCentered = true;
  activate.bValid = [](ui::TDialog& d) { return __VALID(d, false); };
  dialog.Activate(activate);
  if (dialog.nResult == 0 || dialog.nResult == 2) return false;
  value = work;
  return true;
}

bool MSGGET(const std::string& title, const std::string& prompt, double& value,
            const std::string& picture) {
  int decimals = 0;
  if (const auto point = picture.find('.'); point != std::string::npos) {
    for (std::size_t i = point + 1; i < picture.size() && picture[i] == '9'; ++i) ++decimals;
  }
  std::string work = EntryText(value, decimals);
  if (!MSGGET(title, prompt, work, picture)) return false;
  // The number as the close check read it: group separators and blanks
  // left out, "." before the decimals.
  const std::optional<double> parsed = ReadEntryNumber(work);
  if (!parsed || !std::isfinite(*parsed)) return false;
  value = *parsed;
  return true;
}

}  // namespace talvi::lib
