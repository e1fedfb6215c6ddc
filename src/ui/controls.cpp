// SPDX-License-Identifier: MIT
// Construction of the library's small controls (the window side is in qt/).
#include "ui/controls.h"

#include <cctype>

#include "ui/pictures.h"
#include "ui/registry.h"

namespace talvi::ui {
namespace qt {
TControl* Adopt(TDialog* owner, std::unique_ptr<TControl> control);
void NotDefaultOwner(TDialog& dialog);
}  // namespace qt

namespace {

template <typename T>
T* Adopted(TDialog* owner, std::unique_ptr<T> control, int row, int col, int width, int height,
           int id) {
  control->nTop = row;
  control->nLeft = col;
  control->nBottom = row + height - 1;
  control->nRight = col + width - 1;
  control->nId = id;
  return static_cast<T*>(qt::Adopt(owner, std::move(control)));
}

}  // namespace

TSay* TSay::New(int row, int col, const std::string& text, TDialog* owner, int width, int height,
                int id) {
  std::unique_ptr<TSay> say(new TSay());
  say->text_ = text;
  return Adopted(owner, std::move(say), row, col, width, height, id);
}

TGet* TGet::New(int row, int col, SetGet bSetGet, TDialog* owner, int width, int height,
                const std::string& picture, int id) {
  std::unique_ptr<TGet> get(new TGet());
  get->bSetGet = std::move(bSetGet);
  get->cPicture = picture;
  if (picture == "@D" || picture == "@d") {
    get->kind_ = Kind::kDate;
  } else {
    // A number picture: digits "9" with at most one decimal point, after an
    // optional function part such as "@Z ".
    std::string body = picture;
    if (!body.empty() && body[0] == '@') {
      const auto blank = body.find(' ');
      body = blank == std::string::npos ? std::string() : body.substr(blank + 1);
    }
    bool number = !body.empty();
    bool afterPoint = false;
    for (char c : body) {
      if (c == '9') {
        (afterPoint ? get->decDigits_ : get->intDigits_)++;
      } else if (c == '.' && !afterPoint) {
        afterPoint = true;
      } else if (c != ',') {
        number = false;
      }
    }
    if (number && get->intDigits_ + get->decDigits_ > 0) get->kind_ = Kind::kNumber;
  }
  get->text_ = get->bSetGet ? get->bSetGet(std::nullopt) : std::string();
  return Adopted(owner, std::move(get), row, col, width, height, id);
}

TButton* TButton::New(int row, int col, const std::string& caption, std::function<void()> bAction,
                      TDialog* owner, int width, int height, int id, bool lDefault) {
  std::unique_ptr<TButton> button(new TButton());
  button->cCaption = caption;
  button->bAction = std::move(bAction);
  button->lDefault = lDefault;
  return Adopted(owner, std::move(button), row, col, width, height, id);
}

TComboBox* TComboBox::New(int row, int col, SetGet bSetGet, std::vector<std::string> items,
                          TDialog* owner, int width, int height, int id) {
  std::unique_ptr<TComboBox> combo(new TComboBox());
  combo->bSetGet = std::move(bSetGet);
  combo->aItems = std::move(items);
  return Adopted(owner, std::move(combo), row, col, width, height, id);
}

TFolder* TFolder::New(int row, int col, const std::vector<std::string>& prompts, TDialog* owner,
                      int width, int height, int id) {
  std::unique_ptr<TFolder> folder(new TFolder());
  folder->aPrompts = prompts;
  TDialog* defaultOwner = owner != nullptr ? owner : LastDialog();
  for (std::size_t i = 0; i < prompts.size(); ++i) {
    DialogArgs args;
    args.cCaption = prompts[i];
    args.lPixel = true;
    args.nBottom = height;
    args.nRight = width;
    folder->aDialogs.push_back(std::make_unique<TDialog>(args));
    folder->aDialogs.back()->lModify = false;
    // A page is not where later controls go by default.
    qt::NotDefaultOwner(*folder->aDialogs.back());
  }
  return Adopted(defaultOwner, std::move(folder), row, col, width, height, id);
}

TProgress* TProgress::New(int row, int col, TDialog* owner, int width, int height, int id) {
  return Adopted(owner, std::unique_ptr<TProgress>(new TProgress()), row, col, width, height, id);
}

TIcon* TIcon::New(int row, int col, int systemIcon, TDialog* owner, int id) {
  std::unique_ptr<TIcon> icon(new TIcon());
  icon->nIcon = systemIcon;
  return Adopted(owner, std::move(icon), row, col, 32, 32, id);
}

TBitmap* TBitmap::New(int row, int col, const std::string& cResName, TDialog* owner, int id) {
  std::unique_ptr<TBitmap> bitmap(new TBitmap());
  bitmap->cResName = cResName;
  const Picture* picture = FindPicture(cResName);
  const int width = picture != nullptr ? picture->width : 0;
  const int height = picture != nullptr ? picture->height : 0;
  return Adopted(owner, std::move(bitmap), row, col, width, height, id);
}

}  // namespace talvi::ui
