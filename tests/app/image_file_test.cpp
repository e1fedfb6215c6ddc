// SPDX-License-Identifier: MIT
// The image file: its bytes, the name rules and the save dialogue with the
// user (file chooser and boxes answered from the test).
#include "app/image_file.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "app/modal_answers.h"
#include "app/save_image.h"
#include "support/temp_dir.h"
#include "ui/app.h"

namespace talvi::app {
namespace {

using testing::ModalAnswers;
using testing::ReadBytes;
using testing::TempFolder;
using testing::WriteBytes;

TEST(ImageFile, FixedBlockBytes) {
  const std::string& block = FixedBlock();
  ASSERT_EQ(block.size(), kFixedBlockBytes);
  EXPECT_EQ(block.substr(0, 4), "\x18\x05\x50\x12");
  EXPECT_EQ(block.substr(32, 6), std::string("\xCD\x63\x08\x7F\x00\xDA", 6));
  EXPECT_EQ(block.substr(124), "\x36\x03\x21\x14");
}

TEST(ImageFile, BlockReplacesTheFirst128ReceivedBytes) {
  EXPECT_EQ(ImageFileBytes(""), FixedBlock());
  EXPECT_EQ(ImageFileBytes(std::string(128, 'x')), FixedBlock());
  std::string received(4608, '\0');
  for (std::size_t i = 0; i < received.size(); ++i) received[i] = static_cast<char>(i * 7);
  const std::string file = ImageFileBytes(received);
  ASSERT_EQ(file.size(), 4608u);
  EXPECT_EQ(file.substr(0, 128), FixedBlock());
  EXPECT_EQ(file.substr(128), received.substr(128));
  // A short image keeps nothing of its own bytes behind the block.
  EXPECT_EQ(ImageFileBytes(std::string(129, 'y')), FixedBlock() + "y");
}

TEST(ImageFile, ExtensionRules) {
  EXPECT_EQ(CFILEEXT("/a/disco"), "");
  EXPECT_EQ(CFILEEXT("/a/disco."), "");
  EXPECT_EQ(CFILEEXT("/a/disco.img"), "img");
  EXPECT_EQ(CFILEEXT("/a/disco.OPD "), "OPD");
  EXPECT_EQ(CFILEEXT("/dir.d/disco"), "");
  EXPECT_EQ(CFILEEXT("C:\\dir.d\\disco"), "");
  EXPECT_EQ(CFILEEXT("a.b.c"), "c");
}

TEST(ImageFile, StartsInTheWorkingFolder) {
  TempFolder dir;
  EXPECT_EQ(std::filesystem::path(InitialDirectory()), std::filesystem::current_path());
  std::filesystem::current_path("/");
  EXPECT_EQ(InitialDirectory(), "/");
}

class SaveTest : public ::testing::Test {
 protected:
  void SetUp() override { ui::Startup(); }
  TempFolder dir;
  ModalAnswers answers;
  std::string image = std::string(300, 'A') + std::string(100, 'B');
  std::string expected = FixedBlock() + std::string(172, 'A') + std::string(100, 'B');
};

TEST_F(SaveTest, NamesGetOpdOnlyWithoutExtension) {
  for (const auto& [typed, written] :
       {std::pair{"disco", "disco.opd"}, {"disco.", "disco..opd"}, {"disco.img", "disco.img"}}) {
    answers.File(dir / typed);
    std::string copy = image;
    SAVE(copy);
    EXPECT_EQ(ReadBytes(dir / written), expected) << typed;
    // The accumulator holds exactly what was written.
    EXPECT_EQ(copy, expected);
  }
  ASSERT_EQ(answers.seen().size(), 3u);
  EXPECT_TRUE(answers.seen()[0].chooser);
  EXPECT_EQ(answers.seen()[0].title, "Salva in");
  EXPECT_EQ(std::filesystem::path(answers.seen()[0].text), dir.path());
  EXPECT_FALSE(std::filesystem::exists(dir / "disco"));
}

TEST_F(SaveTest, CancelWritesNothing) {
  answers.File("");
  std::string copy = image;
  SAVE(copy);
  EXPECT_TRUE(answers.done());
  EXPECT_EQ(copy, image);
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

TEST_F(SaveTest, OverwriteAskedFirst) {
  const std::string name = dir / "old.opd";
  WriteBytes(name, "previous disk");
  answers.File(name);
  answers.Cancel();
  SAVE(image);
  EXPECT_TRUE(answers.done());
  EXPECT_EQ(ReadBytes(name), "previous disk");
  ASSERT_EQ(answers.seen().size(), 2u);
  EXPECT_EQ(answers.seen()[1].text, "Il file " + name + " gi\xE0 esiste. Lo sovrascrivo?");

  answers.File(name);
  answers.Ok();
  SAVE(image);
  EXPECT_EQ(ReadBytes(name), expected);
}

TEST_F(SaveTest, WriteFailureIsReportedAndAskedAgain) {
  // A read-only file is not replaced, not even by root.
  const std::string bad = dir / "ro.opd";
  WriteBytes(bad, "x");
  std::filesystem::permissions(bad, std::filesystem::perms::owner_read);
  answers.File(bad);
  answers.Ok();  // replace it
  answers.Ok();  // the failure
  answers.File(dir / "good");
  SAVE(image);
  EXPECT_TRUE(answers.done());
  ASSERT_EQ(answers.seen().size(), 4u);
  EXPECT_FALSE(answers.seen()[2].chooser);
  EXPECT_EQ(answers.seen()[2].text, "Impossibile scrivere il file " + bad + ".");
  EXPECT_EQ(ReadBytes(dir / "good.opd"), expected);
  EXPECT_EQ(ReadBytes(bad), "x");

  // Cancel after a failure drops the image.
  answers.File(bad);
  answers.Ok();
  answers.Ok();
  answers.File("");
  std::string copy = image;
  SAVE(copy);
  EXPECT_TRUE(answers.done());
  EXPECT_EQ(copy, image);
  EXPECT_EQ(ReadBytes(bad), "x");
}

TEST_F(SaveTest, AFolderThatDoesNotExistIsRefusedByTheChooser) {
  answers.File(dir / "none/disk.opd");
  answers.Ok();  // the chooser's own box
  answers.File(dir / "good");
  SAVE(image);
  EXPECT_TRUE(answers.done());
  ASSERT_EQ(answers.seen().size(), 3u);
  EXPECT_TRUE(answers.seen()[2].chooser);  // the same question again
  EXPECT_EQ(answers.seen()[1].text,
            dir / "none" + "\nIl percorso non esiste.\nVerificare il percorso e riprovare.");
  EXPECT_FALSE(std::filesystem::exists(dir / "none"));
  EXPECT_EQ(ReadBytes(dir / "good.opd"), expected);
}

// Linux names are UTF-8; the chooser and the program speak 1252.
TEST_F(SaveTest, AccentedFolderAndNameAreSavedUnderTheirLinuxNames) {
  const std::string folder = dir / "Citt\xC3\xA0";  // "Città"
  std::filesystem::create_directory(folder);
  answers.File(folder + "/perch\xC3\xA9");  // typed "perché"
  // Only reached if the save failed: the failure box, then cancel.
  answers.Ok();
  answers.File("");
  SAVE(image);
  ASSERT_EQ(answers.seen().size(), 1u) << answers.seen().back().text;
  EXPECT_EQ(ReadBytes(folder + "/perch\xC3\xA9.opd"), expected);
  EXPECT_EQ(image, expected);
}

TEST_F(SaveTest, AccentedWorkingFolderIsWhereTheChooserOpens) {
  const std::filesystem::path folder = dir.path() / "Propriet\xC3\xA0";  // "Proprietà"
  std::filesystem::create_directory(folder);
  std::filesystem::current_path(folder);
  const std::string program = dir.path().string() + "/Propriet\xE0";
  EXPECT_EQ(InitialDirectory(), program);
  WriteBytes(folder / "citt\xC3\xA0.opd", "old");
  answers.File((folder / "citt\xC3\xA0.opd").string());
  answers.Ok();  // replace it
  SAVE(image);
  EXPECT_TRUE(answers.done());
  ASSERT_EQ(answers.seen().size(), 2u);
  EXPECT_EQ(answers.seen()[0].text, program);  // the chooser's folder, in 1252
  EXPECT_EQ(answers.seen()[1].text, OverwriteQuestion(program + "/citt\xE0.opd"));
  EXPECT_EQ(ReadBytes(folder / "citt\xC3\xA0.opd"), expected);
}

}  // namespace
}  // namespace talvi::app
