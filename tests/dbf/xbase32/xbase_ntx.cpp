// SPDX-License-Identifier: MIT
// A 32-bit program around Debian's libxbase64 (its i386 build: the amd64
// one reads the files' 4-byte integers into 8-byte longs), so that NTX
// files pass between the engine and a library nobody here wrote.
//
//   xbase_ntx make  TABLE INDEX RECORDS   a table NAME C(10), NUM N(10) of
//                                         RECORDS records, INDEX on NAME
//   xbase_ntx walk  TABLE INDEX           "recno key" per entry, in the
//                                         order libxbase64 walks INDEX
//   xbase_ntx find  TABLE INDEX           seeks every record's NAME
//                                         through INDEX, "recno
//                                         found-recno" per record
//   xbase_ntx bench RECORDS DIR           the work of bench_index, one
//                                         line of figures
//
// Keys are those of bench_index: record i has NAME "K" + nine digits of
// (i * 7919) mod 1000003 and NUM (i * 104729) mod 1000033. Exit status 0
// on success, 1 with the library's code on stderr otherwise.
#include <xbase64/xbase64.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;

std::string Name(long i) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "K%09ld", static_cast<long>((i * 7919LL) % 1000003));
  return buf;
}

std::string Num(long i) {
  return std::to_string(static_cast<long>((i * 104729LL) % 1000033));
}

int Fail(const char* what, int code) {
  std::fprintf(stderr, "xbase_ntx: %s: libxbase64 code %d\n", what, code);
  return 1;
}

int Append(xbDbf& d, long from, long to) {
  for (long i = from; i <= to; ++i) {
    d.BlankRecord();
    d.PutField("NAME", Name(i).c_str());
    d.PutField("NUM", Num(i).c_str());
    if (const int rc = d.AppendRecord(); rc != XB_NO_ERROR) return Fail("AppendRecord", rc);
  }
  return 0;
}

int Make(const char* table, const char* index, long records) {
  xbXBase x;
  xbDbf d(&x);
  xbSchema fields[] = {{"NAME", XB_CHAR_FLD, 10, 0}, {"NUM", XB_NUMERIC_FLD, 10, 0}, {"", 0, 0, 0}};
  if (const int rc = d.CreateDatabase(table, fields, XB_OVERLAY)) return Fail("CreateDatabase", rc);
  xbNtx n(&d);
  if (const int rc = n.CreateIndex(index, "NAME", XB_NOT_UNIQUE, XB_OVERLAY)) {
    return Fail("CreateIndex", rc);
  }
  const int rc = Append(d, 1, records);
  d.CloseDatabase();
  return rc;
}

// Opens TABLE with INDEX; `run` does the work.
template <typename Run>
int WithIndex(const char* table, const char* index, Run run) {
  xbXBase x;
  xbDbf d(&x);
  if (const int rc = d.OpenDatabase(table)) return Fail("OpenDatabase", rc);
  xbNtx n(&d);
  if (const int rc = n.OpenIndex(index)) return Fail("OpenIndex", rc);
  const int rc = run(d, n);
  d.CloseDatabase();
  return rc;
}

int Walk(xbDbf& d, xbNtx& n) {
  char key[512];
  int rc = n.GetFirstKey();
  for (; rc == XB_NO_ERROR; rc = n.GetNextKey()) {
    std::memset(key, 0, sizeof key);
    n.GetCurrentKey(key);
    std::printf("%ld %s\n", static_cast<long>(d.GetCurRecNo()), key);
  }
  return rc == XB_EOF ? 0 : Fail("GetNextKey", rc);
}

int Find(xbDbf& d, xbNtx& n) {
  const long records = d.NoOfRecords();
  for (long r = 1; r <= records; ++r) {
    if (const int rc = d.GetRecord(r)) return Fail("GetRecord", rc);
    const std::string name = d.GetField("NAME");
    const int rc = n.FindKey(name.c_str());
    std::printf("%ld %ld\n", r, rc == XB_FOUND ? static_cast<long>(d.GetCurRecNo()) : 0L);
  }
  return 0;
}

double Micros(Clock::time_point start, long n) {
  return std::chrono::duration<double, std::micro>(Clock::now() - start).count() /
         static_cast<double>(n);
}

int Bench(long records, const std::string& dir) {
  const std::string table = dir + "/XB.DBF";
  {
    xbXBase x;
    xbDbf d(&x);
    xbSchema fields[] = {
        {"NAME", XB_CHAR_FLD, 10, 0}, {"NUM", XB_NUMERIC_FLD, 10, 0}, {"", 0, 0, 0}};
    if (const int rc = d.CreateDatabase(table.c_str(), fields, XB_OVERLAY)) {
      return Fail("CreateDatabase", rc);
    }
    if (const int rc = Append(d, 1, records)) return rc;
    d.CloseDatabase();
  }
  xbXBase x;
  xbDbf d(&x);
  if (const int rc = d.OpenDatabase(table.c_str())) return Fail("OpenDatabase", rc);
  xbNtx byName(&d), byNum(&d);
  auto t = Clock::now();
  if (const int rc =
          byName.CreateIndex((dir + "/XBNAME.NTX").c_str(), "NAME", XB_NOT_UNIQUE, XB_OVERLAY) ||
          byName.ReIndex()) {
    return Fail("ReIndex NAME", rc);
  }
  const double buildChar = Micros(t, records);
  t = Clock::now();
  if (const int rc =
          byNum.CreateIndex((dir + "/XBNUM.NTX").c_str(), "NUM", XB_NOT_UNIQUE, XB_OVERLAY) ||
          byNum.ReIndex()) {
    return Fail("ReIndex NUM", rc);
  }
  const double buildNum = Micros(t, records);
  std::mt19937 rng(1);
  long found = 0;
  t = Clock::now();
  for (long i = 0; i < records; ++i) {
    const std::string k = Name(1 + static_cast<long>(rng() % static_cast<unsigned>(records)));
    found += byName.FindKey(k.c_str()) == XB_FOUND ? 1 : 0;
  }
  const double seek = Micros(t, records);
  long seen = 0;
  t = Clock::now();
  for (int rc = byName.GetFirstKey(); rc == XB_NO_ERROR; rc = byName.GetNextKey()) ++seen;
  // Per entry walked: its walk stops short (see src/dbf/README.md).
  const double scan = Micros(t, seen > 0 ? seen : 1);
  const long more = records / 10;
  t = Clock::now();
  if (const int rc = Append(d, records + 1, records + more)) return rc;
  const double append = Micros(t, more);
  d.CloseDatabase();
  std::printf("%.3f %.3f %.3f %.3f %.3f %ld %ld\n", buildChar, buildNum, seek, scan, append, found,
              seen);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string verb = argc > 1 ? argv[1] : "";
  if (verb == "make" && argc == 5) return Make(argv[2], argv[3], std::atol(argv[4]));
  if (verb == "walk" && argc == 4) return WithIndex(argv[2], argv[3], Walk);
  if (verb == "find" && argc == 4) return WithIndex(argv[2], argv[3], Find);
  if (verb == "bench" && argc == 4) return Bench(std::atol(argv[2]), argv[3]);
  std::fprintf(stderr, "usage: xbase_ntx make|walk|find|bench ... (see the source)\n");
  return 2;
}
