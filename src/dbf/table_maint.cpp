// SPDX-License-Identifier: MIT
// The consistency check (pack and zap: table_pack.cpp).
#include <algorithm>
#include <map>

#include "dbf/codes.h"
#include "dbf/raise.h"
#include "dbf/table.h"

namespace talvi::dbf {
namespace {

bool IsMemo(const FieldDef& f) {
  return f.type == 'M' || f.type == 'G' || f.type == 'P';
}

}  // namespace

Table::Report Table::Check() {
  Report rep;
  rep.notes = header_.notes;
  RefreshHeader();
  file_size_ = std::max<std::int64_t>(file_->Size(), 0);
  const std::uint64_t body =
      header_.header_length + std::uint64_t{header_.count} * header_.record_length;
  const auto size = static_cast<std::uint64_t>(file_size_);
  if (size < body) {
    rep.problems.push_back("record count " + std::to_string(header_.count) +
                           " runs past the end of the file (" + std::to_string(RecordsInFile()) +
                           " whole records present)");
  } else if (size == body) {
    rep.notes.push_back("no 0x1A end byte after the last record");
  } else {
    char c = 0;
    file_->ReadAt(body, &c, 1);
    if (c != '\x1A') {
      // What an append cut off between the record and its count leaves;
      // the next append writes over it.
      rep.notes.push_back(std::to_string(size - body) +
                          " bytes after the last counted record (an append that did not finish?)");
    } else if (size > body + 1) {
      rep.notes.push_back(std::to_string(size - body - 1) + " more bytes after the 0x1A end byte");
    }
  }
  bool length_ok = true;
  std::uint32_t sum = 1;
  for (const auto& f : header_.fields) sum += f.length;
  if (sum != header_.record_length) length_ok = false;
  for (const auto& n : header_.notes) {
    if (n.rfind("record length", 0) == 0) rep.problems.push_back(n);
  }
  std::erase_if(rep.notes, [](const std::string& n) { return n.rfind("record length", 0) == 0; });
  if (!length_ok) return rep;

  // Deleted flags and memo chains, record by record.
  std::map<std::uint32_t, std::uint32_t> extents;  // start block -> end block
  std::string record(header_.record_length, '\0');
  const std::uint32_t count = RecordCount();
  const std::uint32_t next_free = memo_ ? memo_->NextFree() : 0;
  for (std::uint32_t r = 1; r <= count; ++r) {
    if (file_->ReadAt(RecordOffset(r), record.data(), record.size()) !=
        static_cast<std::int64_t>(record.size())) {
      rep.problems.push_back("record " + std::to_string(r) + " cannot be read");
      break;
    }
    if (record[0] != ' ' && record[0] != '*') {
      rep.problems.push_back("record " + std::to_string(r) +
                             ": deleted flag is neither ' ' nor '*'");
    }
    for (std::size_t i = 0; i < header_.fields.size(); ++i) {
      const FieldDef& f = header_.fields[i];
      if (!IsMemo(f)) continue;
      std::uint32_t block = 0;
      const std::string where = "record " + std::to_string(r) + " field " + f.name;
      if (!MemoPointer(RawValue(record, static_cast<int>(i)), block)) {
        rep.problems.push_back(where + ": memo pointer is not a number");
        continue;
      }
      if (block == 0) continue;
      if (!memo_) {
        rep.problems.push_back(where + ": memo pointer without a memo file");
        continue;
      }
      const std::uint32_t end =
          memo_->EndBlock(block, [this](std::uint32_t b) { return NextMemoStart(b); });
      if (end == 0) {
        rep.problems.push_back(where + ": memo at block " + std::to_string(block) +
                               " cannot be read");
        continue;
      }
      if (next_free != 0 && block >= next_free) {
        rep.problems.push_back(where + ": memo at block " + std::to_string(block) +
                               " lies at or after the next free block " +
                               std::to_string(next_free));
      }
      auto [it, fresh] = extents.emplace(block, end);
      if (!fresh)
        rep.problems.push_back(where + ": memo block " + std::to_string(block) +
                               " is shared with another field");
    }
  }
  std::uint32_t reach = 0;
  std::uint32_t reach_start = 0;
  for (const auto& [start, end] : extents) {
    if (start < reach) {
      rep.problems.push_back("memo at block " + std::to_string(start) +
                             " overlaps the memo at block " + std::to_string(reach_start));
    }
    if (end > reach) {
      reach = end;
      reach_start = start;
    }
  }
  return rep;
}

}  // namespace talvi::dbf
