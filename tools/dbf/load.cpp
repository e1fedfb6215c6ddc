// SPDX-License-Identifier: MIT
// load: a new table from a field list and CSV rows.
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "dbf/area.h"
#include "dbf/commands.h"
#include "dbf/csv.h"
#include "dbf/date.h"
#include "dbf/expr.h"

namespace talvi::dbf::tool {
namespace {

std::vector<std::string> Split(const std::string& s, char sep) {
  std::vector<std::string> out;
  std::string cur;
  for (char c : s) {
    if (c == sep) {
      out.push_back(cur);
      cur.clear();
    } else {
      cur += c;
    }
  }
  out.push_back(cur);
  return out;
}

bool ToInt(const std::string& s, int& out) {
  if (s.empty() || s.size() > 5) return false;
  for (char c : s) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
  }
  out = std::atoi(s.c_str());
  return true;
}

// "NAME,C,10;QTY,N,8,2;DAY,D;OK,L;NOTE,M"
bool ParseFields(const std::string& layout, std::vector<FieldDef>& fields, std::string& why) {
  for (const std::string& part : Split(layout, ';')) {
    const auto bits = Split(part, ',');
    if (bits.size() < 2 || bits[0].empty() || bits[1].size() != 1) {
      why = "field \"" + part + "\" is not NAME,TYPE[,LENGTH[,DECIMALS]]";
      return false;
    }
    FieldDef f;
    f.name = bits[0];
    f.type = static_cast<char>(std::toupper(static_cast<unsigned char>(bits[1][0])));
    int len = 0;
    int dec = 0;
    if (bits.size() > 2 && !ToInt(bits[2], len)) {
      why = "field " + f.name + ": bad length \"" + bits[2] + "\"";
      return false;
    }
    if (bits.size() > 3 && !ToInt(bits[3], dec)) {
      why = "field " + f.name + ": bad decimals \"" + bits[3] + "\"";
      return false;
    }
    if (bits.size() > 4 || len > 65535 || dec > 255) {
      why = "field \"" + part + "\" is not NAME,TYPE[,LENGTH[,DECIMALS]]";
      return false;
    }
    if ((f.type == 'C' || f.type == 'N' || f.type == 'F') && bits.size() < 3) {
      why = "field " + f.name + " needs a length";
      return false;
    }
    f.length = static_cast<std::uint16_t>(len);
    f.decimals = static_cast<std::uint8_t>(dec);
    fields.push_back(f);
  }
  return true;
}

// The value of one CSV cell for a field; false when it cannot be one.
bool CellValue(const FieldDef& f, const std::string& cell, Value& v) {
  std::string t = cell;
  while (!t.empty() && t.back() == ' ') t.pop_back();
  switch (f.type) {
    case 'N':
    case 'F': {
      const std::size_t start = t.find_first_not_of(' ');
      if (start == std::string::npos) {
        v = Value();
        return true;
      }
      char* end = nullptr;
      const double n = std::strtod(t.c_str() + start, &end);
      if (end == nullptr || *end != '\0') return false;
      v = Value::Numeric(n);
      return true;
    }
    case 'D': {
      if (t.empty()) {
        v = Value::Date(0);
        return true;
      }
      std::int32_t jd = 0;
      if (t.size() == 8) jd = ParseDtos(t);
      if (jd == 0 && t.size() == 10 && t[4] == '-' && t[7] == '-') {
        jd = ParseDtos(t.substr(0, 4) + t.substr(5, 2) + t.substr(8, 2));
      }
      if (jd == 0) jd = ParseDateText(t);
      if (jd == 0) return false;
      v = Value::Date(jd);
      return true;
    }
    case 'L': {
      std::string u;
      for (char c : t) u += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      if (u.empty()) {
        v = Value();
        return true;
      }
      if (u == "T" || u == "Y" || u == "TRUE" || u == "YES" || u == "1")
        v = Value::Logical(true);
      else if (u == "F" || u == "N" || u == "FALSE" || u == "NO" || u == "0")
        v = Value::Logical(false);
      else
        return false;
      return true;
    }
    default: v = Value::Character(cell); return true;
  }
}

}  // namespace

int Load(const std::string& path, const std::string& layout, const std::string& csv,
         std::ostream& out) {
  std::vector<FieldDef> fields;
  std::string why;
  if (!ParseFields(layout, fields, why)) {
    out << "talvi-dbf: " << why << "\n";
    return 1;
  }
  std::ifstream in(csv, std::ios::binary);
  if (!in) {
    out << "talvi-dbf: cannot read " << csv << "\n";
    return 2;
  }
  std::ostringstream text;
  text << in.rdbuf();
  std::vector<std::vector<std::string>> rows;
  std::size_t line = 0;
  if (!ParseCsv(text.str(), rows, line)) {
    out << "talvi-dbf: " << csv << ":" << line << ": not valid CSV\n";
    return 1;
  }
  // A first row that names the fields is a heading.
  std::size_t first = 0;
  if (!rows.empty() && rows[0].size() == fields.size()) {
    bool heading = true;
    for (std::size_t i = 0; i < fields.size() && heading; ++i) {
      std::string a = rows[0][i];
      std::string b = fields[i].name;
      for (char& c : a) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      for (char& c : b) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      heading = a == b;
    }
    if (heading) first = 1;
  }
  if (!Table::Create(path, fields)) return 2;
  WorkArea area(1);
  if (!area.Use(path, "LOAD", {.shared = false, .read_only = false})) return 2;
  for (std::size_t r = first; r < rows.size(); ++r) {
    if (rows[r].size() != fields.size()) {
      out << "talvi-dbf: " << csv << ": row " << r + 1 << " has " << rows[r].size()
          << " fields, not " << fields.size() << "\n";
      return 1;
    }
    if (!area.AppendBlank()) return 2;
    for (std::size_t i = 0; i < fields.size(); ++i) {
      Value v;
      if (!CellValue(area.table()->fields()[i], rows[r][i], v)) {
        out << "talvi-dbf: " << csv << ": row " << r + 1 << ", field " << fields[i].name << ": \""
            << rows[r][i] << "\" is not a value of type " << fields[i].type << "\n";
        return 1;
      }
      // An empty cell leaves the field blank.
      if (!v.IsNil() && !area.Put(static_cast<int>(i) + 1, v)) return 1;
    }
  }
  if (!area.Commit()) return 2;
  out << "loaded " << rows.size() - first << " records into " << area.table()->path() << "\n";
  return 0;
}

}  // namespace talvi::dbf::tool
