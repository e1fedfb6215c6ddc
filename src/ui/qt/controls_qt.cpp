// SPDX-License-Identifier: MIT
// The window side of the library's small controls.
#include <QApplication>
#include <QComboBox>
#include <QFont>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>
#include <QTabWidget>

#include "ui/controls.h"
#include "ui/pictures.h"
#include "ui/qt/qt_internal.h"

namespace talvi::ui {
namespace {

QWidget* ParentOf(const TControl& control) {
  return control.oWnd != nullptr ? qt::Container(*control.oWnd) : nullptr;
}

template <typename W>
W* WidgetOf(const TControl& control) {
  return control.native() ? qobject_cast<W*>(control.native()->widget.data()) : nullptr;
}

}  // namespace

void TSay::Create() {
  if (native_->widget) return;
  QWidget* parent = ParentOf(*this);
  if (parent == nullptr) return;
  auto* label = new QLabel(qt::ToQ(text_), parent);
  label->setWordWrap(true);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  if (!cFontName.empty() || nFontHeight > 0) {
    QFont font = label->font();
    if (!cFontName.empty()) font.setFamily(qt::ToQ(cFontName));
    if (nFontHeight > 0) font.setPixelSize(nFontHeight);
    label->setFont(font);
  }
  native_->widget = label;
  qt::Place(*this, label);
}

void TSay::SetText(const std::string& text) {
  text_ = text;
  if (auto* label = WidgetOf<QLabel>(*this)) label->setText(qt::ToQ(text));
}

void TGet::Create() {
  if (native_->widget) return;
  QWidget* parent = ParentOf(*this);
  if (parent == nullptr) return;
  auto* edit = new QLineEdit(qt::ToQ(text_), parent);
  if (kind_ == Kind::kNumber) edit->setAlignment(Qt::AlignRight);
  QObject::connect(edit, &QLineEdit::textEdited, edit, [this](const QString&) {
    if (oWnd != nullptr) oWnd->lModify = true;
    if (bChange) bChange();
  });
  QObject::connect(edit, &QLineEdit::editingFinished, edit, [this] { Assign(); });
  native_->widget = edit;
  qt::Place(*this, edit);
  if (bWhen) edit->setEnabled(bWhen());
}

std::string TGet::GetText() const {
  if (auto* edit = WidgetOf<QLineEdit>(*this)) return qt::FromQ(edit->text());
  return text_;
}

void TGet::Refresh() {
  text_ = bSetGet ? bSetGet(std::nullopt) : std::string();
  if (auto* edit = WidgetOf<QLineEdit>(*this)) edit->setText(qt::ToQ(text_));
}

void TGet::Assign() {
  text_ = GetText();
  if (bSetGet) bSetGet(text_);
}

void TButton::Create() {
  if (native_->widget) return;
  QWidget* parent = ParentOf(*this);
  if (parent == nullptr) return;
  auto* button = new QPushButton(qt::ToQ(cCaption), parent);
  button->setDefault(lDefault);
  button->setAutoDefault(lDefault);
  QObject::connect(button, &QPushButton::clicked, button, [this] {
    if (bAction) bAction();
  });
  native_->widget = button;
  qt::Place(*this, button);
}

void TButton::Click() {
  if (auto* button = WidgetOf<QPushButton>(*this)) {
    button->click();
  } else if (bAction) {
    bAction();
  }
}

void TComboBox::Create() {
  if (native_->widget) return;
  QWidget* parent = ParentOf(*this);
  if (parent == nullptr) return;
  auto* combo = new QComboBox(parent);
  combo->setEditable(true);
  for (const auto& item : aItems) combo->addItem(qt::ToQ(item));
  combo->setCurrentText(qt::ToQ(bSetGet ? bSetGet(std::nullopt) : std::string()));
  QObject::connect(combo, &QComboBox::currentTextChanged, combo, [this](const QString&) {
    if (oWnd != nullptr) oWnd->lModify = true;
  });
  native_->widget = combo;
  qt::Place(*this, combo);
  if (bWhen) combo->setEnabled(bWhen());
}

void TComboBox::CopyEditToVar() {
  if (bSetGet) bSetGet(GetText());
}

std::string TComboBox::GetText() const {
  if (auto* combo = WidgetOf<QComboBox>(*this)) return qt::FromQ(combo->currentText());
  return bSetGet ? bSetGet(std::nullopt) : std::string();
}

void TComboBox::SetText(const std::string& text) {
  if (auto* combo = WidgetOf<QComboBox>(*this)) combo->setCurrentText(qt::ToQ(text));
}

void TFolder::Create() {
  if (native_->widget) return;
  QWidget* parent = ParentOf(*this);
  if (parent == nullptr) return;
  auto* tabs = new QTabWidget(parent);
  for (std::size_t i = 0; i < aDialogs.size(); ++i) {
    qt::BuildPage(*aDialogs[i], tabs);
    tabs->addTab(qt::Container(*aDialogs[i]), qt::ToQ(aPrompts[i]));
  }
  QObject::connect(tabs, &QTabWidget::currentChanged, tabs,
                   [this](int index) { nOption = index + 1; });
  native_->widget = tabs;
  qt::Place(*this, tabs);
  SetOption(nOption);
}

void TFolder::SetOption(int n) {
  if (n < 1 || n > static_cast<int>(aDialogs.size())) return;
  nOption = n;
  if (auto* tabs = WidgetOf<QTabWidget>(*this)) tabs->setCurrentIndex(n - 1);
}

void TProgress::Create() {
  if (native_->widget) return;
  QWidget* parent = ParentOf(*this);
  if (parent == nullptr) return;
  auto* bar = new QProgressBar(parent);
  bar->setTextVisible(false);
  bar->setRange(min_, max_);
  bar->setValue(pos_);
  native_->widget = bar;
  qt::Place(*this, bar);
}

void TProgress::SetRange(int minimum, int maximum) {
  min_ = minimum;
  max_ = maximum;
  if (auto* bar = WidgetOf<QProgressBar>(*this)) bar->setRange(minimum, maximum);
}

void TProgress::SetPos(int position) {
  pos_ = position;
  if (auto* bar = WidgetOf<QProgressBar>(*this)) {
    bar->setValue(position);
    bar->repaint();
  }
}

void TIcon::Create() {
  if (native_->widget) return;
  QWidget* parent = ParentOf(*this);
  if (parent == nullptr) return;
  QStyle::StandardPixmap which = QStyle::SP_MessageBoxWarning;
  switch (nIcon) {
    case 32513: which = QStyle::SP_MessageBoxCritical; break;
    case 32514: which = QStyle::SP_MessageBoxQuestion; break;
    case 32516: which = QStyle::SP_MessageBoxInformation; break;
    default: break;
  }
  auto* label = new QLabel(parent);
  label->setPixmap(QApplication::style()->standardIcon(which).pixmap(32, 32));
  native_->widget = label;
  qt::Place(*this, label);
}

void TBitmap::Create() {
  if (native_->widget) return;
  QWidget* parent = ParentOf(*this);
  if (parent == nullptr) return;
  auto* label = new QLabel(parent);
  if (const Picture* picture = FindPicture(cResName)) {
    QImage image(picture->width, picture->height, QImage::Format_ARGB32);
    for (int y = 0; y < picture->height; ++y) {
      const std::string_view row = picture->rows[static_cast<std::size_t>(y)];
      for (int x = 0; x < picture->width; ++x) {
        image.setPixel(x, y, picture->colour(row[static_cast<std::size_t>(x)]));
      }
    }
    label->setPixmap(QPixmap::fromImage(image));
  }
  native_->widget = label;
  qt::Place(*this, label);
}

}  // namespace talvi::ui
