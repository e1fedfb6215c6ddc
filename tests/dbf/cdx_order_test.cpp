// SPDX-License-Identifier: MIT
// CDX files in work areas: the structural index of the fixture table opens
// with it and navigates as the source test says; tags made in a table's
// own CDX set its header flag and come back with the table; an index
// named .NTX under DBFCDX is a one-tag CDX file; files of the other format
// and companion files of another letter case are found and read.
#include <gtest/gtest.h>

#include <filesystem>

#include "base/ascii.h"
#include "dbf/areas.h"
#include "dbf/cdx.h"
#include "dbf/orders.h"
#include "dbf/settings.h"
#include "dbf_support.h"

namespace talvi::dbf {
namespace {

std::string Trim(std::string s) {
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

class CdxOrderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Workspace().CloseAll();
    Engine().driver = "DBFCDX";
  }
  void TearDown() override {
    Workspace().CloseAll();
    Engine().driver = "DBFCDX";
    Engine().file_case = NameCase::kUpper;
    for (const auto& e : log_.errors()) {
      ADD_FAILURE() << e.GENCODE << " " << e.DESCRIPTION.value_or("") << " " << e.OPERATION;
    }
  }
  WorkArea& A() { return Workspace().Current(); }
  // Field values along the current order from the current record on.
  std::vector<std::string> From(const char* field, std::size_t most = 100) {
    std::vector<std::string> out;
    while (!A().Eof() && out.size() < most) {
      out.push_back(Trim(A().Get(field).str()));
      EXPECT_TRUE(A().Skip(1));
    }
    return out;
  }
  talvi::testing::TempDir dir_;
  testing::ErrorLog log_;
};

TEST_F(CdxOrderTest, StructuralFixtureIndexOpensWithItsTableAndNavigates) {
  TALVI_NEED_FIXTURE(d, dir_, "cdx-perl-rooms");
  ASSERT_TRUE(Workspace().Use(d + "/rooms.dbf", "", {.shared = true, .read_only = true}));
  Orders& o = A().orders();
  ASSERT_EQ(o.count(), 5);
  EXPECT_EQ(o.current(), 0);  // the structural index opens without choosing an order
  EXPECT_EQ(o.At(1)->name, "AUDIO");
  // Found whatever its letter case: Linux reports the name on the disk,
  // Windows the one asked for.
  EXPECT_EQ(base::AsciiUpper(o.At(1)->bag_name), "ROOMS.CDX");
  EXPECT_EQ(o.At(1)->for_text, "TRIM(UPPER(facility))==\"AUDIO\"");
  ASSERT_TRUE(o.SetCurrent("roomname"));
  ASSERT_TRUE(A().GoTop());
  EXPECT_EQ(A().RecNo(), 42u);
  ASSERT_TRUE(A().Seek(Value::Character("Celco")));
  EXPECT_TRUE(A().Found());
  EXPECT_EQ(A().RecNo(), 37u);
  const std::vector<std::string> after = {"Celco",  "Dub",     "FILM 1",  "FILM 2",  "FILM 3",
                                          "Flambe", "Gigapix", "MacGrfx", "Mach Rm", "Mix A"};
  EXPECT_EQ(From("ROOMNAME", 10), after);
  ASSERT_TRUE(A().Seek(Value::Character("Celca"), true));
  EXPECT_FALSE(A().Found());
  EXPECT_EQ(A().RecNo(), 37u);
  ASSERT_TRUE(o.SetCurrent("FACILITY"));
  ASSERT_TRUE(A().Seek(Value::Character("Film")));
  std::vector<std::uint32_t> film;
  while (!A().Eof() && Trim(A().Get("FACILITY").str()) == "Film") {
    film.push_back(A().RecNo());
    ASSERT_TRUE(A().Skip(1));
  }
  EXPECT_EQ(film, (std::vector<std::uint32_t>{29, 30, 31, 32, 36, 37}));
  ASSERT_TRUE(A().Seek(Value::Character("Main"), false, true));  // the last Main
  EXPECT_EQ(A().RecNo(), 41u);
  // The FOR tag holds only its records, and its count says so.
  ASSERT_TRUE(o.SetCurrent("FILM"));
  EXPECT_EQ(A().Count(), 6u);
  // The structural index stays open when the other files close.
  o.CloseAll();
  EXPECT_EQ(o.count(), 5);
}

TEST_F(CdxOrderTest, TagsOfTheTablesOwnCdxComeBackWithTheTable) {
  Engine().file_case = NameCase::kMixed;
  const std::string path = dir_ / "Items.dbf";
  ASSERT_TRUE(Table::Create(path, {{"NAME", 'C', 8, 0}, {"QTY", 'N', 6, 1}, {"DAY", 'D', 8, 0}}));
  ASSERT_TRUE(Workspace().Use(path, "", {.shared = true}));
  const char* names[] = {"pear", "fig", "apple", "kiwi", "fig"};
  for (int i = 0; i < 5; ++i) {
    ASSERT_TRUE(A().AppendBlank());
    ASSERT_TRUE(A().Put("NAME", Value::Character(names[i])));
    ASSERT_TRUE(A().Put("QTY", Value::Numeric(3.5 - i)));
    ASSERT_TRUE(A().Put("DAY", Value::Date(2460000 - 7 * i)));
    ASSERT_TRUE(A().Commit());
  }
  Orders& o = A().orders();
  ASSERT_TRUE(o.Create({.bag_path = dir_ / "Items", .tag = "name", .key = "NAME"}));
  ASSERT_TRUE(o.Create({.bag_path = dir_ / "Items", .tag = "qty", .key = "QTY"}));
  ASSERT_TRUE(
      o.Create({.bag_path = dir_ / "Items", .tag = "day", .key = "DAY", .descending = true}));
  ASSERT_EQ(o.count(), 3);  // one file, three tags
  EXPECT_EQ(o.At(1)->name, "DAY");
  EXPECT_EQ(o.At(1)->bag_name, "Items.CDX");
  EXPECT_EQ(A().table()->header().flags & 1, 1);
  Workspace().CloseAll();
  // The companion is found whatever the letter case of its name.
  std::filesystem::rename(dir_ / "Items.CDX", dir_ / "items.cdx");
  ASSERT_TRUE(Workspace().Use(path, "", {.shared = true}));
  Orders& again = A().orders();
  ASSERT_EQ(again.count(), 3);
  ASSERT_TRUE(again.SetCurrent("QTY"));
  ASSERT_TRUE(A().GoTop());
  std::vector<std::uint32_t> byQty;
  for (; !A().Eof(); A().Skip(1)) byQty.push_back(A().RecNo());
  EXPECT_EQ(byQty, (std::vector<std::uint32_t>{5, 4, 3, 2, 1}));
  ASSERT_TRUE(A().Seek(Value::Numeric(-0.5)));
  EXPECT_EQ(A().RecNo(), 5u);
  ASSERT_TRUE(again.SetCurrent("DAY"));
  ASSERT_TRUE(A().GoTop());
  EXPECT_EQ(A().RecNo(), 1u);  // descending: the latest day first
  ASSERT_TRUE(again.SetCurrent("NAME"));
  ASSERT_TRUE(A().GoTop());
  EXPECT_EQ(From("NAME"), (std::vector<std::string>{"apple", "fig", "fig", "kiwi", "pear"}));
  // A change reaches every tag of the file.
  ASSERT_TRUE(A().GoTo(1));
  ASSERT_TRUE(A().RLock());
  ASSERT_TRUE(A().Put("NAME", Value::Character("banana")));
  ASSERT_TRUE(A().Put("QTY", Value::Numeric(-9)));
  ASSERT_TRUE(A().Commit());
  ASSERT_TRUE(A().GoTop());
  EXPECT_EQ(From("NAME"), (std::vector<std::string>{"apple", "banana", "fig", "fig", "kiwi"}));
  ASSERT_TRUE(again.SetCurrent("QTY"));
  ASSERT_TRUE(A().GoTop());
  EXPECT_EQ(A().RecNo(), 1u);
}

TEST_F(CdxOrderTest, NtxNamesUnderDbfcdxAreOneTagCdxFilesAndNtxFilesStillOpen) {
  const std::string path = dir_ / "T.DBF";
  ASSERT_TRUE(Table::Create(path, {{"NAME", 'C', 8, 0}}));
  ASSERT_TRUE(Workspace().Use(path, "", {.shared = false}));
  for (const char* n : {"b", "c", "a"}) {
    ASSERT_TRUE(A().AppendBlank());
    ASSERT_TRUE(A().Put("NAME", Value::Character(n)));
  }
  ASSERT_TRUE(A().Commit());
  Orders& o = A().orders();
  ASSERT_TRUE(o.Create({.bag_path = dir_ / "VIEW.NTX", .key = "NAME"}));
  ASSERT_TRUE(o.Create({.bag_path = dir_ / "VIEW.NTX", .tag = "OTHER", .key = "NAME"}));
  EXPECT_EQ(o.count(), 1);  // made anew: one tag
  EXPECT_EQ(o.At(1)->name, "OTHER");
  EXPECT_EQ(A().table()->header().flags & 1, 0);  // not the structural index
  // An NTX file made under DBFNTX opens under DBFCDX.
  Engine().driver = "DBFNTX";
  ASSERT_TRUE(o.Create({.bag_path = dir_ / "REAL", .key = "NAME", .descending = true}));
  EXPECT_EQ(o.At(2)->bag_name, "REAL.NTX");
  Engine().driver = "DBFCDX";
  o.CloseAll();
  // Read once closed: an exclusive table's index is not shared on Windows.
  const std::string bytes = talvi::testing::ReadBytes(dir_ / "VIEW.NTX");
  ASSERT_GE(bytes.size(), 1024u);
  EXPECT_TRUE(
      CdxFile::LooksLikeCdx(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()));
  ASSERT_TRUE(o.Open(dir_ / "REAL.NTX"));
  ASSERT_TRUE(o.Open(dir_ / "VIEW.NTX"));
  ASSERT_EQ(o.count(), 2);
  EXPECT_EQ(o.At(1)->format, KeyFormat::kNtx);
  EXPECT_EQ(o.At(2)->format, KeyFormat::kCdx);
  ASSERT_TRUE(A().GoTop());
  EXPECT_EQ(From("NAME"), (std::vector<std::string>{"c", "b", "a"}));
}

// Logical keys and expressions that mix types into text: T sorts after F,
// and a descending unique tag keeps one record per key.
TEST_F(CdxOrderTest, LogicalAndCompoundKeys) {
  const std::string path = dir_ / "L.DBF";
  ASSERT_TRUE(Table::Create(path, {{"OK", 'L', 1, 0}, {"DAY", 'D', 8, 0}, {"QTY", 'N', 4, 0}}));
  ASSERT_TRUE(Workspace().Use(path, "", {.shared = false}));
  const bool oks[] = {true, false, true, false, false};
  for (int i = 0; i < 5; ++i) {
    ASSERT_TRUE(A().AppendBlank());
    ASSERT_TRUE(A().Put("OK", Value::Logical(oks[i])));
    ASSERT_TRUE(A().Put("DAY", Value::Date(2451545 + (i % 2) * 10)));
    ASSERT_TRUE(A().Put("QTY", Value::Numeric(i)));
  }
  ASSERT_TRUE(A().Commit());
  Orders& o = A().orders();
  ASSERT_TRUE(o.Create({.bag_path = dir_ / "K", .tag = "OK", .key = "OK"}));
  ASSERT_TRUE(o.Create({.bag_path = dir_ / "K",
                        .tag = "DAYQ",
                        .key = "DTOS(DAY)+STR(QTY,4)",
                        .unique = false,
                        .descending = true}));
  ASSERT_TRUE(o.Create(
      {.bag_path = dir_ / "K", .tag = "UDAY", .key = "DAY", .unique = true, .descending = true}));
  const auto walk = [&] {
    std::vector<std::uint32_t> v;
    for (A().GoTop(); !A().Eof(); A().Skip(1)) v.push_back(A().RecNo());
    return v;
  };
  ASSERT_TRUE(o.SetCurrent("OK"));
  EXPECT_EQ(walk(), (std::vector<std::uint32_t>{2, 4, 5, 1, 3}));
  ASSERT_TRUE(A().Seek(Value::Logical(true)));
  EXPECT_EQ(A().RecNo(), 1u);
  ASSERT_TRUE(o.SetCurrent("DAYQ"));
  EXPECT_EQ(walk(), (std::vector<std::uint32_t>{4, 2, 5, 3, 1}));
  ASSERT_TRUE(o.SetCurrent("UDAY"));
  EXPECT_EQ(walk(), (std::vector<std::uint32_t>{2, 1}));
  ASSERT_TRUE(A().Seek(Value::Date(2451545)));
  EXPECT_EQ(A().RecNo(), 1u);
}

}  // namespace
}  // namespace talvi::dbf
