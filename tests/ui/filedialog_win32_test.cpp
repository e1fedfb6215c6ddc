// SPDX-License-Identifier: MIT
// The file chooser on Windows: the system's save and open dialogs, driven
// from a second thread (tests/ui/chooser_driver_win32.h) while the test
// thread is inside GetSaveFileNameW/GetOpenFileNameW.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "ui/chooser_driver_win32.h"
#include "ui/dialog.h"
#include "ui/filedialog.h"

namespace talvi::ui {
namespace {

namespace fs = std::filesystem;
using testing::ChooserDriver;

constexpr char kOpdFilter[] = "File OPD (*.opd)|*.opd";

// The path as the program holds it (1252).
std::string Ansi(const fs::path& path) {
  const std::wstring wide = path.wstring();
  std::string out(wide.size() * 2 + 1, '\0');
  const int n = ::WideCharToMultiByte(1252, 0, wide.c_str(), static_cast<int>(wide.size()),
                                      out.data(), static_cast<int>(out.size()), nullptr, nullptr);
  out.resize(static_cast<std::size_t>(n > 0 ? n : 0));
  return out;
}

void ExpectNoFailures(const ChooserDriver& driver) {
  for (const std::wstring& failure : driver.Seen().failures) {
    ADD_FAILURE() << fs::path(failure).string();
  }
}

class FileDialogWin32Test : public ::testing::Test {
 protected:
  void SetUp() override {
    Startup();
    dir_ = fs::temp_directory_path() / ("talvi_fd_" + std::to_string(::GetCurrentProcessId()));
    fs::create_directories(dir_);
    // The chooser gives the folder in its long form.
    wchar_t full[MAX_PATH] = {};
    ::GetLongPathNameW(dir_.c_str(), full, MAX_PATH);
    dir_ = full;
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }
  std::string Dir() const { return Ansi(dir_); }
  fs::path dir_;
};

TEST_F(FileDialogWin32Test, SaveShowsTitleFolderAndFilterAndGivesTheTypedName) {
  ChooserDriver driver(L"Salva in", {L"disco1"});
  const std::string got =
      driver.Run([&] { return cGetFile(kOpdFilter, std::string("Salva in"), {}, Dir(), true); });
  ExpectNoFailures(driver);
  const auto& seen = driver.Seen();
  ASSERT_TRUE(seen.opened);
  EXPECT_EQ(seen.title, L"Salva in");
  EXPECT_EQ(fs::path(seen.folder), dir_);
  ASSERT_EQ(seen.filters.size(), 1u);
  EXPECT_EQ(seen.filters[0], L"File OPD (*.opd)");
  EXPECT_EQ(seen.filterSelected, 0);
  EXPECT_TRUE(seen.boxes.empty());
  // The extension is not added: the program adds its own.
  EXPECT_EQ(got, Ansi(dir_ / "disco1"));
  EXPECT_FALSE(fs::exists(dir_ / "disco1"));  // choosing writes nothing
  EXPECT_EQ(cGetFileFilterIndex(), 1);
}

TEST_F(FileDialogWin32Test, CancelGivesEmpty) {
  ChooserDriver driver(L"Salva in", {});
  const std::string got =
      driver.Run([&] { return cGetFile(kOpdFilter, std::string("Salva in"), {}, Dir(), true); });
  ExpectNoFailures(driver);
  EXPECT_TRUE(driver.Seen().opened);
  EXPECT_EQ(got, "");
  ChooserDriver open(L"Select the file", {});
  const auto files = open.Run([&] { return cGetFiles(kOpdFilter, {}, {}, Dir()); });
  ExpectNoFailures(open);
  EXPECT_TRUE(open.Seen().opened);
  EXPECT_TRUE(files.empty());
}

// The save dialog of the program takes an existing file without asking
// (the program asks itself); the overwrite flag, when given, makes the
// system ask.
TEST_F(FileDialogWin32Test, ExistingFileTakenWithoutQuestionUnlessAsked) {
  std::ofstream(dir_ / "old.opd") << "x";
  ChooserDriver driver(L"Salva in", {L"old.opd"});
  EXPECT_EQ(
      driver.Run([&] { return cGetFile(kOpdFilter, std::string("Salva in"), {}, Dir(), true); }),
      Ansi(dir_ / "old.opd"));
  ExpectNoFailures(driver);
  EXPECT_TRUE(driver.Seen().boxes.empty());

  ChooserDriver asked(L"Salva in", {L"old.opd"});
  EXPECT_EQ(asked.Run([&] {
    return cGetFile(kOpdFilter, std::string("Salva in"), {}, Dir(), true, false, 0x80Eu);
  }),
            Ansi(dir_ / "old.opd"));
  ExpectNoFailures(asked);
  // The system's question, answered Yes (its wording is the system's: Wine
  // leaves the name out).
  EXPECT_EQ(asked.Seen().boxes.size(), 1u);
}

TEST_F(FileDialogWin32Test, TwoPairsTheEntryAskedForAndTheOneChosen) {
  ChooserDriver driver(L"Select the file", {});
  driver.Run(
      [&] { return cGetFile("Immagini (*.opd)|*.opd|Tutti|*.opd;*.bin", {}, 2, Dir(), false); });
  ExpectNoFailures(driver);
  const auto& seen = driver.Seen();
  ASSERT_EQ(seen.filters.size(), 2u);
  EXPECT_EQ(seen.filters[0], L"Immagini (*.opd)");
  EXPECT_EQ(seen.filters[1], L"Tutti");
  EXPECT_EQ(seen.filterSelected, 1);
  EXPECT_EQ(seen.title, L"Select the file");
  EXPECT_EQ(cGetFileFilterIndex(), 2);
}

TEST_F(FileDialogWin32Test, AccentedNameComesBackIn1252) {
  ChooserDriver driver(L"Salva in", {L"citt\u00e0"});
  const std::string got =
      driver.Run([&] { return cGetFile(kOpdFilter, std::string("Salva in"), {}, Dir(), true); });
  ExpectNoFailures(driver);
  EXPECT_EQ(got, Dir() + "\\citt\xE0");
}

// The program finds its settings file and its next start folder in the
// working folder: a name chosen in another folder leaves it as it was.
TEST_F(FileDialogWin32Test, NameInAnotherFolderLeavesTheWorkingFolder) {
  fs::create_directories(dir_ / "sub");
  const fs::path before = fs::current_path();
  ChooserDriver driver(L"Salva in", {L"sub\\disco"});
  const std::string got =
      driver.Run([&] { return cGetFile(kOpdFilter, std::string("Salva in"), {}, Dir(), true); });
  ExpectNoFailures(driver);
  EXPECT_EQ(got, Ansi(dir_ / "sub" / "disco"));
  EXPECT_EQ(fs::current_path(), before);
}

// A name whose letters the program's 1252 text cannot hold would come back
// changed: the chooser refuses it with a box and stays for another name.
TEST_F(FileDialogWin32Test, NameThatTheProgramCannotHoldIsRefused) {
  ChooserDriver driver(L"Salva in", {L"\u0141\u00f3d\u017a", L"l\u00f3dz"});
  const std::string got =
      driver.Run([&] { return cGetFile(kOpdFilter, std::string("Salva in"), {}, Dir(), true); });
  ExpectNoFailures(driver);
  EXPECT_EQ(got, Dir() +
                     "\\l\xF3"
                     "dz");
  ASSERT_EQ(driver.Seen().boxes.size(), 1u);
  const std::wstring& refusal = driver.Seen().boxes[0];
  EXPECT_NE(refusal.find((dir_ / L"\u0141\u00f3d\u017a").wstring()), std::wstring::npos);
  EXPECT_NE(refusal.find(L"Il nome contiene caratteri che il programma non pu\u00f2 usare."),
            std::wstring::npos);
}

TEST_F(FileDialogWin32Test, MultipleChoiceGivesFolderThenNamesAndOneAsAPath) {
  std::ofstream(dir_ / "a.opd") << "a";
  std::ofstream(dir_ / "b.opd") << "b";
  ChooserDriver two(L"Select the file", {L"\"a.opd\" \"b.opd\""});
  const auto got = two.Run([&] { return cGetFiles(kOpdFilter, {}, {}, Dir()); });
  ExpectNoFailures(two);
  ASSERT_EQ(got.size(), 3u);
  EXPECT_EQ(got[0], Dir());
  EXPECT_EQ(got[1], "a.opd");
  EXPECT_EQ(got[2], "b.opd");

  ChooserDriver one(L"Select the file", {L"b.opd"});
  const auto single = one.Run([&] { return cGetFiles(kOpdFilter, {}, {}, Dir()); });
  ExpectNoFailures(one);
  ASSERT_EQ(single.size(), 1u);
  EXPECT_EQ(single[0], Ansi(dir_ / "b.opd"));
}

// Opened from a window, the chooser belongs to it: the window takes no
// input while the chooser is open and is enabled again after.
TEST_F(FileDialogWin32Test, ChooserOverAWindowDisablesItUntilItCloses) {
  DialogArgs args;
  args.cCaption = "Owner";
  args.nWidth = 400;
  args.nHeight = 300;
  TDialog owner(args);
  ChooserDriver driver(L"Salva in", {});
  HWND ownerWindow = nullptr;
  bool enabledAfter = false;
  owner.bStart = [&] {
    ownerWindow = reinterpret_cast<HWND>(owner.hWnd);
    driver.Run([&] { return cGetFile(kOpdFilter, std::string("Salva in"), {}, Dir(), true); });
    enabledAfter = ::IsWindowEnabled(ownerWindow) != FALSE;
    owner.End();
  };
  owner.Activate();
  ExpectNoFailures(driver);
  ASSERT_NE(ownerWindow, nullptr);
  EXPECT_EQ(driver.Seen().owner, ownerWindow);
  EXPECT_TRUE(driver.Seen().ownerDisabled);
  EXPECT_TRUE(enabledAfter);
}

}  // namespace
}  // namespace talvi::ui
