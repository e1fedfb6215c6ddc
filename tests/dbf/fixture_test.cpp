// SPDX-License-Identifier: MIT
// The fixtures written by other tools, read exactly as their EXPECTED.md
// files say. Each table is a copy; the copy must come back unchanged.
#include <gtest/gtest.h>

#include <cctype>

#include "dbf/codes.h"
#include "dbf/date.h"
#include "dbf/table.h"
#include "dbf_support.h"
#include "support/platform.h"

namespace talvi::dbf {
namespace {

using talvi::testing::ReadBytes;

// Linux keeps the letter case of the file found; Windows answers with the
// name asked for, whatever the case on disk.
bool SameName(const std::string& found, const std::string& want) {
  if (!talvi::testing::kOnWindows) return found == want;
  if (found.size() != want.size()) return false;
  for (std::size_t i = 0; i < found.size(); ++i) {
    if (std::toupper(static_cast<unsigned char>(found[i])) !=
        std::toupper(static_cast<unsigned char>(want[i]))) {
      return false;
    }
  }
  return true;
}

class FixtureTest : public ::testing::Test {
 protected:
  std::unique_ptr<Table> OpenRead(const std::string& path) {
    before_ = ReadBytes(path);
    path_ = path;
    return Table::Open(path, {.shared = true, .read_only = true});
  }
  void TearDown() override {
    if (!path_.empty()) {
      EXPECT_EQ(ReadBytes(path_), before_) << "a read-only open wrote";
    }
  }
  std::string Text(Table& t, const std::string& rec, const char* field) {
    const Value v = t.GetValue(rec, t.FieldIndex(field));
    EXPECT_TRUE(v.IsCharacter()) << field;
    return v.IsCharacter() ? v.str() : "";
  }
  static std::string Trimmed(std::string s) {
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
  }
  double Num(Table& t, const std::string& rec, const char* field) {
    const Value v = t.GetValue(rec, t.FieldIndex(field));
    EXPECT_TRUE(v.IsNumeric()) << field;
    return v.IsNumeric() ? v.num() : -1;
  }
  std::int32_t Day(Table& t, const std::string& rec, const char* field) {
    const Value v = t.GetValue(rec, t.FieldIndex(field));
    EXPECT_TRUE(v.IsDate()) << field;
    return v.IsDate() ? v.date() : -1;
  }
  bool Logical(Table& t, const std::string& rec, const char* field) {
    const Value v = t.GetValue(rec, t.FieldIndex(field));
    EXPECT_TRUE(v.IsLogical()) << field;
    return v.IsLogical() && v.logical();
  }
  void ExpectConsistent(Table& t) {
    const Table::Report r = t.Check();
    for (const auto& p : r.problems) ADD_FAILURE() << t.path() << ": " << p;
  }

  talvi::testing::TempDir dir_;
  testing::ErrorLog log_;
  std::string path_;
  std::string before_;
};

TEST_F(FixtureTest, PerlTestDeletedFlagsLogicalsAndMemos) {
  TALVI_NEED_FIXTURE(d, dir_, "dbt-perl-test");
  auto t = OpenRead(d + "/test.dbf");
  ASSERT_NE(t, nullptr);
  const TableHeader& h = t->header();
  EXPECT_EQ(h.version, 0x83);
  EXPECT_EQ(h.year, 1996);
  EXPECT_EQ(h.month, 8);
  EXPECT_EQ(h.day, 17);
  EXPECT_EQ(t->RecordCount(), 3u);
  EXPECT_EQ(h.header_length, 193);
  EXPECT_EQ(h.record_length, 279);
  ASSERT_EQ(h.fields.size(), 5u);
  EXPECT_EQ(h.fields[1].name, "MSG");
  EXPECT_EQ(h.fields[1].length, 254);
  std::string r;
  ASSERT_TRUE(t->ReadRecord(1, r));
  EXPECT_EQ(r[0], ' ');
  EXPECT_EQ(Num(*t, r, "ID"), 1);
  EXPECT_EQ(Trimmed(Text(*t, r, "MSG")), "Record no 1");
  EXPECT_EQ(Text(*t, r, "NOTE"), "This is a memo for record no one");
  EXPECT_FALSE(Logical(*t, r, "BOOLEAN"));
  EXPECT_EQ(t->RawValue(r, t->FieldIndex("BOOLEAN")), " ");
  EXPECT_EQ(Day(*t, r, "DATES"), JulianDay(1996, 8, 13));
  EXPECT_EQ(t->RawValue(r, t->FieldIndex("NOTE")), "         1");
  ASSERT_TRUE(t->ReadRecord(2, r));
  EXPECT_EQ(r[0], '*');
  EXPECT_TRUE(Logical(*t, r, "BOOLEAN"));
  EXPECT_EQ(Text(*t, r, "NOTE"), "This is a memo for record 2");
  EXPECT_EQ(Day(*t, r, "DATES"), JulianDay(1996, 8, 14));
  ASSERT_TRUE(t->ReadRecord(3, r));
  EXPECT_FALSE(Logical(*t, r, "BOOLEAN"));
  EXPECT_EQ(t->RawValue(r, t->FieldIndex("BOOLEAN")), "N");
  EXPECT_EQ(Trimmed(Text(*t, r, "MSG")), "Message no 3");
  EXPECT_EQ(Text(*t, r, "NOTE"), "This is a memo for record 3");
  EXPECT_EQ(Day(*t, r, "DATES"), JulianDay(1996, 1, 2));
  EXPECT_TRUE(log_.empty());
  EXPECT_FALSE(t->ReadRecord(4, r));
  ASSERT_FALSE(log_.empty());
  EXPECT_EQ(log_.last().GENCODE, kGenBound);
  log_.clear();
  ExpectConsistent(*t);
}

TEST_F(FixtureTest, BdeMultiBlockMemoJunkAfterTerminatorAndUpperCaseDbt) {
  TALVI_NEED_FIXTURE(d, dir_, "dbt-bde-test3");
  auto t = OpenRead(d + "/BDE_TEST_3_512.dbf");
  ASSERT_NE(t, nullptr);
  EXPECT_TRUE(SameName(t->memo_path(), d + "/BDE_TEST_3_512.DBT")) << t->memo_path();
  EXPECT_EQ(t->header().year, 2016);
  EXPECT_EQ(t->RecordCount(), 4u);
  EXPECT_EQ(t->header().header_length, 257);
  EXPECT_EQ(t->header().record_length, 56);
  const char* names[] = {"AAA", "BBB", "CCC", "DDD"};
  const int months[] = {1, 2, 3, 4};
  const int days[] = {1, 8, 13, 24};
  std::string r;
  for (std::uint32_t i = 1; i <= 4; ++i) {
    ASSERT_TRUE(t->ReadRecord(i, r));
    EXPECT_EQ(Trimmed(Text(*t, r, "C10")), names[i - 1]);
    EXPECT_EQ(Day(*t, r, "D"), JulianDay(2015, months[i - 1], days[i - 1]));
    EXPECT_EQ(Logical(*t, r, "L"), i == 1);
    EXPECT_EQ(Num(*t, r, "I"), 111.0 * i);
    EXPECT_EQ(Num(*t, r, "N5"), 1111.0 * i);
    EXPECT_DOUBLE_EQ(Num(*t, r, "N10"), 11111.11 * i);
  }
  ASSERT_TRUE(t->ReadRecord(1, r));
  EXPECT_EQ(t->RawValue(r, t->FieldIndex("N10")), "  11111.11");
  EXPECT_EQ(t->RawValue(r, t->FieldIndex("I")), "        111");
  EXPECT_EQ(Text(*t, r, "B"), ">aAaA aAaA aAaA aAaA aAaA aAaA aAaA aAaA>");
  ASSERT_TRUE(t->ReadRecord(2, r));
  const std::string b = Text(*t, r, "B");
  EXPECT_EQ(b.size(), 1180u);
  EXPECT_EQ(b.substr(0, 15), ">\r\nbBbBbBbbbbBB");
  EXPECT_EQ(b.substr(b.size() - 20), "bbBBBbbBBBBbbBBBBBB>");
  for (std::uint32_t i = 3; i <= 4; ++i) {
    ASSERT_TRUE(t->ReadRecord(i, r));
    EXPECT_EQ(Text(*t, r, "B"), "");
  }
  EXPECT_TRUE(log_.empty());
  ExpectConsistent(*t);
}

TEST_F(FixtureTest, PhpBinaryMemosHoldingTerminatorPairsComeBackWhole) {
  TALVI_NEED_FIXTURE(d, dir_, "dbt-php-dbase3");
  auto t = OpenRead(d + "/dBaseIII.dbf");
  ASSERT_NE(t, nullptr);
  const TableHeader& h = t->header();
  EXPECT_EQ(h.code_page, 0x03);
  EXPECT_EQ(h.flags, 0);
  EXPECT_EQ(h.header_length, 225);
  EXPECT_EQ(h.record_length, 70);
  ASSERT_EQ(h.fields.size(), 6u);
  const unsigned positions[] = {1, 21, 29, 30, 40, 60};
  for (std::size_t i = 0; i < 6; ++i) EXPECT_EQ(h.fields[i].offset, positions[i]);
  struct Row {
    const char* name;
    int y, m, dd;
    bool man;
    double money;
    std::size_t bio;
    std::size_t image;
    bool png;
  } rows[] = {{"Groot", 1960, 11, 1, false, 12.1235, 1479, 27297, false},
              {"Rocket Raccoon", 1976, 6, 1, false, 325.32, 977, 95714, true},
              {"Star-Lord", 1976, 1, 1, true, 0.0, 1170, 187811, true}};
  std::string r;
  for (std::uint32_t i = 1; i <= 3; ++i) {
    const Row& w = rows[i - 1];
    ASSERT_TRUE(t->ReadRecord(i, r));
    EXPECT_EQ(Trimmed(Text(*t, r, "NAME")), w.name);
    EXPECT_EQ(Day(*t, r, "BIRTHDAY"), JulianDay(w.y, w.m, w.dd));
    EXPECT_EQ(Logical(*t, r, "IS_MAN"), w.man);
    EXPECT_DOUBLE_EQ(Num(*t, r, "MONEY"), w.money);
    EXPECT_EQ(Text(*t, r, "BIO").size(), w.bio) << i;
    const std::string img = Text(*t, r, "IMAGE");
    EXPECT_EQ(img.size(), w.image) << i;
    if (w.png) {
      EXPECT_EQ(img.substr(0, 4), "\x89PNG");
      EXPECT_EQ(img.substr(img.size() - 8), std::string("IEND\xAE\x42\x60\x82", 8));
    } else {
      EXPECT_EQ(img.substr(0, 2), "\xFF\xD8");
      EXPECT_EQ(img.substr(img.size() - 2), "\xFF\xD9");
    }
  }
  ASSERT_TRUE(t->ReadRecord(1, r));
  EXPECT_EQ(Text(*t, r, "BIO").substr(0, 8), "Groot (/");
  EXPECT_EQ(t->RawValue(r, t->FieldIndex("MONEY")), "             12.1235");
  EXPECT_TRUE(log_.empty());
  ExpectConsistent(*t);
}

TEST_F(FixtureTest, RubyWideNumbersAndLongMemos) {
  TALVI_NEED_FIXTURE(d, dir_, "dbt-ruby-dbase83");
  auto t = OpenRead(d + "/dbase_83.dbf");
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->header().year, 2003);
  EXPECT_EQ(t->RecordCount(), 67u);
  EXPECT_EQ(t->header().header_length, 513);
  EXPECT_EQ(t->header().record_length, 805);
  EXPECT_EQ(t->fields().size(), 15u);
  std::string r;
  ASSERT_TRUE(t->ReadRecord(1, r));
  EXPECT_EQ(Num(*t, r, "ID"), 87);
  EXPECT_EQ(Num(*t, r, "CATCOUNT"), 2);
  EXPECT_EQ(Num(*t, r, "ORDER"), 87);
  EXPECT_EQ(Trimmed(Text(*t, r, "CODE")), "1");
  EXPECT_EQ(Trimmed(Text(*t, r, "NAME")), "Assorted Petits Fours");
  EXPECT_EQ(Trimmed(Text(*t, r, "THUMBNAIL")), "graphics/00000001/t_1.jpg");
  EXPECT_EQ(Num(*t, r, "PRICE"), 0);
  EXPECT_DOUBLE_EQ(Num(*t, r, "WEIGHT"), 5.51);
  EXPECT_TRUE(Logical(*t, r, "TAXABLE"));
  EXPECT_TRUE(Logical(*t, r, "ACTIVE"));
  std::string desc = Text(*t, r, "DESC");
  EXPECT_EQ(desc.size(), 524u);
  EXPECT_EQ(desc.rfind("Our Original assortment...a little taste of heaven for everyone.", 0), 0u);
  EXPECT_EQ(desc.substr(desc.size() - 20), "and Raspberry Blanc.");
  ASSERT_TRUE(t->ReadRecord(10, r));
  EXPECT_EQ(Num(*t, r, "ID"), 34);
  EXPECT_EQ(Trimmed(Text(*t, r, "CODE")), "AB01");
  EXPECT_EQ(Trimmed(Text(*t, r, "NAME")), "Apricot Brandy Fruitcake");
  EXPECT_DOUBLE_EQ(Num(*t, r, "PRICE"), 37.95);
  EXPECT_DOUBLE_EQ(Num(*t, r, "COST"), 37.95);
  EXPECT_FALSE(Logical(*t, r, "TAXABLE"));
  desc = Text(*t, r, "DESC");
  EXPECT_EQ(desc.size(), 634u);
  EXPECT_EQ(desc.rfind("Once tasted you will understand why we won The\r\nBoston Herald's", 0), 0u);
  EXPECT_EQ(desc.substr(desc.size() - 37), "Presented in a gift tin.  (3lbs. 4oz)");
  for (std::uint32_t i = 1; i <= 67; ++i) ASSERT_TRUE(t->ReadRecord(i, r));
  EXPECT_TRUE(log_.empty());
  ExpectConsistent(*t);
}

TEST_F(FixtureTest, RoomsOtherTerminatorAndTrailingBytes) {
  TALVI_NEED_FIXTURE(d, dir_, "cdx-perl-rooms");
  auto t = OpenRead(d + "/rooms.dbf");
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->header().version, 0x03);
  EXPECT_EQ(t->header().flags, 0x01);
  EXPECT_EQ(t->header().year, 1997);
  EXPECT_EQ(t->RecordCount(), 42u);
  EXPECT_EQ(t->header().header_length, 97);
  EXPECT_EQ(t->header().record_length, 21);
  std::string r;
  const std::pair<std::uint32_t, std::pair<const char*, const char*>> some[] = {
      {1, {" None", ""}},         {2, {"Bay  1", "Main"}}, {23, {"ADR-Foley", "Audio"}},
      {32, {"SCANNING", "Film"}}, {41, {"BAY 7", "Main"}}, {42, {"", ""}}};
  for (const auto& [n, v] : some) {
    ASSERT_TRUE(t->ReadRecord(n, r));
    EXPECT_EQ(Trimmed(Text(*t, r, "ROOMNAME")), v.first) << n;
    EXPECT_EQ(Trimmed(Text(*t, r, "FACILITY")), v.second) << n;
  }
  const Table::Report rep = t->Check();
  EXPECT_TRUE(rep.problems.empty());
  EXPECT_GE(rep.notes.size(), 2u);  // terminator 0x0A, one byte after the 0x1A
  EXPECT_TRUE(log_.empty());
}

TEST_F(FixtureTest, VisualFoxProTablesWithBinaryFieldsAndFpt) {
  TALVI_NEED_FIXTURE(d, dir_, "cdx-vfp-contacts");
  auto t = OpenRead(d + "/contacts.dbf");
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->header().version, 0x30);
  EXPECT_EQ(t->header().flags, 0x03);
  EXPECT_EQ(t->header().code_page, 0x03);
  EXPECT_EQ(t->header().year, 2015);
  EXPECT_EQ(t->RecordCount(), 5u);
  EXPECT_EQ(t->header().header_length, 1224);
  EXPECT_EQ(t->header().record_length, 1845);
  EXPECT_EQ(t->fields().size(), 29u);
  EXPECT_TRUE(SameName(t->memo_path(), d + "/contacts.FPT")) << t->memo_path();
  const char* first[] = {"Nancy", "Janet", "Andrew", "Margaret", "Steven"};
  const char* last[] = {"Davolio", "Leverling", "Fuller", "Peacock", "Buchanan"};
  const char type[] = {2, 1, 2, 1, 1};
  std::string r;
  for (std::uint32_t i = 1; i <= 5; ++i) {
    ASSERT_TRUE(t->ReadRecord(i, r));
    EXPECT_EQ(t->RawValue(r, t->FieldIndex("CONTACT_ID")),
              std::string({static_cast<char>(i), 0, 0, 0}));
    EXPECT_EQ(t->RawValue(r, t->FieldIndex("CONTACT_TY")), std::string({type[i - 1], 0, 0, 0}));
    EXPECT_EQ(Trimmed(Text(*t, r, "FIRST_NAME")), first[i - 1]);
    EXPECT_EQ(Trimmed(Text(*t, r, "LAST_NAME")), last[i - 1]);
    EXPECT_EQ(Text(*t, r, "NOTES").empty(), i > 2) << i;
  }
  EXPECT_TRUE(log_.empty());
  ExpectConsistent(*t);
}

TEST_F(FixtureTest, VisualFoxProBacklinkAndNoEndByte) {
  TALVI_NEED_FIXTURE(d, dir_, "cdx-vfp-setup");
  auto t = OpenRead(d + "/setup.dbf");
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->header().header_length, 360);
  EXPECT_EQ(t->header().record_length, 55);
  ASSERT_EQ(t->fields().size(), 2u);
  std::string r;
  const std::pair<const char*, char> rows[] = {
      {"CALLS", 21}, {"CONTACTS", 8}, {"CONTACT_TYPES", 2}};
  for (std::uint32_t i = 1; i <= 3; ++i) {
    ASSERT_TRUE(t->ReadRecord(i, r));
    EXPECT_EQ(Trimmed(Text(*t, r, "KEY_NAME")), rows[i - 1].first);
    EXPECT_EQ(t->RawValue(r, 1), std::string({rows[i - 1].second, 0, 0, 0}));
  }
  ExpectConsistent(*t);

  TALVI_NEED_FIXTURE(n, dir_, "ntx-perl-char");
  auto x = Table::Open(n + "/ntx-char.dbf", {.shared = true, .read_only = true});
  ASSERT_NE(x, nullptr);
  EXPECT_EQ(x->RecordCount(), 68u);
  EXPECT_EQ(x->header().header_length, 65);
  EXPECT_EQ(x->fields()[0].length, 78);
  ASSERT_TRUE(x->ReadRecord(68, r));
  ExpectConsistent(*x);
  EXPECT_TRUE(log_.empty());
}

}  // namespace
}  // namespace talvi::dbf
