// SPDX-License-Identifier: MIT
// Orders against SQLite indexes on the same work: build an index on
// character and on numeric keys of a table of 1 000 000 records, seek
// 1 000 000 random keys, scan the whole table in key order, and append
// records with both indexes kept up to date. The engine runs with the
// default driver (CDX tags of one file) and with NTX files, the table
// opened exclusively; SQLite runs in one transaction, without sync, with
// a page cache that holds the table.
//
//   bench_index [records]     (default 1000000)
//
// libxbase64 runs the same work on its own NTX files in its 32-bit build
// (tests/dbf/xbase32/xbase_ntx, a child process) when the build has it:
// Debian's amd64 build reads the files' 4-byte integers into 8-byte longs
// (src/dbf/README.md, "libxbase64").
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "dbf/areas.h"
#include "dbf/orders.h"
#include "dbf/settings.h"
#include "errors/error.h"

#ifdef TALVI_HAVE_SQLITE
#include <sqlite3.h>
#endif

namespace {

using Clock = std::chrono::steady_clock;

double Micros(Clock::time_point start, long n) {
  return std::chrono::duration<double, std::micro>(Clock::now() - start).count() /
         static_cast<double>(n);
}

struct Figures {
  double buildChar = 0, buildNum = 0, seek = 0, scan = 0, append = 0;
};

// The key of record i: a scattered 10-character text and number.
std::string CharKey(long i) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "K%09ld", (i * 7919) % 1000003);
  return buf;
}
double NumKey(long i) {
  return static_cast<double>((i * 104729) % 1000033);
}

Figures RunEngine(const std::string& dir, long n, const char* driver) {
  using namespace talvi::dbf;
  Figures f;
  Engine().driver = driver;
  const std::string path = dir + "/" + driver + ".DBF";
  Table::Create(path, {{"NAME", 'C', 10, 0}, {"NUM", 'N', 10, 0}});
  Areas& w = Workspace();
  if (!w.Use(path, "B", {.shared = false})) std::exit(2);
  WorkArea& a = w.Current();
  for (long i = 1; i <= n; ++i) {
    if (!a.AppendBlank()) std::exit(3);
    a.Put(1, Value::Character(CharKey(i)));
    a.Put(2, Value::Numeric(NumKey(i)));
  }
  a.Commit();
  const bool cdx = std::string(driver) == "DBFCDX";
  auto t = Clock::now();
  if (!a.orders().Create(
          {.bag_path = dir + (cdx ? "/IDX" : "/BYNAME"), .tag = "BYNAME", .key = "NAME"})) {
    std::exit(4);
  }
  f.buildChar = Micros(t, n);
  t = Clock::now();
  if (!a.orders().Create(
          {.bag_path = dir + (cdx ? "/IDX" : "/BYNUM"), .tag = "BYNUM", .key = "NUM"})) {
    std::exit(5);
  }
  f.buildNum = Micros(t, n);
  a.orders().SetCurrent("BYNAME");
  std::mt19937 rng(1);
  long found = 0;
  t = Clock::now();
  for (long i = 0; i < n; ++i) {
    a.Seek(Value::Character(CharKey(1 + static_cast<long>(rng() % static_cast<unsigned>(n)))));
    found += a.Found() ? 1 : 0;
  }
  f.seek = Micros(t, n);
  if (found != n) std::fprintf(stderr, "engine: %ld of %ld seeks found\n", found, n);
  t = Clock::now();
  long seen = 0;
  for (a.GoTop(); !a.Eof(); a.Skip(1)) ++seen;
  f.scan = Micros(t, n);
  if (seen != n) std::fprintf(stderr, "engine: scan saw %ld of %ld\n", seen, n);
  const long more = n / 10;
  t = Clock::now();
  for (long i = n + 1; i <= n + more; ++i) {
    a.AppendBlank();
    a.Put(1, Value::Character(CharKey(i)));
    a.Put(2, Value::Numeric(NumKey(i)));
  }
  a.Commit();
  f.append = Micros(t, more);
  w.CloseAll();
  return f;
}

#ifdef TALVI_HAVE_SQLITE
Figures Sqlite(const std::string& dir, long n) {
  Figures f;
  sqlite3* db = nullptr;
  sqlite3_open((dir + "/bench.sqlite").c_str(), &db);
  sqlite3_exec(db,
               "PRAGMA synchronous=OFF; PRAGMA journal_mode=MEMORY; PRAGMA cache_size=-400000;"
               "CREATE TABLE t(name TEXT, num INTEGER); BEGIN;",
               nullptr, nullptr, nullptr);
  sqlite3_stmt* ins = nullptr;
  sqlite3_prepare_v2(db, "INSERT INTO t VALUES(?,?)", -1, &ins, nullptr);
  const auto insert = [&](long i) {
    const std::string k = CharKey(i);
    sqlite3_bind_text(ins, 1, k.c_str(), static_cast<int>(k.size()), SQLITE_TRANSIENT);
    sqlite3_bind_int64(ins, 2, static_cast<sqlite3_int64>(NumKey(i)));
    sqlite3_step(ins);
    sqlite3_reset(ins);
  };
  for (long i = 1; i <= n; ++i) insert(i);
  auto t = Clock::now();
  sqlite3_exec(db, "CREATE INDEX byname ON t(name)", nullptr, nullptr, nullptr);
  f.buildChar = Micros(t, n);
  t = Clock::now();
  sqlite3_exec(db, "CREATE INDEX bynum ON t(num)", nullptr, nullptr, nullptr);
  f.buildNum = Micros(t, n);
  sqlite3_stmt* sel = nullptr;
  sqlite3_prepare_v2(db, "SELECT rowid FROM t WHERE name=? LIMIT 1", -1, &sel, nullptr);
  std::mt19937 rng(1);
  long found = 0;
  t = Clock::now();
  for (long i = 0; i < n; ++i) {
    const std::string k = CharKey(1 + static_cast<long>(rng() % static_cast<unsigned>(n)));
    sqlite3_bind_text(sel, 1, k.c_str(), static_cast<int>(k.size()), SQLITE_TRANSIENT);
    if (sqlite3_step(sel) == SQLITE_ROW) ++found;
    sqlite3_reset(sel);
  }
  f.seek = Micros(t, n);
  if (found != n) std::fprintf(stderr, "sqlite: %ld of %ld seeks found\n", found, n);
  sqlite3_stmt* scan = nullptr;
  sqlite3_prepare_v2(db, "SELECT rowid, name, num FROM t ORDER BY name", -1, &scan, nullptr);
  t = Clock::now();
  long seen = 0;
  while (sqlite3_step(scan) == SQLITE_ROW) ++seen;
  f.scan = Micros(t, n);
  sqlite3_finalize(scan);
  const long more = n / 10;
  t = Clock::now();
  for (long i = n + 1; i <= n + more; ++i) insert(i);
  sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
  f.append = Micros(t, more);
  sqlite3_finalize(sel);
  sqlite3_finalize(ins);
  sqlite3_close(db);
  return f;
}
#endif

#ifdef TALVI_XBASE32_TOOL
// The same work by libxbase64, in a 32-bit child process. Its walk passes
// over the entries of inner pages and, in a large file, stops long before
// the end (faults of the library): its scan figure is per entry it walked.
bool Xbase(const std::string& dir, long n, Figures& f) {
  const std::string cmd =
      std::string(TALVI_XBASE32_TOOL) + " bench " + std::to_string(n) + " " + dir;
  FILE* p = ::popen(cmd.c_str(), "r");
  if (p == nullptr) return false;
  long found = 0, seen = 0;
  const int got = std::fscanf(p, "%lf %lf %lf %lf %lf %ld %ld", &f.buildChar, &f.buildNum, &f.seek,
                              &f.scan, &f.append, &found, &seen);
  const int status = ::pclose(p);
  if (got != 7 || status != 0) return false;
  if (found != n) std::printf("libxbase64: %ld of %ld seeks found\n", found, n);
  if (seen != n) {
    std::printf("libxbase64: its walk saw %ld of %ld entries (scan figure per entry walked)\n",
                seen, n);
  }
  return true;
}
#endif

void Print(const char* who, const Figures& f, const Figures* ref) {
  const auto ratio = [&](double a, double b) { return ref && b > 0 ? a / b : 0.0; };
  std::printf("%-14s build C %6.2f  build N %6.2f  seek %6.2f  scan %6.2f  append %6.2f us", who,
              f.buildChar, f.buildNum, f.seek, f.scan, f.append);
  if (ref) {
    std::printf("   (x SQLite: %.2f %.2f %.2f %.2f %.2f)", ratio(f.buildChar, ref->buildChar),
                ratio(f.buildNum, ref->buildNum), ratio(f.seek, ref->seek),
                ratio(f.scan, ref->scan), ratio(f.append, ref->append));
  }
  std::printf("\n");
}

}  // namespace

int main(int argc, char** argv) {
  const long n = argc > 1 ? std::atol(argv[1]) : 1000000;
  talvi::errors::SetHandler([](const talvi::errors::Error& e) {
    std::fprintf(stderr, "error %d %s\n", e.GENCODE, e.DESCRIPTION.value_or("").c_str());
    return talvi::errors::Answer::Default();
  });
  talvi::dbf::Engine().file_case = talvi::dbf::NameCase::kMixed;
  char tmpl[] = "/tmp/talvi-bench-index-XXXXXX";
  const char* dir = ::mkdtemp(tmpl);
  if (!dir) return 2;
  std::printf("%ld records, microseconds per key (build, seek, scan) or per record (append)\n", n);
  const Figures cdx = RunEngine(dir, n, "DBFCDX");
  const Figures ntx = RunEngine(dir, n, "DBFNTX");
#ifdef TALVI_HAVE_SQLITE
  const Figures sql = Sqlite(dir, n);
  Print("SQLite", sql, nullptr);
  Print("engine CDX", cdx, &sql);
  Print("engine NTX", ntx, &sql);
#else
  Print("engine CDX", cdx, nullptr);
  Print("engine NTX", ntx, nullptr);
  std::printf("SQLite: not found by the build\n");
#endif
#ifdef TALVI_XBASE32_TOOL
  Figures xb;
  if (Xbase(dir, n, xb)) {
#ifdef TALVI_HAVE_SQLITE
    Print("libxbase64 NTX", xb, &sql);
#else
    Print("libxbase64 NTX", xb, nullptr);
#endif
    const auto r = [](double a, double b) { return b > 0 ? a / b : 0.0; };
    std::printf(
        "engine NTX / libxbase64: build C %.2f  build N %.2f  seek %.2f  scan %.2f  "
        "append %.2f\n",
        r(ntx.buildChar, xb.buildChar), r(ntx.buildNum, xb.buildNum), r(ntx.seek, xb.seek),
        r(ntx.scan, xb.scan), r(ntx.append, xb.append));
  } else {
    std::printf("libxbase64: its 32-bit program failed\n");
  }
#else
  std::printf("libxbase64: not measured (its i386 build is not unpacked; scripts/setup.sh)\n");
#endif
  std::filesystem::remove_all(dir);
  return 0;
}
