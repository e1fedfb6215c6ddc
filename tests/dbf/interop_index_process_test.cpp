// SPDX-License-Identifier: MIT
// Index files the engine writes, read by a reader nobody here wrote
// (libdbd-xbase-perl's XBase::Index): NTX files and
// CDX tags of character, numeric and date keys, deep enough for inner
// nodes, come out in the engine's own key order. Skips when the tool is
// not installed.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "command_output.h"
#include "dbf/areas.h"
#include "dbf/orders.h"
#include "dbf/settings.h"
#include "dbf_support.h"

namespace talvi::dbf {
namespace {

// Prints every entry of an index file (a tag of it for CDX) as "key recno".
constexpr const char* kWalk =
    "my ($f, $tag, $type) = @ARGV;"
    "my $i = XBase::Index->new($f, type => $type, ($tag ? (tag => $tag) : ()))"
    "  or die XBase::Index->errstr;"
    "$i->prepare_select;"
    "while (my @d = $i->fetch) { print \"@d\\n\" }";

bool HasXbaseIndex() {
  return std::system("/usr/bin/perl -MXBase::Index -e 1 >/dev/null 2>&1") == 0;
}

using Output = testing::CommandOutput;

Output Shell(const std::string& cmd) {
  return testing::RunCommand(cmd + " 2>&1");
}

// The record numbers that the walk lists, in its order (the last field
// of each line).
std::vector<std::uint32_t> DumpedRecnos(const std::string& out) {
  std::vector<std::uint32_t> v;
  std::istringstream in(out);
  std::string line;
  while (std::getline(in, line)) {
    const std::size_t sp = line.find_last_of(" \t");
    const std::string last = sp == std::string::npos ? line : line.substr(sp + 1);
    if (last.empty() || last.find_first_not_of("0123456789") != std::string::npos) continue;
    v.push_back(static_cast<std::uint32_t>(std::stoul(last)));
  }
  return v;
}

std::vector<std::uint32_t> EngineRecnos(Order& o) {
  std::vector<std::uint32_t> v;
  EXPECT_TRUE(o.tree->Walk([&](const IndexEntry& e) {
    v.push_back(e.recno);
    return true;
  }));
  return v;
}

class InteropIndexTest : public ::testing::TestWithParam<const char*> {
 protected:
  void TearDown() override {
    Workspace().CloseAll();
    Engine().driver = "DBFCDX";
  }
  talvi::testing::TempDir dir_;
  testing::ErrorLog log_;
};

TEST_P(InteropIndexTest, IndexDumpReadsTheKeysInTheEnginesOrder) {
  if (!HasXbaseIndex()) {
    GTEST_SKIP() << "XBase::Index is not installed (apt-get install libdbd-xbase-perl)";
  }
  const bool cdx = std::string(GetParam()) == "DBFCDX";
  Engine().driver = GetParam();
  const std::string path = dir_ / "ITEMS.DBF";
  ASSERT_TRUE(Table::Create(path, {{"NAME", 'C', 30, 0}, {"QTY", 'N', 8, 2}, {"DAY", 'D', 8, 0}}));
  Workspace().CloseAll();
  ASSERT_TRUE(Workspace().Use(path, "", {.shared = false}));
  WorkArea& a = Workspace().Current();
  std::uint32_t seed = 12345;
  const auto next = [&] { return seed = seed * 1103515245u + 12345u; };
  for (int i = 0; i < 2500; ++i) {
    ASSERT_TRUE(a.AppendBlank());
    std::string name;
    for (int j = 0, n = 1 + static_cast<int>(next() % 12); j < n; ++j) {
      name += static_cast<char>('A' + (next() >> 8) % 26);
    }
    ASSERT_TRUE(a.Put("NAME", Value::Character(name)));
    ASSERT_TRUE(a.Put("QTY", Value::Numeric(static_cast<double>(next() % 20000) / 100 - 100)));
    ASSERT_TRUE(a.Put("DAY", Value::Date(2440000 + static_cast<std::int32_t>(next() % 30000))));
  }
  ASSERT_TRUE(a.Commit());
  Orders& o = a.orders();
  const auto bag = [&](const char* name) { return cdx ? dir_ / "ITEMS" : dir_ / name; };
  ASSERT_TRUE(o.Create({.bag_path = bag("BYNAME"), .tag = "BYNAME", .key = "NAME"}));
  ASSERT_TRUE(o.Create({.bag_path = bag("BYQTY"), .tag = "BYQTY", .key = "QTY"}));
  ASSERT_TRUE(o.Create({.bag_path = bag("BYDAY"), .tag = "BYDAY", .key = "DAY"}));
  ASSERT_EQ(o.count(), 3);
  const char* tags[] = {"BYDAY", "BYNAME", "BYQTY"};
  const char* types[] = {"date", "char", "num"};
  std::vector<std::vector<std::uint32_t>> want;
  for (const char* t : tags) want.push_back(EngineRecnos(*o.At(o.Number(t))));
  Workspace().CloseAll();
  for (int n = 0; n < 3; ++n) {
    const std::string file = cdx ? dir_ / "ITEMS.CDX" : dir_ / (std::string(tags[n]) + ".NTX");
    const std::string cmd = std::string("/usr/bin/perl -MXBase::Index -e '") + kWalk + "' '" +
                            file + "' '" + (cdx ? tags[n] : "") + "' " + types[n];
    const Output got = Shell(cmd);
    EXPECT_EQ(got.code, 0) << got.out.substr(0, 400);
    EXPECT_EQ(DumpedRecnos(got.out), want[static_cast<std::size_t>(n)])
        << tags[n] << ": " << got.out.substr(0, 400);
  }
  EXPECT_TRUE(log_.empty());
}

INSTANTIATE_TEST_SUITE_P(Drivers, InteropIndexTest, ::testing::Values("DBFNTX", "DBFCDX"));

}  // namespace
}  // namespace talvi::dbf
