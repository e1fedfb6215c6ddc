// SPDX-License-Identifier: MIT
// The file chooser: a modal, non-native QFileDialog.
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QStringList>

#include "os/text1252.h"
#include "ui/filedialog.h"
#include "ui/qt/qt_internal.h"

namespace talvi::ui {
namespace {

constexpr unsigned kOverwritePrompt = 0x2;
constexpr unsigned kAllowMultiSelect = 0x200;
constexpr unsigned kPathMustExist = 0x800;
constexpr unsigned kFileMustExist = 0x1000;
constexpr unsigned kDefaultFlags = 2060;
constexpr std::size_t kFilterLimit = 399;

int lastFilterIndex = 0;

// "desc|pattern|desc|pattern" -> one Qt name filter per pair. Qt reads the
// masks from the last parenthesis of each entry, so the pattern is added
// there and hidden from view (the description often shows it already).
QStringList NameFilters(const std::string& filter) {
  QStringList filters;
  std::vector<std::string> parts;
  std::string part;
  for (char c : filter.substr(0, kFilterLimit)) {
    if (c == '|') {
      parts.push_back(part);
      part.clear();
    } else {
      part += c;
    }
  }
  if (!part.empty()) parts.push_back(part);
  for (std::size_t i = 0; i + 1 < parts.size(); i += 2) {
    std::string masks = parts[i + 1];
    for (char& c : masks) {
      if (c == ';') c = ' ';
    }
    filters << qt::ToQ(parts[i] + " (" + masks + ")");
  }
  return filters;
}

// What the chooser says when it refuses a name (1252 texts).
constexpr char kPathMissing[] = "Il percorso non esiste.\nVerificare il percorso e riprovare.";
constexpr char kNameNotHeld[] =
    "Il nome contiene caratteri che il programma non pu\xF2 usare.\nScegliere un altro nome.";

// A name the program can take: its text (1252) holds every character.
bool ProgramCanHold(const QString& path) {
  std::string ansi;
  return os::Utf8To1252(path.toUtf8().toStdString(), ansi);
}

// The chooser refuses, as the system's does, a name in a folder that does
// not exist when the path must exist, and a name that the program's text
// cannot hold (it would come back changed); the user is told and the
// chooser stays open for another choice.
class Chooser : public QFileDialog {
 public:
  Chooser(QWidget* parent, bool pathMustExist)
      : QFileDialog(parent), pathMustExist_(pathMustExist) {}

  void accept() override {
    for (const QString& file : selectedFiles()) {
      const QFileInfo info(file);
      if (info.isDir()) continue;  // the chooser opens it (or refuses it) itself
      if (pathMustExist_ && !QFileInfo(info.absolutePath()).isDir()) {
        Refuse(QDir::toNativeSeparators(info.absolutePath()), kPathMissing);
        return;
      }
      if (!ProgramCanHold(file)) {
        Refuse(QDir::toNativeSeparators(file), kNameNotHeld);
        return;
      }
    }
    QFileDialog::accept();
  }

 private:
  void Refuse(const QString& name, const char* text) {
    QMessageBox::warning(this, windowTitle(), name + QLatin1Char('\n') + qt::ToQ(text));
  }

  bool pathMustExist_;
};

struct Choice {
  bool accepted = false;
  QStringList files;
  QString directory;
};

Choice Run(const std::string& filter, const std::optional<std::string>& title, int filterIndex,
           const std::optional<std::string>& initialDir, bool save, unsigned flags,
           const std::optional<std::string>& fileName) {
  qt::EnsureApp();
  Chooser dialog(qt::ActiveWidget(), (flags & (kPathMustExist | kFileMustExist)) != 0);
  dialog.setOption(QFileDialog::DontUseNativeDialog, true);
  dialog.setOption(QFileDialog::HideNameFilterDetails, true);
  dialog.setOption(QFileDialog::DontConfirmOverwrite, (flags & kOverwritePrompt) == 0);
  dialog.setWindowTitle(qt::ToQ(title.value_or("Select the file")));
  if (initialDir && !initialDir->empty()) dialog.setDirectory(qt::ToQ(*initialDir));
  const QStringList filters = NameFilters(filter);
  if (!filters.isEmpty()) {
    dialog.setNameFilters(filters);
    const int index = filterIndex >= 1 && filterIndex <= filters.size() ? filterIndex : 1;
    dialog.selectNameFilter(filters.at(index - 1));
  }
  if (save) {
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
  } else {
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    if ((flags & kAllowMultiSelect) != 0) {
      dialog.setFileMode(QFileDialog::ExistingFiles);
    } else if ((flags & kFileMustExist) != 0) {
      dialog.setFileMode(QFileDialog::ExistingFile);
    } else {
      dialog.setFileMode(QFileDialog::AnyFile);
    }
  }
  dialog.setDefaultSuffix(QString());
  if (fileName && !fileName->empty()) dialog.selectFile(qt::ToQ(*fileName));
  lastFilterIndex = 0;
  Choice choice;
  choice.accepted = dialog.exec() == QDialog::Accepted;
  // The chooser reports the entry without its hidden masks.
  const QString chosen = dialog.selectedNameFilter();
  for (qsizetype i = 0; i < filters.size(); ++i) {
    if (filters.at(i) == chosen || filters.at(i).startsWith(chosen + QLatin1String(" ("))) {
      lastFilterIndex = static_cast<int>(i) + 1;
      break;
    }
  }
  if (choice.accepted) {
    choice.files = dialog.selectedFiles();
    choice.directory = dialog.directory().absolutePath();
  }
  return choice;
}

}  // namespace

std::string cGetFile(const std::string& filter, const std::optional<std::string>& title,
                     std::optional<int> filterIndex, const std::optional<std::string>& initialDir,
                     std::optional<bool> save, bool /*longNames*/, std::optional<unsigned> flags,
                     const std::optional<std::string>& fileName) {
  // Called with nothing at all: nothing to ask.
  if (filter.empty() && !title && !filterIndex && !initialDir && !save && !flags && !fileName) {
    return {};
  }
  const bool isSave = save.value_or(fileName.has_value());
  const unsigned f =
      flags.value_or(kDefaultFlags) != 0 ? flags.value_or(kDefaultFlags) : kDefaultFlags;
  const Choice choice = Run(filter, title, filterIndex.value_or(1) & 0xFF, initialDir, isSave,
                            f & ~kAllowMultiSelect, fileName);
  if (!choice.accepted || choice.files.isEmpty()) return {};
  return qt::FromQ(QDir::toNativeSeparators(choice.files.first()));
}

std::vector<std::string> cGetFiles(const std::string& filter,
                                   const std::optional<std::string>& title,
                                   std::optional<int> filterIndex,
                                   const std::optional<std::string>& initialDir) {
  const Choice choice = Run(filter, title, filterIndex.value_or(1) & 0xFF, initialDir, false,
                            kDefaultFlags | kAllowMultiSelect | kFileMustExist, std::nullopt);
  std::vector<std::string> result;
  if (!choice.accepted || choice.files.isEmpty()) return result;
  if (choice.files.size() == 1) {
    result.push_back(qt::FromQ(QDir::toNativeSeparators(choice.files.first())));
    return result;
  }
  result.push_back(qt::FromQ(QDir::toNativeSeparators(choice.directory)));
  for (const QString& file : choice.files) {
    result.push_back(qt::FromQ(QFileInfo(file).fileName()));
  }
  return result;
}

int cGetFileFilterIndex() {
  return lastFilterIndex;
}

}  // namespace talvi::ui
