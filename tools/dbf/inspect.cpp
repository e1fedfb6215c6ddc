// SPDX-License-Identifier: MIT
// info, dump and check.
#include <cstdio>

#include "dbf/commands.h"
#include "dbf/csv.h"
#include "dbf/date.h"
#include "dbf/table.h"

namespace talvi::dbf::tool {
namespace {

std::string Hex(unsigned v) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "0x%02X", v & 0xFFu);
  return buf;
}

const char* VersionName(std::uint8_t v) {
  switch (v) {
    case 0x03: return "dBase III, no memo";
    case 0x83: return "dBase III with DBT memo";
    case 0x8B: return "dBase IV with DBT memo";
    case 0xF5: return "FoxPro 2 with FPT memo";
    case 0x30: return "Visual FoxPro";
    case 0x31: return "Visual FoxPro, autoincrement";
    case 0x32: return "Visual FoxPro, varchar";
    default: return "other";
  }
}

std::unique_ptr<Table> OpenForReading(const std::string& path) {
  return Table::Open(path, {.shared = true, .read_only = true});
}

std::string Trimmed(std::string_view s) {
  const std::size_t end = s.find_last_not_of(' ');
  return end == std::string_view::npos ? "" : std::string(s.substr(0, end + 1));
}

std::string Leading(std::string_view s) {
  const std::size_t start = s.find_first_not_of(' ');
  return start == std::string_view::npos ? "" : Trimmed(s.substr(start));
}

}  // namespace

int Info(const std::string& path, std::ostream& out) {
  auto t = OpenForReading(path);
  if (!t) return 2;
  const TableHeader& h = t->header();
  char date[16];
  std::snprintf(date, sizeof date, "%04d-%02d-%02d", h.year, h.month, h.day);
  out << "table: " << t->path() << "\n"
      << "version: " << Hex(h.version) << " (" << VersionName(h.version) << ")\n"
      << "last update: " << date << "\n"
      << "records: " << h.count << "\n"
      << "header length: " << h.header_length << "\n"
      << "record length: " << h.record_length << "\n"
      << "flags: " << Hex(h.flags) << "\n"
      << "code page mark: " << Hex(h.code_page) << "\n";
  if (!t->memo_path().empty()) out << "memo file: " << t->memo_path() << "\n";
  out << "fields: " << h.fields.size() << "\n";
  for (std::size_t i = 0; i < h.fields.size(); ++i) {
    const FieldDef& f = h.fields[i];
    out << "  " << i + 1 << " " << f.name << " " << f.type << " " << f.length << " "
        << static_cast<int>(f.decimals) << " @" << f.offset << "\n";
  }
  return 0;
}

int Dump(const std::string& path, std::ostream& out) {
  auto t = OpenForReading(path);
  if (!t) return 2;
  std::vector<std::string> row{"DELETED"};
  for (const auto& f : t->fields()) row.push_back(f.name);
  out << CsvLine(row);
  std::string record;
  int status = 0;
  for (std::uint32_t n = 1; n <= t->RecordCount(); ++n) {
    if (!t->ReadRecord(n, record)) return 2;
    row.assign(1, record[0] == '*' ? "*" : "");
    for (std::size_t i = 0; i < t->fields().size(); ++i) {
      const FieldDef& f = t->fields()[i];
      const int fi = static_cast<int>(i);
      const std::string_view raw = t->RawValue(record, fi);
      switch (f.type) {
        case 'C': row.push_back(Trimmed(raw)); break;
        case 'N':
        case 'F': row.push_back(Leading(raw)); break;
        case 'D': row.push_back(Leading(raw)); break;
        case 'L': {
          const Value v = t->GetValue(record, fi);
          const char c = raw.empty() ? ' ' : raw[0];
          const bool set = c != ' ' && c != '?';
          row.push_back(set ? (v.logical() ? "T" : "F") : "");
          break;
        }
        case 'M':
        case 'G':
        case 'P': {
          std::string memo;
          if (!t->ReadMemo(record, fi, memo)) status = 1;
          row.push_back(memo);
          break;
        }
        default: row.emplace_back(raw); break;
      }
    }
    out << CsvLine(row);
  }
  return status;
}

int Check(const std::string& path, std::ostream& out) {
  auto t = OpenForReading(path);
  if (!t) return 2;
  const Table::Report r = t->Check();
  for (const auto& p : r.problems) out << "problem: " << p << "\n";
  for (const auto& n : r.notes) out << "note: " << n << "\n";
  out << (r.problems.empty() ? "consistent" : "inconsistent") << ": " << t->RecordCount()
      << " records\n";
  return r.problems.empty() ? 0 : 1;
}

}  // namespace talvi::dbf::tool
