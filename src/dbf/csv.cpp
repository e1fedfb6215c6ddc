// SPDX-License-Identifier: MIT
#include "dbf/csv.h"

namespace talvi::dbf {

std::string CsvLine(const std::vector<std::string>& fields) {
  std::string out;
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (i > 0) out += ',';
    const std::string& f = fields[i];
    if (f.find_first_of(",\"\r\n") == std::string::npos) {
      out += f;
      continue;
    }
    out += '"';
    for (char c : f) {
      if (c == '"') out += '"';
      out += c;
    }
    out += '"';
  }
  out += "\r\n";
  return out;
}

bool ParseCsv(std::string_view text, std::vector<std::vector<std::string>>& rows,
              std::size_t& line) {
  rows.clear();
  line = 1;
  std::vector<std::string> row;
  std::string field;
  std::size_t i = 0;
  bool any = false;  // something seen on the current record
  while (i < text.size()) {
    const char c = text[i];
    if (c == '"' && field.empty()) {
      // A quoted field runs to the quote that is not doubled.
      const std::size_t start_line = line;
      ++i;
      for (;;) {
        if (i >= text.size()) {
          line = start_line;
          return false;
        }
        if (text[i] == '"') {
          if (i + 1 < text.size() && text[i + 1] == '"') {
            field += '"';
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        if (text[i] == '\n') ++line;
        field += text[i++];
      }
      any = true;
      if (i < text.size() && text[i] != ',' && text[i] != '\r' && text[i] != '\n') return false;
      continue;
    }
    if (c == ',') {
      row.push_back(std::move(field));
      field.clear();
      any = true;
      ++i;
      continue;
    }
    if (c == '\r' || c == '\n') {
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      ++i;
      if (any || !field.empty()) {
        row.push_back(std::move(field));
        rows.push_back(std::move(row));
      }
      row.clear();
      field.clear();
      any = false;
      ++line;
      continue;
    }
    if (c == '"') return false;
    field += c;
    any = true;
    ++i;
  }
  if (any || !field.empty()) {
    row.push_back(std::move(field));
    rows.push_back(std::move(row));
  }
  return true;
}

}  // namespace talvi::dbf
