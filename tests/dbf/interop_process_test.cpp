// SPDX-License-Identifier: MIT
// Tables and memos the engine writes, read back by DBF tools that nobody
// here wrote (Debian's python3-dbfread, python3-dbf, libdbd-xbase-perl),
// and a table written by python3-dbf read by the engine. Each check skips
// when its package is not installed.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "command_output.h"
#include "dbf/area.h"
#include "dbf/date.h"
#include "dbf/settings.h"
#include "dbf_support.h"

namespace talvi::dbf {
namespace {

using Output = testing::CommandOutput;

Output Shell(const std::string& cmd) {
  return testing::RunCommand(cmd + " 2>&1");
}

bool HasPython(const char* module) {
  return Shell(std::string("/usr/bin/python3 -c 'import ") + module + "'").code == 0;
}

// Every record as "deleted|name|qty|day|ok|note", the note with CR and LF
// escaped, printed as Latin-1 bytes so that 8-bit data compares as bytes.
constexpr const char* kDbfreadScript = R"(
import sys, dbfread
t = dbfread.DBF(sys.argv[1], encoding='latin-1', load=True)
def show(r, d):
    note = r['NOTE'] or ''
    ok = {True: 'T', False: 'F', None: '?'}[r['OK']]
    day = r['DAY'].isoformat() if r['DAY'] else ''
    qty = '' if r['QTY'] is None else repr(float(r['QTY']))
    line = '|'.join([d, r['NAME'], qty, day, ok, note.replace('\r', '\\r').replace('\n', '\\n')])
    sys.stdout.buffer.write((line + '\n').encode('latin-1'))
for r in t.records: show(r, ' ')
for r in t.deleted: show(r, '*')
)";

constexpr const char* kDbfScript = R"(
import sys, dbf
t = dbf.Table(sys.argv[1], codepage='cp1252')
t.open(dbf.READ_ONLY)
for r in t:
    note = r.note or ''
    ok = {True: 'T', False: 'F', None: '?'}[None if r.ok is None else bool(r.ok)]
    day = r.day.isoformat() if r.day else ''
    qty = '' if r.qty is None else repr(float(r.qty))
    d = '*' if dbf.is_deleted(r) else ' '
    line = '|'.join([d, r.name.rstrip(), qty, day, ok, note.replace('\r', '\\r').replace('\n', '\\n')])
    sys.stdout.buffer.write((line + '\n').encode('cp1252'))
t.close()
)";

constexpr const char* kDbfWriteScript = R"(
import sys, dbf, datetime
t = dbf.Table(sys.argv[1], 'NAME C(10); QTY N(8,2); DAY D; OK L; NOTE M', dbf_type='db3', codepage='cp1252')
t.open(dbf.READ_WRITE)
t.append(('first', 1.25, datetime.date(2001, 2, 3), True, 'memo one'))
t.append(('second', -7, None, False, 'x' * 1500))
t.append(('third', None, datetime.date(1999, 12, 31), None, ''))
dbf.delete(t[1])
t.close()
)";

class InteropTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(Table::Create(path_, {{"NAME", 'C', 10, 0},
                                      {"QTY", 'N', 8, 2},
                                      {"DAY", 'D', 8, 0},
                                      {"OK", 'L', 1, 0},
                                      {"NOTE", 'M', 10, 0}}));
    WorkArea a(1);
    ASSERT_TRUE(a.Use(path_, "MIX", {.shared = true}));
    const auto add = [&](const std::string& name, Value qty, std::int32_t day, Value ok,
                         const std::string& note) {
      ASSERT_TRUE(a.AppendBlank());
      ASSERT_TRUE(a.Put("NAME", Value::Character(name)));
      // Nil and empty values leave the field blank.
      EXPECT_TRUE(qty.IsNil() || a.Put("QTY", qty));
      EXPECT_TRUE(day == 0 || a.Put("DAY", Value::Date(day)));
      EXPECT_TRUE(ok.IsNil() || a.Put("OK", ok));
      EXPECT_TRUE(note.empty() || a.Put("NOTE", Value::Character(note)));
    };
    add("alpha", Value::Numeric(12.5), JulianDay(2024, 5, 6), Value::Logical(true), "short memo");
    add("beta", Value::Numeric(-3), 0, Value::Logical(false), std::string(700, 'x'));
    ASSERT_TRUE(a.Put("NOTE", Value::Character("rewritten in place")));
    ASSERT_TRUE(a.Delete());
    add("gamma\xE8", Value::Numeric(0), JulianDay(1999, 12, 31), Value(), "line1\r\nline2");
    ASSERT_TRUE(a.Put("NOTE", Value::Character(std::string(1100, 'y'))));  // moves on
    add("", Value(), 0, Value(), "");
    ASSERT_TRUE(a.UnlockAll());
  }

  // What both Python readers must print, in their order (dbfread gives the
  // deleted records last).
  static std::vector<std::string> Expected(bool deleted_last) {
    std::vector<std::string> rows = {
        " |alpha|12.5|2024-05-06|T|short memo", "*|beta|-3.0||F|rewritten in place",
        " |gamma\xE8|0.0|1999-12-31|?|" + std::string(1100, 'y'), " ||||?|"};
    if (deleted_last) std::rotate(rows.begin() + 1, rows.begin() + 2, rows.end());
    return rows;
  }

  static std::vector<std::string> Lines(const std::string& out) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t nl; (nl = out.find('\n', start)) != std::string::npos; start = nl + 1) {
      lines.push_back(out.substr(start, nl - start));
    }
    return lines;
  }

  std::string Script(const char* text) {
    const std::string file = dir_ / "check.py";
    talvi::testing::WriteBytes(file, text);
    return "/usr/bin/python3 " + file + " ";
  }

  talvi::testing::TempDir dir_;
  testing::ErrorLog log_;
  std::string path_ = dir_ / "MIX.DBF";
};

TEST_F(InteropTest, Python3DbfreadReadsWhatTheEngineWrote) {
  if (!HasPython("dbfread"))
    GTEST_SKIP() << "python3-dbfread is not installed (apt-get install python3-dbfread)";
  const Output r = Shell(Script(kDbfreadScript) + path_);
  ASSERT_EQ(r.code, 0) << r.out;
  EXPECT_EQ(Lines(r.out), Expected(true));
}

TEST_F(InteropTest, Python3DbfReadsWhatTheEngineWrote) {
  if (!HasPython("dbf"))
    GTEST_SKIP() << "python3-dbf is not installed (apt-get install python3-dbf)";
  const Output r = Shell(Script(kDbfScript) + path_);
  ASSERT_EQ(r.code, 0) << r.out;
  EXPECT_EQ(Lines(r.out), Expected(false));
}

TEST_F(InteropTest, PerlDbfDumpReadsWhatTheEngineWrote) {
  if (::access("/usr/bin/dbf_dump", X_OK) != 0) {
    GTEST_SKIP() << "dbf_dump is not installed (apt-get install libdbd-xbase-perl)";
  }
  // dbf_dump leaves deleted records out and writes numbers without
  // trailing zeros.
  const Output r = Shell("/usr/bin/dbf_dump --fs '|' --rs '#' " + path_);
  ASSERT_EQ(r.code, 0) << r.out;
  EXPECT_EQ(r.out, "alpha|12.5|20240506|1|short memo#gamma\xE8|0|19991231||" +
                       std::string(1100, 'y') + "#||||#");
  const Output info = Shell("/usr/bin/dbf_dump --info " + path_);
  EXPECT_NE(info.out.find("Num of records:\t4\n"), std::string::npos) << info.out;
}

TEST_F(InteropTest, TheEngineReadsWhatPython3DbfWrote) {
  if (!HasPython("dbf"))
    GTEST_SKIP() << "python3-dbf is not installed (apt-get install python3-dbf)";
  const std::string theirs = dir_ / "theirs.dbf";
  const Output w = Shell(Script(kDbfWriteScript) + theirs);
  ASSERT_EQ(w.code, 0) << w.out;
  Engine().deleted = false;
  WorkArea a(1);
  ASSERT_TRUE(a.Use(theirs, "T", {.shared = true, .read_only = true}));
  EXPECT_EQ(a.RecCount(), 3u);
  ASSERT_TRUE(a.GoTo(1));
  EXPECT_EQ(a.Get("NAME"), Value::Character("first     "));
  EXPECT_EQ(a.Get("QTY").num(), 1.25);
  EXPECT_EQ(a.Get("DAY"), Value::Date(JulianDay(2001, 2, 3)));
  EXPECT_EQ(a.Get("OK"), Value::Logical(true));
  EXPECT_EQ(a.Get("NOTE"), Value::Character("memo one"));
  ASSERT_TRUE(a.GoTo(2));
  EXPECT_TRUE(a.Deleted());
  EXPECT_EQ(a.Get("QTY").num(), -7);
  EXPECT_EQ(a.Get("DAY"), Value::Date(0));
  EXPECT_EQ(a.Get("NOTE"), Value::Character(std::string(1500, 'x')));
  ASSERT_TRUE(a.GoTo(3));
  EXPECT_EQ(a.Get("NOTE"), Value::Character(""));
  EXPECT_TRUE(a.table()->Check().problems.empty());
  Engine().deleted = true;
  EXPECT_TRUE(log_.empty());
}

}  // namespace
}  // namespace talvi::dbf
