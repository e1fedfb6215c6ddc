// SPDX-License-Identifier: MIT
// The table engine against SQLite on the same work: append 1 000 000
// records of a 5-field table, read them all by record number, replace one
// field in each. The engine runs with a shared open and a record lock per
// write, as programs on a network share do (and once more opened
// exclusively, without locks, for comparison); SQLite runs in one transaction,
// without sync, with a page cache that holds the table.
//
//   bench_dbf [records]     (default 1000000)
//
// libxbase64, the other reference, is used when the build finds it
// (TALVI_HAVE_XBASE64); otherwise its line says so.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "dbf/area.h"
#include "dbf/date.h"
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
  double append = 0, read = 0, update = 0;
};

Figures Engine(const std::string& dir, long n, bool shared) {
  using namespace talvi::dbf;
  Figures f;
  const std::string path = dir + (shared ? "/BENCH.DBF" : "/EXCL.DBF");
  Table::Create(path, {{"ID", 'N', 8, 0},
                       {"NAME", 'C', 20, 0},
                       {"QTY", 'N', 10, 2},
                       {"DAY", 'D', 8, 0},
                       {"OK", 'L', 1, 0}});
  WorkArea a(1);
  if (!a.Use(path, "B", {.shared = shared})) std::exit(2);
  const std::int32_t day = JulianDay(2024, 1, 1);
  auto t = Clock::now();
  for (long i = 1; i <= n; ++i) {
    if (!a.AppendBlank()) std::exit(3);
    a.Put(1, Value::Numeric(static_cast<double>(i)));
    a.Put(2, Value::Character("name " + std::to_string(i)));
    a.Put(3, Value::Numeric(static_cast<double>(i % 1000) / 4));
    a.Put(4, Value::Date(day + static_cast<std::int32_t>(i % 365)));
    a.Put(5, Value::Logical((i & 1) != 0));
    a.UnlockAll();
  }
  f.append = Micros(t, n);
  double sum = 0;
  t = Clock::now();
  for (long i = 1; i <= n; ++i) {
    a.GoTo(static_cast<std::uint32_t>(i));
    sum += a.Get(1).num() + a.Get(3).num() + static_cast<double>(a.Get(2).str().size()) +
           a.Get(4).date() + (a.Get(5).logical() ? 1 : 0);
  }
  f.read = Micros(t, n);
  t = Clock::now();
  for (long i = 1; i <= n; ++i) {
    a.GoTo(static_cast<std::uint32_t>(i));
    if (!a.RLock()) std::exit(4);
    a.Put(3, Value::Numeric(static_cast<double>(i % 777) / 2));
    a.UnlockAll();
  }
  f.update = Micros(t, n);
  if (sum == 0) std::puts("");  // keeps the reads
  return f;
}

#ifdef TALVI_HAVE_SQLITE
Figures Sqlite(const std::string& dir, long n) {
  Figures f;
  sqlite3* db = nullptr;
  sqlite3_open((dir + "/bench.sqlite").c_str(), &db);
  sqlite3_exec(
      db,
      "PRAGMA synchronous=OFF; PRAGMA journal_mode=MEMORY; PRAGMA cache_size=-400000;"
      "CREATE TABLE t(id INTEGER PRIMARY KEY, name TEXT, qty REAL, day INTEGER, ok INTEGER);"
      "BEGIN;",
      nullptr, nullptr, nullptr);
  sqlite3_stmt* ins = nullptr;
  sqlite3_prepare_v2(db, "INSERT INTO t VALUES(?,?,?,?,?)", -1, &ins, nullptr);
  auto t = Clock::now();
  for (long i = 1; i <= n; ++i) {
    const std::string name = "name " + std::to_string(i);
    sqlite3_bind_int64(ins, 1, i);
    sqlite3_bind_text(ins, 2, name.c_str(), static_cast<int>(name.size()), SQLITE_TRANSIENT);
    sqlite3_bind_double(ins, 3, static_cast<double>(i % 1000) / 4);
    sqlite3_bind_int64(ins, 4, 2460311 + i % 365);
    sqlite3_bind_int(ins, 5, static_cast<int>(i & 1));
    sqlite3_step(ins);
    sqlite3_reset(ins);
  }
  f.append = Micros(t, n);
  sqlite3_stmt* sel = nullptr;
  sqlite3_prepare_v2(db, "SELECT id, name, qty, day, ok FROM t WHERE id=?", -1, &sel, nullptr);
  double sum = 0;
  t = Clock::now();
  for (long i = 1; i <= n; ++i) {
    sqlite3_bind_int64(sel, 1, i);
    if (sqlite3_step(sel) == SQLITE_ROW) {
      sum += static_cast<double>(sqlite3_column_int64(sel, 0)) + sqlite3_column_double(sel, 2) +
             sqlite3_column_bytes(sel, 1) + static_cast<double>(sqlite3_column_int64(sel, 3)) +
             sqlite3_column_int(sel, 4);
    }
    sqlite3_reset(sel);
  }
  f.read = Micros(t, n);
  sqlite3_stmt* upd = nullptr;
  sqlite3_prepare_v2(db, "UPDATE t SET qty=? WHERE id=?", -1, &upd, nullptr);
  t = Clock::now();
  for (long i = 1; i <= n; ++i) {
    sqlite3_bind_double(upd, 1, static_cast<double>(i % 777) / 2);
    sqlite3_bind_int64(upd, 2, i);
    sqlite3_step(upd);
    sqlite3_reset(upd);
  }
  f.update = Micros(t, n);
  sqlite3_exec(db, "COMMIT;", nullptr, nullptr, nullptr);
  sqlite3_finalize(ins);
  sqlite3_finalize(sel);
  sqlite3_finalize(upd);
  sqlite3_close(db);
  if (sum == 0) std::puts("");
  return f;
}
#endif

void Row(const char* who, const Figures& f) {
  std::printf("%-10s append %6.2f us   read %6.2f us   update %6.2f us\n", who, f.append, f.read,
              f.update);
}

}  // namespace

int main(int argc, char** argv) {
  const long n = argc > 1 ? std::atol(argv[1]) : 1'000'000;
  talvi::errors::SetHandler([](const talvi::errors::Error& e) {
    std::fprintf(stderr, "error %d/%d %s\n", e.GENCODE, e.SUBCODE.value_or(0),
                 e.DESCRIPTION ? e.DESCRIPTION->c_str() : "");
    return talvi::errors::Answer::Default();
  });
  char tmpl[] = "/tmp/talvi-bench-XXXXXX";
  const std::string dir = ::mkdtemp(tmpl);
  std::printf("%ld records, 5 fields (N8, C20, N10.2, D, L), in %s\n", n, dir.c_str());
  const Figures engine = Engine(dir, n, true);
  Row("engine", engine);
  Row("exclusive", Engine(dir, n, false));
#ifdef TALVI_HAVE_SQLITE
  const Figures sql = Sqlite(dir, n);
  Row("sqlite", sql);
  std::printf("%-10s append %6.2fx   read %6.2fx   update %6.2fx   (sqlite time / engine time)\n",
              "ratio", sql.append / engine.append, sql.read / engine.read,
              sql.update / engine.update);
#else
  std::puts("sqlite     not built (libsqlite3-dev missing)");
#endif
  std::puts("xbase64    not built (libxbase64-dev is not installed on this machine)");
  std::filesystem::remove_all(dir);
  return 0;
}
