// SPDX-License-Identifier: MIT
// libFuzzer target for the readers of untrusted bytes: table headers and
// records, memo files (DBT and FPT), and the expression compiler. Every
// input must end in values or error objects: no crash, no hang, no leak.
//
// Input: byte 0 picks the reader; for tables, bytes 1-2 give the length of
// the table part, the rest is the memo file; for index files (CDX, NTX)
// the rest is the file, searched, walked and then changed.
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "dbf/area.h"
#include "dbf/cdx.h"
#include "dbf/expr.h"
#include "dbf/ntx.h"
#include "dbf/settings.h"
#include "errors/error.h"

namespace {

// Where the inputs are written as files: TALVI_FUZZ_DIR when it is set
// (the tests keep them in their build folder), else a new folder of this
// process.
std::string Folder() {
  static const std::string folder = [] {
    if (const char* given = std::getenv("TALVI_FUZZ_DIR")) {
      ::mkdir(given, 0700);
      return std::string(given);
    }
    char tmpl[] = "/tmp/talvi-fuzz-XXXXXX";
    const char* made = ::mkdtemp(tmpl);
    return std::string(made ? made : "/tmp");
  }();
  return folder;
}

void Write(const std::string& path, const std::uint8_t* data, std::size_t size) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return;
  if (size > 0) std::fwrite(data, 1, size, f);
  std::fclose(f);
}

void Tables(const std::uint8_t* data, std::size_t size, bool fox) {
  if (size < 2) return;
  const std::size_t split =
      std::min<std::size_t>(size - 2, std::size_t{data[0]} | std::size_t{data[1]} << 8);
  const std::string table = Folder() + "/F.DBF";
  Write(table, data + 2, split);
  Write(Folder() + (fox ? "/F.FPT" : "/F.DBT"), data + 2 + split, size - 2 - split);
  talvi::dbf::WorkArea area(1);
  if (!area.Use(table, "F", {.shared = true, .read_only = true})) return;
  const int fields = area.FCount();
  int visited = 0;
  for (area.GoTop(); !area.Eof() && visited < 64; area.Skip(), ++visited) {
    for (int i = 1; i <= fields; ++i) area.Get(i);
  }
  area.Skip(-3);
  area.GoBottom();
  area.table()->Check();
}

void Exercise(talvi::dbf::IndexTree& t) {
  using talvi::dbf::IndexEntry;
  using talvi::dbf::KeyProbe;
  int visited = 0;
  t.Walk([&](const IndexEntry&) { return ++visited < 4096; });
  std::optional<IndexEntry> e;
  t.SeekForward(KeyProbe{"M", 0}, false, e);
  t.SeekForward(KeyProbe{"", 0}, true, e);
  t.SeekBackward(KeyProbe{"M", 0}, true, e);
  t.SeekBackward(KeyProbe{"\xFF", 0}, false, e);
  const std::string key(t.key_size(), 'k');
  t.Insert({key, 7});
  t.Remove({key, 7});
  if (e) t.Remove(*e);
}

void Indexes(const std::uint8_t* data, std::size_t size, bool cdx) {
  const std::string path = Folder() + (cdx ? "/F.CDX" : "/F.NTX");
  Write(path, data, size);
  if (cdx) {
    auto f = talvi::dbf::CdxFile::Open(path, false, false);
    if (!f) return;
    for (const auto& t : f->tags()) Exercise(*t);
  } else {
    auto f = talvi::dbf::NtxFile::Open(path, false, false);
    if (f) Exercise(*f);
  }
}

void Expressions(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  auto e = talvi::dbf::Expression::Compile(text);
  if (e) e->Evaluate();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const bool ready = [] {
    talvi::errors::SetHandler(
        [](const talvi::errors::Error&) { return talvi::errors::Answer::Default(); });
    talvi::dbf::Engine().file_case = talvi::dbf::NameCase::kMixed;
    return true;
  }();
  (void)ready;
  if (size == 0) return 0;
  switch (data[0] % 5) {
    case 0: Tables(data + 1, size - 1, false); break;
    case 1: Tables(data + 1, size - 1, true); break;
    case 3: Indexes(data + 1, size - 1, true); break;
    case 4: Indexes(data + 1, size - 1, false); break;
    default: Expressions(data + 1, size - 1); break;
  }
  return 0;
}
