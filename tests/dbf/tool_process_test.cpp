// SPDX-License-Identifier: MIT
// talvi-dbf run as users run it: a real process, its output and exit code.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>

#include "command_output.h"
#include "dbf/areas.h"
#include "dbf/orders.h"
#include "dbf/settings.h"
#include "dbf/table.h"
#include "dbf_support.h"

namespace talvi::dbf {
namespace {

using ToolRun = testing::CommandOutput;

ToolRun Tool(const std::string& args) {
  return testing::RunCommand(std::string(TALVI_DBF_TOOL) + " " + args + " 2>/dev/null");
}

class ToolTest : public ::testing::Test {
 protected:
  talvi::testing::TempDir dir_;
};

TEST_F(ToolTest, InfoDumpAndCheckOfAFixture) {
  TALVI_NEED_FIXTURE(d, dir_, "dbt-bde-test3");
  const std::string table = "'" + d + "/BDE_TEST_3_512.dbf'";
  const ToolRun info = Tool("info " + table);
  EXPECT_EQ(info.code, 0);
  for (const char* line : {"version: 0x83 (dBase III with DBT memo)\n", "last update: 2016-04-24\n",
                           "records: 4\n", "header length: 257\n", "record length: 56\n",
                           "  6 N10 N 10 2 @36\n", "  7 B M 10 0 @46\n"}) {
    EXPECT_NE(info.out.find(line), std::string::npos) << line << info.out;
  }
  const ToolRun dump = Tool("dump " + table);
  EXPECT_EQ(dump.code, 0);
  EXPECT_EQ(dump.out.substr(0, 33), "DELETED,C10,D,L,I,N5,N10,B\r\n,AAA,");
  EXPECT_NE(dump.out.find(
                ",AAA,20150101,T,111,1111,11111.11,>aAaA aAaA aAaA aAaA aAaA aAaA aAaA aAaA>\r\n"),
            std::string::npos);
  EXPECT_NE(dump.out.find(",\">\r\nbBbBbBbbbbBB"), std::string::npos);  // quoted, line break kept
  EXPECT_NE(dump.out.find(",DDD,20150424,F,444,4444,44444.44,\r\n"), std::string::npos);
  EXPECT_EQ(Tool("check " + table).code, 0);
}

TEST_F(ToolTest, CheckFailsOnAnInconsistentTableAndOnANonTable) {
  const std::string path = dir_ / "T.DBF";
  ASSERT_TRUE(Table::Create(path, {{"A", 'C', 2, 0}}));
  EXPECT_EQ(Tool("check " + path).code, 0);
  std::string bytes = talvi::testing::ReadBytes(path);
  bytes[4] = 3;  // three records claimed, none present
  talvi::testing::WriteBytes(path, bytes);
  const ToolRun r = Tool("check " + path);
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.out.find("problem: record count 3 runs past the end of the file"), std::string::npos);
  talvi::testing::WriteBytes(path, "not a table at all");
  EXPECT_EQ(Tool("check " + path).code, 2);
  EXPECT_EQ(Tool("frobnicate " + path).code, 64);
}

TEST_F(ToolTest, LoadReadsRfc4180AndDumpGivesItBack) {
  const std::string csv = dir_ / "in.csv";
  talvi::testing::WriteBytes(csv,
                             "NAME,QTY,DAY,OK,NOTE\r\n"
                             "\"Smith, J\",12.5,2024-05-06,T,\"two\r\nlines \"\"quoted\"\"\"\r\n"
                             "Bob,,20240101,,\n"
                             "\xE8t\xE9,-3,,n,\r\n");
  const std::string table = dir_ / "new.dbf";
  const ToolRun load = Tool("load " + table + " 'NAME,C,10;QTY,N,8,2;DAY,D;OK,L;NOTE,M' " + csv);
  ASSERT_EQ(load.code, 0) << load.out;
  EXPECT_NE(load.out.find("loaded 3 records"), std::string::npos);
  const ToolRun dump = Tool("dump " + table);
  EXPECT_EQ(dump.code, 0);
  EXPECT_EQ(dump.out,
            "DELETED,NAME,QTY,DAY,OK,NOTE\r\n"
            ",\"Smith, J\",12.50,20240506,T,\"two\r\nlines \"\"quoted\"\"\"\r\n"
            ",Bob,,20240101,,\r\n"
            ",\xE8t\xE9,-3.00,,F,\r\n");
  EXPECT_EQ(Tool("check " + table).code, 0);
}

TEST_F(ToolTest, LoadRefusesBadInputWithoutWritingNonsense) {
  const std::string csv = dir_ / "in.csv";
  const std::string table = dir_ / "bad.dbf";
  talvi::testing::WriteBytes(csv, "1234\r\n");
  EXPECT_NE(Tool("load " + table + " 'X,N,3' " + csv).code, 0);  // does not fit
  talvi::testing::WriteBytes(csv, "abc\r\n");
  ToolRun r = Tool("load " + table + " 'X,N,3' " + csv);
  EXPECT_EQ(r.code, 1);
  EXPECT_NE(r.out.find("row 1, field X"), std::string::npos);
  talvi::testing::WriteBytes(csv, "\"open\r\n");
  EXPECT_EQ(Tool("load " + table + " 'X,C,3' " + csv).code, 1);
  talvi::testing::WriteBytes(csv, "a,b\r\n");
  EXPECT_EQ(Tool("load " + table + " 'X,C,3' " + csv).code, 1);
  EXPECT_EQ(Tool("load " + table + " 'X,C' " + csv).code, 1);
  EXPECT_EQ(Tool("load " + table + " 'TOOLONGNAME1,C,3' " + csv).code, 2);
}

// The index verbs on files the engine wrote: the tags with their flags,
// the keys in order, and check, which fails once a record no longer has
// the key its order holds for it.
TEST_F(ToolTest, TagsKeysAndCheckOfTheOrders) {
  testing::ErrorLog log;
  const std::string path = dir_ / "T.DBF";
  ASSERT_TRUE(Table::Create(path, {{"NAME", 'C', 6, 0}, {"QTY", 'N', 5, 1}}));
  Workspace().CloseAll();
  ASSERT_TRUE(Workspace().Use(path, "", {.shared = false}));
  WorkArea& a = Workspace().Current();
  const char* names[] = {"pear", "fig", "apple"};
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(a.AppendBlank());
    ASSERT_TRUE(a.Put("NAME", Value::Character(names[i])));
    ASSERT_TRUE(a.Put("QTY", Value::Numeric(1.5 * i - 1)));
  }
  ASSERT_TRUE(a.Commit());
  ASSERT_TRUE(a.orders().Create({.bag_path = dir_ / "T", .tag = "NAME", .key = "NAME"}));
  ASSERT_TRUE(a.orders().Create({.bag_path = dir_ / "T",
                                 .tag = "QTY",
                                 .key = "QTY",
                                 .condition = "QTY > -5",
                                 .unique = true,
                                 .descending = true}));
  Engine().driver = "DBFNTX";
  ASSERT_TRUE(a.orders().Create({.bag_path = dir_ / "BYNAME", .key = "NAME"}));
  Engine().driver = "DBFCDX";
  Workspace().CloseAll();
  const ToolRun tags = Tool("tags " + dir_ / "T.CDX");
  EXPECT_EQ(tags.code, 0);
  EXPECT_EQ(tags.out,
            "CDX NAME key=NAME for= unique=0 descending=0 keylength=6\n"
            "CDX QTY key=QTY for=QTY > -5 unique=1 descending=1 keylength=8\n");
  EXPECT_EQ(Tool("keys " + dir_ / "T.CDX" + " qty").out, "1\t-1\n2\t0.5\n3\t2\n");
  EXPECT_EQ(Tool("keys " + dir_ / "BYNAME.NTX").out, "3\tapple\n2\tfig\n1\tpear\n");
  EXPECT_EQ(Tool("keys " + dir_ / "T.CDX" + " nosuch").code, 1);
  ToolRun check = Tool("check " + path + " " + dir_ / "BYNAME.NTX");
  EXPECT_EQ(check.code, 0) << check.out;
  EXPECT_NE(check.out.find("order QTY (T.CDX): 3 keys, consistent"), std::string::npos);
  EXPECT_NE(check.out.find("order BYNAME (BYNAME.NTX): 3 keys, consistent"), std::string::npos);
  // Record 2 renamed behind the indexes' back.
  std::string bytes = talvi::testing::ReadBytes(path);
  const std::size_t at = 32 + 2 * 32 + 1 + 12 + 1;  // header, record 1, then record 2's NAME
  ASSERT_EQ(bytes.substr(at, 3), "fig");
  bytes.replace(at, 3, "zzz");
  talvi::testing::WriteBytes(path, bytes);
  check = Tool("check " + path + " " + dir_ / "BYNAME.NTX");
  EXPECT_EQ(check.code, 1);
  EXPECT_NE(check.out.find("problem: order NAME (T.CDX): record 2 has another key than its record"),
            std::string::npos)
      << check.out;
  EXPECT_NE(check.out.find("order BYNAME (BYNAME.NTX): 3 keys, inconsistent"), std::string::npos);
  EXPECT_EQ(Tool("tags " + dir_ / "NONE.CDX").code, 2);
  EXPECT_TRUE(log.empty());
}

// A table whose header names a structural index that will not open is
// usable in record order, but check cannot vouch for its orders: it says
// so and fails, whether the file is cut short or its root points nowhere.
TEST_F(ToolTest, CheckFailsWhenTheStructuralIndexWillNotOpen) {
  const std::string path = dir_ / "T.DBF";
  ASSERT_TRUE(Table::Create(path, {{"NAME", 'C', 6, 0}}));
  {
    testing::ErrorLog log;
    Workspace().CloseAll();
    ASSERT_TRUE(Workspace().Use(path, "", {.shared = false}));
    WorkArea& a = Workspace().Current();
    for (const char* n : {"pear", "fig"}) {
      ASSERT_TRUE(a.AppendBlank());
      ASSERT_TRUE(a.Put("NAME", Value::Character(n)));
    }
    ASSERT_TRUE(a.orders().Create({.bag_path = dir_ / "T", .tag = "NAME", .key = "NAME"}));
    Workspace().CloseAll();
    EXPECT_TRUE(log.empty());
  }
  const std::string cdx = dir_ / "T.CDX";
  const std::string good = talvi::testing::ReadBytes(cdx);
  ToolRun r = Tool("check " + path);
  EXPECT_EQ(r.code, 0) << r.out;
  EXPECT_NE(r.out.find("order NAME (T.CDX): 2 keys, consistent"), std::string::npos) << r.out;
  talvi::testing::WriteBytes(cdx, good.substr(0, 100));  // cut short
  r = Tool("check " + path);
  EXPECT_EQ(r.code, 1) << r.out;
  EXPECT_NE(r.out.find("problem: the structural index " + cdx + " will not open"),
            std::string::npos)
      << r.out;
  std::string bad = good;
  bad[0] = 0, bad[1] = 0, bad[2] = 0, bad[3] = 0x7F;  // the root far beyond the file
  talvi::testing::WriteBytes(cdx, bad);
  r = Tool("check " + path);
  EXPECT_EQ(r.code, 1) << r.out;
  EXPECT_NE(r.out.find("will not open"), std::string::npos) << r.out;
  talvi::testing::WriteBytes(cdx, good);
  EXPECT_EQ(Tool("check " + path).code, 0);
}

}  // namespace
}  // namespace talvi::dbf
