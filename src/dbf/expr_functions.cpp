// SPDX-License-Identifier: MIT
// The functions that key and condition expressions use.
#include <cctype>
#include <cmath>
#include <cstdio>
#include <map>

#include "dbf/areas.h"
#include "dbf/codes.h"
#include "dbf/date.h"
#include "dbf/expr.h"
#include "dbf/settings.h"

namespace talvi::dbf {
namespace {

using Args = std::vector<Value>;

Value Bad(const CallContext& ctx) {
  return RaiseExprError(kGenArg, "Argument error", ctx.name);
}

bool Num(const Args& a, std::size_t i) {
  return i < a.size() && a[i].IsNumeric();
}
bool Chr(const Args& a, std::size_t i) {
  return i < a.size() && a[i].IsCharacter();
}
bool Dat(const Args& a, std::size_t i) {
  return i < a.size() && a[i].IsDate();
}
bool Given(const Args& a, std::size_t i) {
  return i < a.size() && !a[i].IsNil();
}

std::int64_t Int(const Value& v) {
  const double n = v.num();
  if (!std::isfinite(n)) return 0;
  return static_cast<std::int64_t>(std::clamp(n, -1e15, 1e15));
}

std::size_t Count(const Value& v) {
  return static_cast<std::size_t>(std::max<std::int64_t>(0, Int(v)));
}

// The width and decimals STR uses when it is not told: the field's width,
// else 10 digits, plus the decimals the value carries.
int DefaultDecimals(const Value& v) {
  if (v.decimals() >= 0) return v.decimals();
  return v.num() == std::floor(v.num()) ? 0 : 2;
}

int DefaultWidth(const Value& v, int decimals) {
  if (v.width() > 0) return v.width();
  return decimals > 0 ? 11 + decimals : 10;
}

std::string Str(const Args& a) {
  const Value& v = a[0];
  int decimals = DefaultDecimals(v);
  int width = DefaultWidth(v, decimals);
  if (Num(a, 1)) {
    width = static_cast<int>(std::clamp<std::int64_t>(Int(a[1]), 0, 255));
    decimals = Num(a, 2) ? static_cast<int>(std::clamp<std::int64_t>(Int(a[2]), 0, 15)) : 0;
  }
  return NumberText(v.num(), width, decimals);
}

std::string Case(std::string s, bool upper) {
  for (char& c : s) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x80) c = static_cast<char>(upper ? std::toupper(u) : std::tolower(u));
  }
  return s;
}

std::string AsText(const Value& v) {
  switch (v.type()) {
    case Value::Type::kCharacter: return v.str();
    case Value::Type::kNumeric: {
      const int d = DefaultDecimals(v);
      std::string s = NumberText(v.num(), DefaultWidth(v, d), d);
      return s.substr(s.find_first_not_of(' ') == std::string::npos ? 0 : s.find_first_not_of(' '));
    }
    case Value::Type::kDate: return DateText(v.date());
    case Value::Type::kLogical: return v.logical() ? "T" : "F";
    case Value::Type::kNil: return "";
  }
  return "";
}

Value Pad(const CallContext& ctx, const Args& a, char where) {
  if (a.empty() || !Num(a, 1)) return Bad(ctx);
  const std::string s = AsText(a[0]);
  const std::size_t n = Count(a[1]);
  if (n > kLongestText) return RaiseStringOverflow(ctx.name);
  const char fill = Chr(a, 2) && !a[2].str().empty() ? a[2].str()[0] : ' ';
  if (s.size() >= n)
    return Value::Character(where == 'L' ? s.substr(s.size() - n) : s.substr(0, n));
  const std::size_t gap = n - s.size();
  if (where == 'R') return Value::Character(s + std::string(gap, fill));
  if (where == 'L') return Value::Character(std::string(gap, fill) + s);
  return Value::Character(std::string(gap / 2, fill) + s + std::string(gap - gap / 2, fill));
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

}  // namespace

std::string NumberText(double n, int width, int decimals) {
  if (!std::isfinite(n)) return std::string(static_cast<std::size_t>(std::max(width, 0)), '*');
  char buf[400];
  const int w = std::snprintf(buf, sizeof buf, "%.*f", decimals, n);
  std::string s(buf, static_cast<std::size_t>(std::max(w, 0)));
  if (s.find_first_not_of("-0.") == std::string::npos && s[0] == '-') s.erase(0, 1);
  if (static_cast<int>(s.size()) > width) return std::string(static_cast<std::size_t>(width), '*');
  return std::string(static_cast<std::size_t>(width) - s.size(), ' ') + s;
}

std::string DateText(std::int32_t jd) {
  std::string f = Engine().date_format;
  const bool empty = jd <= 0;
  const Ymd d = empty ? Ymd{} : FromJulianDay(jd);
  const auto put = [&](const char* token, int value) {
    const std::size_t at = f.find(token);
    if (at == std::string::npos) return;
    const std::size_t len = std::string_view(token).size();
    std::string digits = std::to_string(value % (len == 2 ? 100 : 10000));
    digits = std::string(len > digits.size() ? len - digits.size() : 0, '0') + digits;
    f.replace(at, len, empty ? std::string(len, ' ') : digits);
  };
  put("yyyy", d.year);
  put("yy", d.year);
  put("mm", d.month);
  put("dd", d.day);
  return f;
}

std::int32_t ParseDateText(std::string_view text) {
  // The fields in the order the format gives them, any separators.
  const std::string& f = Engine().date_format;
  const std::size_t yp = f.find('y');
  const std::size_t mp = f.find('m');
  const std::size_t dp = f.find('d');
  int parts[3] = {0, 0, 0};
  int digits[3] = {0, 0, 0};
  int k = 0;
  for (char c : text) {
    if (std::isdigit(static_cast<unsigned char>(c))) {
      if (k < 3) {
        parts[k] = parts[k] * 10 + (c - '0');
        ++digits[k];
      }
    } else if (k < 3 && digits[k] > 0) {
      ++k;
    }
  }
  int order[3] = {0, 1, 2};  // which part is year, month, day
  const std::size_t pos[3] = {yp, mp, dp};
  for (int i = 0; i < 3; ++i) {
    int rank = 0;
    for (int j = 0; j < 3; ++j) rank += pos[j] < pos[i] ? 1 : 0;
    order[i] = rank;
  }
  int year = parts[order[0]];
  if (digits[order[0]] <= 2 && digits[order[0]] > 0) {
    const int epoch = Engine().epoch;
    year += epoch / 100 * 100;
    if (year < epoch) year += 100;
  }
  return JulianDay(year, parts[order[1]], parts[order[2]]);
}

void RegisterBuiltins(std::map<std::string, Routine>& t) {
  t["UPPER"] = [](CallContext& c, const Args& a) {
    return Chr(a, 0) ? Value::Character(Case(a[0].str(), true)) : Bad(c);
  };
  t["LOWER"] = [](CallContext& c, const Args& a) {
    return Chr(a, 0) ? Value::Character(Case(a[0].str(), false)) : Bad(c);
  };
  t["STR"] = [](CallContext& c, const Args& a) {
    return Num(a, 0) ? Value::Character(Str(a)) : Bad(c);
  };
  t["STRZERO"] = [](CallContext& c, const Args& a) {
    if (!Num(a, 0)) return Bad(c);
    std::string s = Str(a);
    if (s.find('*') != std::string::npos) return Value::Character(s);
    const bool negative = s.find('-') != std::string::npos;
    for (char& ch : s) {
      if (ch == ' ' || ch == '-') ch = '0';
    }
    if (negative) s[0] = '-';
    return Value::Character(s);
  };
  t["VAL"] = [](CallContext& c, const Args& a) {
    if (!Chr(a, 0)) return Bad(c);
    const std::string& s = a[0].str();
    std::size_t i = s.find_first_not_of(' ');
    if (i == std::string::npos) return Value::Numeric(0, 0);
    std::size_t j = i;
    if (s[j] == '-' || s[j] == '+') ++j;
    while (j < s.size() && std::isdigit(static_cast<unsigned char>(s[j]))) ++j;
    int decimals = 0;
    if (j < s.size() && s[j] == '.') {
      ++j;
      while (j < s.size() && std::isdigit(static_cast<unsigned char>(s[j]))) ++j, ++decimals;
    }
    const double n = std::strtod(s.substr(i, j - i).c_str(), nullptr);
    return Value::Numeric(std::isfinite(n) ? n : 0, decimals);
  };
  t["SUBSTR"] = [](CallContext& c, const Args& a) {
    if (!Chr(a, 0) || !Num(a, 1) || (Given(a, 2) && !Num(a, 2))) return Bad(c);
    const std::string& s = a[0].str();
    std::int64_t start = Int(a[1]);
    const auto size = static_cast<std::int64_t>(s.size());
    if (start < 0)
      start = std::max<std::int64_t>(0, size + start);
    else if (start > 0)
      --start;
    if (start >= size) return Value::Character("");
    const std::size_t len = Num(a, 2) ? Count(a[2]) : std::string::npos;
    return Value::Character(s.substr(static_cast<std::size_t>(start), len));
  };
  t["LEFT"] = [](CallContext& c, const Args& a) {
    return Chr(a, 0) && Num(a, 1) ? Value::Character(a[0].str().substr(0, Count(a[1]))) : Bad(c);
  };
  t["RIGHT"] = [](CallContext& c, const Args& a) {
    if (!Chr(a, 0) || !Num(a, 1)) return Bad(c);
    const std::string& s = a[0].str();
    const std::size_t n = std::min(Count(a[1]), s.size());
    return Value::Character(s.substr(s.size() - n));
  };
  const Routine rtrim = [](CallContext& c, const Args& a) {
    if (!Chr(a, 0)) return Bad(c);
    const std::string& s = a[0].str();
    const std::size_t end = s.find_last_not_of(' ');
    return Value::Character(end == std::string::npos ? "" : s.substr(0, end + 1));
  };
  t["TRIM"] = rtrim;
  t["RTRIM"] = rtrim;
  t["LTRIM"] = [](CallContext& c, const Args& a) {
    if (!Chr(a, 0)) return Bad(c);
    const std::string& s = a[0].str();
    const std::size_t start = s.find_first_not_of(' ');
    return Value::Character(start == std::string::npos ? "" : s.substr(start));
  };
  t["ALLTRIM"] = [](CallContext& c, const Args& a) {
    if (!Chr(a, 0)) return Bad(c);
    const std::string& s = a[0].str();
    const std::size_t start = s.find_first_not_of(' ');
    if (start == std::string::npos) return Value::Character("");
    return Value::Character(s.substr(start, s.find_last_not_of(' ') - start + 1));
  };
  t["PADL"] = [](CallContext& c, const Args& a) { return Pad(c, a, 'L'); };
  t["PADR"] = [](CallContext& c, const Args& a) { return Pad(c, a, 'R'); };
  t["PADC"] = [](CallContext& c, const Args& a) { return Pad(c, a, 'C'); };
  t["SPACE"] = [](CallContext& c, const Args& a) {
    if (!Num(a, 0)) return Bad(c);
    if (Count(a[0]) > kLongestText) return RaiseStringOverflow(c.name);
    return Value::Character(std::string(Count(a[0]), ' '));
  };
  t["REPLICATE"] = [](CallContext& c, const Args& a) {
    if (!Chr(a, 0) || !Num(a, 1)) return Bad(c);
    const std::size_t n = Count(a[1]);
    if (!a[0].str().empty() && n > kLongestText / a[0].str().size())
      return RaiseStringOverflow(c.name);
    std::string out;
    for (std::size_t i = 0; i < n; ++i) out += a[0].str();
    return Value::Character(out);
  };
  t["LEN"] = [](CallContext& c, const Args& a) {
    return Chr(a, 0) ? Value::Numeric(static_cast<double>(a[0].str().size()), 0) : Bad(c);
  };
  t["EMPTY"] = [](CallContext&, const Args& a) {
    if (a.empty()) return Value::Logical(true);
    const Value& v = a[0];
    switch (v.type()) {
      case Value::Type::kCharacter:
        for (char ch : v.str()) {
          if (!IsBlank(ch)) return Value::Logical(false);
        }
        return Value::Logical(true);
      case Value::Type::kNumeric: return Value::Logical(v.num() == 0);
      case Value::Type::kDate: return Value::Logical(v.date() <= 0);
      case Value::Type::kLogical: return Value::Logical(!v.logical());
      case Value::Type::kNil: return Value::Logical(true);
    }
    return Value::Logical(true);
  };
  t["DTOS"] = [](CallContext& c, const Args& a) {
    return Dat(a, 0) ? Value::Character(Dtos(a[0].date())) : Bad(c);
  };
  t["DTOC"] = [](CallContext& c, const Args& a) {
    return Dat(a, 0) ? Value::Character(DateText(a[0].date())) : Bad(c);
  };
  t["CTOD"] = [](CallContext& c, const Args& a) {
    return Chr(a, 0) ? Value::Date(ParseDateText(a[0].str())) : Bad(c);
  };
  t["DATE"] = [](CallContext&, const Args&) { return Value::Date(Today()); };
  const auto part = [](int which) {
    return [which](CallContext& c, const Args& a) {
      if (!Dat(a, 0)) return Bad(c);
      if (a[0].date() <= 0) return Value::Numeric(0, 0);
      const Ymd d = FromJulianDay(a[0].date());
      return Value::Numeric(which == 0 ? d.year : which == 1 ? d.month : d.day, 0);
    };
  };
  t["YEAR"] = part(0);
  t["MONTH"] = part(1);
  t["DAY"] = part(2);
  t["DELETED"] = [](CallContext& c, const Args&) {
    WorkArea& w = c.areas.Current();
    return Value::Logical(w.used() && !w.Eof() && w.Deleted());
  };
  t["RECNO"] = [](CallContext& c, const Args&) {
    WorkArea& w = c.areas.Current();
    return Value::Numeric(w.used() ? w.RecNo() : 0, 0);
  };
}

}  // namespace talvi::dbf
