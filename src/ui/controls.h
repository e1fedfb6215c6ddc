// SPDX-License-Identifier: MIT
// The few controls the library's own dialogs need: text, entry field,
// button, combo box, folder with pages, progress bar, icon and picture. Each New
// creates the control in `owner` (default: LastDialog()), which owns it;
// positions and sizes are pixels.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ui/control.h"
#include "ui/dialog.h"
#include "ui/multiget.h"

namespace talvi::ui {

class TSay : public TControl {
 public:
  static TSay* New(int row, int col, const std::string& text, TDialog* owner = nullptr,
                   int width = 100, int height = 20, int id = 0);
  std::string ClassName() const override { return "TSAY"; }
  void Create() override;
  void SetText(const std::string& text);
  const std::string& GetText() const { return text_; }
  // Font family and pixel height; empty family: the dialog's font.
  std::string cFontName;
  int nFontHeight = 0;

 private:
  TSay() = default;
  std::string text_;
};

// A one-line entry field bound through bSetGet. The picture decides the
// kind: "@D" a date (the variable holds "dd/mm/yy" or "dd/mm/yyyy" text,
// blanks for the empty date), a picture of "9" digits with an optional "."
// a number (the variable holds its decimal text), anything else free text.
class TGet : public TControl {
 public:
  enum class Kind { kText, kDate, kNumber };
  static TGet* New(int row, int col, SetGet bSetGet, TDialog* owner = nullptr, int width = 100,
                   int height = 22, const std::string& picture = "", int id = 0);
  std::string ClassName() const override { return "TGET"; }
  void Create() override;

  Kind kind() const { return kind_; }
  // What the field shows now.
  std::string GetText() const;
  // Shows VarGet() in the field.
  void Refresh();
  // Takes the field's text into the variable (lost-focus handling).
  void Assign();
  // Digits before and after the decimal point that the picture allows.
  int IntDigits() const { return intDigits_; }
  int DecDigits() const { return decDigits_; }

  SetGet bSetGet;
  std::string cPicture;
  std::function<bool()> bWhen;    // enabling condition; empty: enabled
  std::function<void()> bChange;  // after every edit by the user

 private:
  TGet() = default;
  Kind kind_ = Kind::kText;
  int intDigits_ = 0, decDigits_ = 0;
  std::string text_;  // the text shown when there is no window yet
};

class TButton : public TControl {
 public:
  static TButton* New(int row, int col, const std::string& caption, std::function<void()> bAction,
                      TDialog* owner = nullptr, int width = 80, int height = 24, int id = 0,
                      bool lDefault = false);
  std::string ClassName() const override { return "TBUTTON"; }
  void Create() override;
  // Presses the button as a click would.
  void Click();

  std::string cCaption;
  std::function<void()> bAction;
  bool lDefault = false;

 private:
  TButton() = default;
};

// An editable combo box bound through bSetGet to the chosen text.
class TComboBox : public TControl {
 public:
  static TComboBox* New(int row, int col, SetGet bSetGet, std::vector<std::string> items,
                        TDialog* owner = nullptr, int width = 120, int height = 22, int id = 0);
  std::string ClassName() const override { return "TCOMBOBOX"; }
  void Create() override;
  // Copies the text of the edit field into the variable.
  void CopyEditToVar();
  std::string GetText() const;
  void SetText(const std::string& text);

  SetGet bSetGet;
  std::vector<std::string> aItems;
  std::function<bool()> bWhen;

 private:
  TComboBox() = default;
};

// A folder: one tab per page, each page a TDialog (built inside the folder,
// not as a window of its own) that owns the page's controls.
class TFolder : public TControl {
 public:
  static TFolder* New(int row, int col, const std::vector<std::string>& prompts,
                      TDialog* owner = nullptr, int width = 300, int height = 200, int id = 0);
  std::string ClassName() const override { return "TFOLDER"; }
  void Create() override;
  // Shows page n (1 based).
  void SetOption(int n);

  std::vector<std::unique_ptr<TDialog>> aDialogs;
  std::vector<std::string> aPrompts;
  int nOption = 1;

 private:
  TFolder() = default;
};

class TProgress : public TControl {
 public:
  static TProgress* New(int row, int col, TDialog* owner = nullptr, int width = 200,
                        int height = 20, int id = 0);
  std::string ClassName() const override { return "TPROGRESS"; }
  void Create() override;
  void SetRange(int minimum, int maximum);
  void SetPos(int position);
  int GetPos() const { return pos_; }
  int GetMin() const { return min_; }
  int GetMax() const { return max_; }

 private:
  TProgress() = default;
  int min_ = 0, max_ = 100, pos_ = 0;
};

// One of the system's standard icons (32515 the exclamation mark).
class TIcon : public TControl {
 public:
  static TIcon* New(int row, int col, int systemIcon, TDialog* owner = nullptr, int id = 0);
  std::string ClassName() const override { return "TICON"; }
  void Create() override;
  int nIcon = 0;

 private:
  TIcon() = default;
};

// One of the program's built-in pictures (see pictures.h), at its own size.
// A name without a picture shows nothing.
class TBitmap : public TControl {
 public:
  static TBitmap* New(int row, int col, const std::string& cResName, TDialog* owner = nullptr,
                      int id = 0);
  std::string ClassName() const override { return "TBITMAP"; }
  void Create() override;
  std::string cResName;

 private:
  TBitmap() = default;
};

}  // namespace talvi::ui
