// SPDX-License-Identifier: MIT
// TMultiGet: the parts that do not touch the window.
#include "ui/multiget.h"

#include <stdexcept>

#include "ui/control.h"
#include "ui/dialog.h"

namespace talvi::ui {
namespace qt {
TControl* Adopt(TDialog* owner, std::unique_ptr<TControl> control);
}

namespace {

// The accessor that New installs over a TextVar. Append and Refresh take
// their short way through the variable only while bSetGet is still this
// accessor: a bSetGet put in its place is used like any other.
struct TextVarAccessor {
  TextVar* var;
  std::string operator()(std::optional<std::string> value) const {
    if (value) var->Set(std::move(*value));
    return var->Get();
  }
};

}  // namespace

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
  return New(row, col, SetGet(TextVarAccessor{&text}), owner, width, height, lReadOnly);
}

TextVar* TMultiGet::BoundVar() const {
  const auto* accessor = bSetGet.target<TextVarAccessor>();
  return accessor != nullptr ? accessor->var : nullptr;
}

std::string TMultiGet::VarGet() const {
  return bSetGet ? bSetGet(std::nullopt) : std::string();
}

void TMultiGet::VarPut(const std::string& text) {
  if (bSetGet) bSetGet(text);
}

void TMultiGet::Append(std::string_view tail) {
  if (TextVar* var = BoundVar()) {
    var->Append(tail);
  } else if (bSetGet) {
    std::string text = VarGet();
    text.append(tail);
    VarPut(text);
  }
}

}  // namespace talvi::ui
