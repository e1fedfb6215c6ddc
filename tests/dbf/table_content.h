// SPDX-License-Identifier: MIT
// What a table holds, as the pack tests compare it: one line per record.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "dbf/memo_impl.h"
#include "dbf/table.h"
#include "support/temp_dir.h"

namespace talvi::dbf::testing {

inline std::string Hex(std::string_view bytes) {
  static const char* digits = "0123456789abcdef";
  std::string out;
  for (char ch : bytes) {
    const auto c = static_cast<unsigned char>(ch);
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

// What a table holds, one line per record in record order: the deleted
// flag, the key field, each memo in hex (an FPT memo with its type first).
struct Content {
  std::vector<std::string> lines;
  std::vector<std::string> problems;
};

inline Content Read(const std::string& path, const std::string& key) {
  Content c;
  auto t = Table::Open(path, {.shared = true, .read_only = true});
  if (!t) {
    c.problems.push_back("does not open");
    return c;
  }
  c.problems = t->Check().problems;
  const int k = t->FieldIndex(key);
  const bool fpt = MemoKindOf(t->header()) == MemoKind::kFpt;
  const std::string memo_file = fpt ? talvi::testing::ReadBytes(t->memo_path()) : "";
  const auto bs = fpt ? static_cast<std::uint32_t>(static_cast<unsigned char>(memo_file[6]) << 8 |
                                                   static_cast<unsigned char>(memo_file[7]))
                      : 512u;
  std::string r;
  for (std::uint32_t n = 1; n <= t->RecordCount(); ++n) {
    if (!t->ReadRecord(n, r)) {
      c.problems.push_back("record " + std::to_string(n) + " does not read");
      continue;
    }
    std::string line = std::string(1, r[0]) + "|" + std::string(t->RawValue(r, k));
    for (int f = 0; f < static_cast<int>(t->fields().size()); ++f) {
      if (t->fields()[static_cast<std::size_t>(f)].type != 'M') continue;
      std::string memo;
      if (!t->ReadMemo(r, f, memo)) c.problems.push_back("memo of record " + std::to_string(n));
      line += "|";
      std::uint32_t block = 0;
      if (fpt && !memo.empty() && MemoPointer(t->RawValue(r, f), block)) {
        line += std::to_string(LoadBe32(memo_file.data() + std::size_t{block} * bs)) + ":";
      }
      line += Hex(memo);
    }
    c.lines.push_back(line);
  }
  return c;
}

}  // namespace talvi::dbf::testing
