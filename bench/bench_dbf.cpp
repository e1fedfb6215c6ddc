// SPDX-License-Identifier: MIT
// The table engine against libxbase64 and SQLite on the same work: append
// 1 000 000 records of a 5-field table, read them all by record number,
// replace one field in each. The engine runs with a shared open and a
// record lock per write, as programs on a network share do, and once more
// opened exclusively (no locks; records gathered in its cache);
// libxbase64 with its default locking (its automatic locks on append and
// on writing a record; the version in Debian has no record-lock call of
// its own); SQLite in one transaction, without sync, with a page cache
// that holds the table. The "calls" line is the floor of the shared
// engine: the system calls of its protocol alone, with nothing computed
// (append: header lock, header read, record lock, record and end byte,
// date and count, header unlock, field write, record unlock; read: the
// record; update: record lock, header read, record read, record write,
// unlock).
//
//   bench_dbf [records [rounds]]     (default 1000000 records, 1 round)
//
// With several rounds every figure is the median of the rounds (the
// machine is shared with other work). The references are used when the
// build finds them (TALVI_HAVE_XBASE64, TALVI_HAVE_SQLITE); otherwise
// their lines say so.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "dbf/area.h"
#include "dbf/date.h"
#include "dbf/settings.h"
#include "errors/error.h"

#ifdef TALVI_HAVE_SQLITE
#include <sqlite3.h>
#endif
#ifdef TALVI_HAVE_XBASE64
#include <xbase64/xbase64.h>
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

// The median of the rounds, figure by figure (-1, a figure that could
// not be measured, when a round lacks it).
Figures Median(const std::vector<Figures>& rounds) {
  const auto median = [&rounds](double Figures::*figure) {
    std::vector<double> v;
    for (const Figures& f : rounds) {
      if (f.*figure < 0) return -1.0;
      v.push_back(f.*figure);
    }
    if (v.empty()) return 0.0;
    std::sort(v.begin(), v.end());
    const std::size_t m = v.size() / 2;
    return v.size() % 2 != 0 ? v[m] : (v[m - 1] + v[m]) / 2;
  };
  return {median(&Figures::append), median(&Figures::read), median(&Figures::update)};
}

void MakeTable(const std::string& path) {
  using talvi::dbf::Table;
  if (!Table::Create(path, {{"ID", 'N', 8, 0},
                            {"NAME", 'C', 20, 0},
                            {"QTY", 'N', 10, 2},
                            {"DAY", 'D', 8, 0},
                            {"OK", 'L', 1, 0}})) {
    std::exit(2);
  }
}

Figures Engine(const std::string& dir, long n, bool shared) {
  using namespace talvi::dbf;
  Figures f;
  const std::string path = dir + (shared ? "/BENCH.DBF" : "/EXCL.DBF");
  MakeTable(path);
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

// The shared engine's system calls alone, on a table of the same shape,
// without share-mode marks and with nothing encoded or decoded.
Figures Calls(const std::string& dir, long n) {
  Figures f;
  const std::string path = dir + "/CALLS.DBF";
  MakeTable(path);
  const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) std::exit(2);
  constexpr off_t kHeader = 32 + 5 * 32 + 1, kRecord = 1 + 8 + 20 + 10 + 8 + 1;
  constexpr off_t kLocks = 4'000'000'000;
  const auto lock = [fd](short type, off_t at) {
    struct flock fl {};
    fl.l_type = type;
    fl.l_whence = SEEK_SET;
    fl.l_start = at;
    fl.l_len = 1;
    if (::fcntl(fd, F_OFD_SETLK, &fl) != 0) std::exit(8);
  };
  char prefix[32];
  char record[kRecord + 1];
  std::memset(record, ' ', sizeof record);
  record[kRecord] = '\x1A';
  const auto at = [](long i) { return kHeader + (i - 1) * kRecord; };
  bool ok = true;
  auto t = Clock::now();
  for (long i = 1; i <= n; ++i) {
    lock(F_WRLCK, kLocks);
    ok &= ::pread(fd, prefix, sizeof prefix, 0) == sizeof prefix;
    lock(F_WRLCK, kLocks + i);
    ok &= ::pwrite(fd, record, kRecord + 1, at(i)) == kRecord + 1;
    ok &= ::pwrite(fd, prefix + 1, 7, 1) == 7;
    lock(F_UNLCK, kLocks);
    ok &= ::pwrite(fd, record, kRecord, at(i)) == kRecord;
    lock(F_UNLCK, kLocks + i);
  }
  f.append = Micros(t, n);
  t = Clock::now();
  for (long i = 1; i <= n; ++i) ok &= ::pread(fd, record, kRecord, at(i)) == kRecord;
  f.read = Micros(t, n);
  t = Clock::now();
  for (long i = 1; i <= n; ++i) {
    lock(F_WRLCK, kLocks + i);
    ok &= ::pread(fd, prefix, sizeof prefix, 0) == sizeof prefix;
    ok &= ::pread(fd, record, kRecord, at(i)) == kRecord;
    ok &= ::pwrite(fd, record, kRecord, at(i)) == kRecord;
    lock(F_UNLCK, kLocks + i);
  }
  f.update = Micros(t, n);
  ::close(fd);
  if (!ok) std::exit(9);
  return f;
}

#ifdef TALVI_HAVE_SQLITE
Figures Sqlite(const std::string& dir, long n) {
  Figures f;
  sqlite3* db = nullptr;
  const std::string path = dir + "/bench.sqlite";
  std::filesystem::remove(path);
  sqlite3_open(path.c_str(), &db);
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

#ifdef TALVI_HAVE_XBASE64
// libxbase64 on `filled`, a table of n records that the engine wrote. The
// appends go to a table of their own, also made by the engine: with the
// installed headers, CreateDatabase of the Debian build writes field
// lengths of 0. Its AppendRecord has been seen to fail (a seek to a wild
// offset, from a record count that NoOfRecords() also gets wrong); the
// append figure is then missing (-1) and the code of the failure printed.
Figures Xbase(const std::string& dir, const std::string& filled, long n) {
  Figures f;
  xbXBase x;
  {
    xbDbf d(&x);
    const std::string path = dir + "/XBASE.DBF";
    MakeTable(path);
    if (d.OpenDatabase(path.c_str()) != XB_NO_ERROR) std::exit(5);
    const auto t = Clock::now();
    for (long i = 1; i <= n; ++i) {
      d.BlankRecord();
      d.PutLongField(d.GetFieldNo("ID"), i);
      d.PutField(d.GetFieldNo("NAME"), ("name " + std::to_string(i)).c_str());
      d.PutDoubleField(d.GetFieldNo("QTY"), static_cast<double>(i % 1000) / 4);
      d.PutField(d.GetFieldNo("DAY"), "20240101");
      d.PutField(d.GetFieldNo("OK"), (i & 1) != 0 ? "T" : "F");
      if (const xbShort rc = d.AppendRecord(); rc != XB_NO_ERROR) {
        std::printf("xbase64    AppendRecord fails with %d: no append figure\n", rc);
        f.append = -1;
        break;
      }
    }
    if (f.append == 0) f.append = Micros(t, n);
    d.CloseDatabase();
  }
  xbDbf d(&x);
  if (d.OpenDatabase(filled.c_str()) != XB_NO_ERROR) std::exit(5);
  const xbShort id = d.GetFieldNo("ID"), name = d.GetFieldNo("NAME"), qty = d.GetFieldNo("QTY"),
                day = d.GetFieldNo("DAY"), ok = d.GetFieldNo("OK");
  auto t = Clock::now();
  double sum = 0;
  char buf[32];
  t = Clock::now();
  for (long i = 1; i <= n; ++i) {
    d.GetRecord(static_cast<xbULong>(i));
    d.GetField(name, buf);
    d.GetField(day, buf);
    sum += static_cast<double>(d.GetLongField(id)) + d.GetDoubleField(qty) +
           static_cast<double>(std::strlen(buf)) + (d.GetLogicalField(ok) != 0 ? 1 : 0);
  }
  f.read = Micros(t, n);
  t = Clock::now();
  for (long i = 1; i <= n; ++i) {
    const auto r = static_cast<xbULong>(i);
    d.GetRecord(r);
    d.PutDoubleField(qty, static_cast<double>(i % 777) / 2);
    if (d.PutRecord(r) != XB_NO_ERROR) std::exit(7);
  }
  f.update = Micros(t, n);
  d.CloseDatabase();
  if (sum == 0) std::puts("");
  return f;
}
#endif

// A figure of -1 is one the reference could not produce.
void Row(const char* who, const Figures& f) {
  std::printf("%-10s append %6.2f us   read %6.2f us   update %6.2f us\n", who, f.append, f.read,
              f.update);
}

void Ratio(const char* who, const Figures& ref, const char* which, const Figures& engine) {
  const auto r = [](double a, double b) { return a < 0 ? 0.0 : a / b; };
  std::printf("%-10s append %6.2fx   read %6.2fx   update %6.2fx   (%s time / %s time)\n", "ratio",
              r(ref.append, engine.append), r(ref.read, engine.read), r(ref.update, engine.update),
              who, which);
}

}  // namespace

int main(int argc, char** argv) {
  const long n = argc > 1 ? std::atol(argv[1]) : 1'000'000;
  const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 1;
  talvi::errors::SetHandler([](const talvi::errors::Error& e) {
    std::fprintf(stderr, "error %d/%d %s\n", e.GENCODE, e.SUBCODE.value_or(0),
                 e.DESCRIPTION ? e.DESCRIPTION->c_str() : "");
    return talvi::errors::Answer::Default();
  });
  char tmpl[] = "/tmp/talvi-bench-XXXXXX";
  const std::string dir = ::mkdtemp(tmpl);
  std::printf("%ld records, 5 fields (N8, C20, N10.2, D, L), %d round(s), in %s\n", n, rounds,
              dir.c_str());
  std::vector<Figures> engine, exclusive, calls, xbase, sql;
  for (int round = 0; round < rounds; ++round) {
    engine.push_back(Engine(dir, n, true));
    exclusive.push_back(Engine(dir, n, false));
    calls.push_back(Calls(dir, n));
#ifdef TALVI_HAVE_XBASE64
    xbase.push_back(Xbase(dir, dir + "/EXCL.DBF", n));
#endif
#ifdef TALVI_HAVE_SQLITE
    sql.push_back(Sqlite(dir, n));
#endif
  }
  const Figures shared = Median(engine), alone = Median(exclusive);
  Row("engine", shared);
  Row("exclusive", alone);
  Row("calls", Median(calls));
#ifdef TALVI_HAVE_XBASE64
  Row("xbase64", Median(xbase));
  Ratio("xbase64", Median(xbase), "engine", shared);
  Ratio("xbase64", Median(xbase), "exclusive", alone);
#else
  std::puts("xbase64    not built (libxbase64-dev missing)");
#endif
#ifdef TALVI_HAVE_SQLITE
  Row("sqlite", Median(sql));
  Ratio("sqlite", Median(sql), "engine", shared);
  Ratio("sqlite", Median(sql), "exclusive", alone);
#else
  std::puts("sqlite     not built (libsqlite3-dev missing)");
#endif
  std::filesystem::remove_all(dir);
  return 0;
}
