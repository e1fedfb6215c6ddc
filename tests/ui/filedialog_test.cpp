// SPDX-License-Identifier: MIT
// The file chooser, driven as a user would: filters offered, names typed,
// cancel.
#include "ui/filedialog.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QTimer>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "support/temp_dir.h"
#include "ui/app.h"
#include "ui/qt_driver.h"

namespace talvi::ui {
namespace {

namespace fs = std::filesystem;

class FileDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Startup();
    dir_ = tmp_.path();
  }
  testing::TempDir tmp_;
  fs::path dir_;
};

// Answers the chooser: `name` typed and accepted, or cancel when empty.
// Reports any question box that shows up on the way (and closes it).
void Answer(const QString& name, QStringList* filters = nullptr, QString* selected = nullptr,
            QString* title = nullptr, bool* questioned = nullptr) {
  testing::WhenModal([=](QWidget* w) {
    auto* chooser = qobject_cast<QFileDialog*>(w);
    ASSERT_NE(chooser, nullptr);
    if (filters) *filters = chooser->nameFilters();
    if (selected) *selected = chooser->selectedNameFilter();
    if (title) *title = chooser->windowTitle();
    if (name.isEmpty()) {
      chooser->reject();
      return;
    }
    auto* watch = new QTimer(chooser);
    QObject::connect(watch, &QTimer::timeout, [watch, questioned] {
      if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        if (questioned) *questioned = true;
        box->accept();
        watch->stop();
      }
    });
    watch->start(10);
    chooser->selectFile(name);
    QMetaObject::invokeMethod(chooser, "accept");
  });
}

TEST_F(FileDialogTest, CancelGivesEmpty) {
  Answer(QString());
  EXPECT_EQ(cGetFile("File OPD (*.opd)|*.opd", "Salva in", {}, dir_.string(), true), "");
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
  EXPECT_EQ(cGetFile(), "");  // no arguments: no chooser at all
}

TEST_F(FileDialogTest, SaveKeepsNameWithoutExtensionAndTitle) {
  QString title;
  Answer("disco1", nullptr, nullptr, &title);
  const std::string got = cGetFile("File OPD (*.opd)|*.opd", "Salva in", {}, dir_.string(), true);
  EXPECT_EQ(got, (dir_ / "disco1").string());
  EXPECT_EQ(title, QString("Salva in"));
  EXPECT_FALSE(fs::exists(dir_ / "disco1"));  // choosing writes nothing
}

TEST_F(FileDialogTest, ExistingFileAcceptedWithoutQuestion) {
  std::ofstream(dir_ / "old.opd") << "x";
  bool questioned = false;
  Answer("old.opd", nullptr, nullptr, nullptr, &questioned);
  const std::string got = cGetFile("File OPD (*.opd)|*.opd", "Salva in", {}, dir_.string(), true);
  EXPECT_EQ(got, (dir_ / "old.opd").string());
  EXPECT_FALSE(questioned);
}

TEST_F(FileDialogTest, TwoPairsGiveTwoEntriesFirstSelected) {
  QStringList filters;
  QString selected;
  QString title;
  Answer(QString(), &filters, &selected, &title);
  cGetFile("Immagini (*.opd)|*.opd|Tutti|*.opd;*.bin", {}, {}, dir_.string(), false);
  ASSERT_EQ(filters.size(), 2);
  EXPECT_EQ(selected, QString("Immagini (*.opd)"));  // shown without the masks added
  EXPECT_TRUE(filters.at(1).contains("*.opd *.bin"));
  EXPECT_EQ(title, QString("Select the file"));
  EXPECT_EQ(cGetFileFilterIndex(), 1);
}

TEST_F(FileDialogTest, LongAccentedPathComesBackWhole) {
  // Longer than the 255 characters a fixed buffer would have held.
  fs::path deep = dir_;
  for (int i = 0; i < 6; ++i) deep /= std::string(40, static_cast<char>('a' + i));
  fs::create_directories(deep);
  Answer(QString::fromUtf8("città"));
  const std::string got = cGetFile("File OPD (*.opd)|*.opd", "Salva in", {}, deep.string(), true);
  EXPECT_GT(got.size(), 255u);
  EXPECT_EQ(got, deep.string() + "/citt\xE0");
}

// Types `first` and accepts; when the chooser refuses it with a box, notes
// the box's text, closes it and, back in the chooser, types `second`.
void AnswerTwice(const QString& first, const QString& second, QString* refusal) {
  testing::WhenModal([=](QWidget* w) {
    auto* chooser = qobject_cast<QFileDialog*>(w);
    ASSERT_NE(chooser, nullptr);
    auto* watch = new QTimer(chooser);
    auto* boxSeen = new bool(false);
    QObject::connect(watch, &QTimer::destroyed, [boxSeen] { delete boxSeen; });
    QObject::connect(watch, &QTimer::timeout, [=] {
      QWidget* modal = QApplication::activeModalWidget();
      if (auto* box = qobject_cast<QMessageBox*>(modal)) {
        *refusal = box->text();
        *boxSeen = true;
        box->accept();
      } else if (*boxSeen && modal == chooser && chooser->isVisible()) {
        watch->stop();
        chooser->selectFile(second);
        QMetaObject::invokeMethod(chooser, "accept", Qt::QueuedConnection);
      }
    });
    watch->start(10);
    chooser->selectFile(first);
    QMetaObject::invokeMethod(chooser, "accept", Qt::QueuedConnection);
  });
}

TEST_F(FileDialogTest, NameInAFolderThatDoesNotExistIsRefused) {
  QString refusal;
  AnswerTwice("nowhere/disco", "disco", &refusal);
  const std::string got = cGetFile("File OPD (*.opd)|*.opd", "Salva in", {}, dir_.string(), true);
  EXPECT_EQ(got, (dir_ / "disco").string());
  EXPECT_EQ(refusal, QString::fromStdString((dir_ / "nowhere").string()) +
                         "\nIl percorso non esiste.\nVerificare il percorso e riprovare.");
  // A file where a folder should be does not pass either.
  std::ofstream(dir_ / "plain") << "x";
  refusal.clear();
  AnswerTwice("plain/disco", "disco2", &refusal);
  EXPECT_EQ(cGetFile("File OPD (*.opd)|*.opd", "Salva in", {}, dir_.string(), true),
            (dir_ / "disco2").string());
  EXPECT_TRUE(refusal.contains("Il percorso non esiste."));
  // Without the flag the name is taken as it is.
  testing::WhenModal([](QWidget* w) {
    auto* chooser = qobject_cast<QFileDialog*>(w);
    ASSERT_NE(chooser, nullptr);
    chooser->selectFile("nowhere/disco");
    QMetaObject::invokeMethod(chooser, "accept", Qt::QueuedConnection);
  });
  EXPECT_EQ(cGetFile("File OPD (*.opd)|*.opd", "Salva in", {}, dir_.string(), true, false, 0x4u),
            (dir_ / "nowhere/disco").string());
}

TEST_F(FileDialogTest, NameThatTheProgramCannotHoldIsRefused) {
  QString refusal;
  // "Łódź": Ł and ź are not in the program's code page.
  AnswerTwice(QString::fromUtf8("\xC5\x81\xC3\xB3"
                                "d\xC5\xBA"),
              QString::fromUtf8("l\xC3\xB3"
                                "dz"),
              &refusal);
  const std::string got = cGetFile("File OPD (*.opd)|*.opd", "Salva in", {}, dir_.string(), true);
  EXPECT_EQ(got, (dir_ / "l\xF3"
                         "dz")
                     .string());  // 1252, as every name it gives
  EXPECT_EQ(refusal, QString::fromUtf8((dir_ / "\xC5\x81\xC3\xB3"
                                               "d\xC5\xBA")
                                           .string() +
                                       "\nIl nome contiene caratteri che il programma non "
                                       "pu\xC3\xB2 usare.\nScegliere un altro nome."));
}

TEST_F(FileDialogTest, MultiSelectionListsFolderThenNames) {
  std::ofstream(dir_ / "a.opd") << "a";
  std::ofstream(dir_ / "b.opd") << "b";
  testing::WhenModal([](QWidget* w) {
    auto* chooser = qobject_cast<QFileDialog*>(w);
    ASSERT_NE(chooser, nullptr);
    chooser->selectFile("\"a.opd\" \"b.opd\"");
    QMetaObject::invokeMethod(chooser, "accept");
  });
  const auto got = cGetFiles("File OPD (*.opd)|*.opd", {}, {}, dir_.string());
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(got[0], dir_.string());
  EXPECT_EQ(got[1], "a.opd");
  EXPECT_EQ(got[2], "b.opd");
}

}  // namespace
}  // namespace talvi::ui
