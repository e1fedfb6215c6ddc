// TMultiGet: the parts that do not touch the window.
#include <stdexcept>

#include "ui/ui.h"

namespace talvi::ui {
namespace qt {
TControl* Adopt(TDialog* owner, std::unique_ptr<TControl> control);
}

TMultiGet* TMultiGet::New(int row, int col, SetGet bSetGet, TDialog* owner, int width, int height,
                          bool lReadOnly) {
  std::unique_ptr<TMultiGet> get(new TMultiGet());
  get->nTop = row;
  get->nLeft = col;
  get->nBottom = row + height - 1;
  get->nRight = col + width - 1;
  get->bSetGet = std::move(bSetGet);
  get->lReadOnly = lReadOnly;
  return static_cast<TMultiGet*>(qt::Adopt(owner, std::move(get)));
}

TMultiGet* TMultiGet::New(int row, int col, TextVar& text, TDialog* owner, int width, int height,
                          bool lReadOnly) {
  TextVar* var = &text;
  SetGet accessor = [var](std::optional<std::string> value) {
    if (value) var->Set(std::move(*value));
    return var->Get();
  };
  TMultiGet* get = New(row, col, std::move(accessor), owner, width, height, lReadOnly);
  get->var_ = var;
  return get;
}

std::string TMultiGet::VarGet() const {
  return bSetGet ? bSetGet(std::nullopt) : std::string();
}

void TMultiGet::VarPut(const std::string& text) {
  if (bSetGet) bSetGet(text);
}

void TMultiGet::Append(std::string_view tail) {
  if (var_ != nullptr) {
    var_->Append(tail);
  } else if (bSetGet) {
    std::string text = VarGet();
    text.append(tail);
    VarPut(text);
  }
}

}  // namespace talvi::ui
