// SPDX-License-Identifier: MIT
#include "dbf/field.h"

#include <charconv>
#include <cmath>
#include <cstdlib>

#include "dbf/date.h"

namespace talvi::dbf {
namespace {

std::string_view Trim(std::string_view s) {
  const auto blank = [](char c) { return c == ' ' || c == '\0'; };
  while (!s.empty() && blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && blank(s.back())) s.remove_suffix(1);
  return s;
}

// A plain decimal number: optional sign, digits, optional point and
// digits, at least one digit. Anything else is dirty.
bool ParseNumber(std::string_view s, double& out) {
  std::size_t i = 0;
  if (i < s.size() && (s[i] == '-' || s[i] == '+')) ++i;
  std::size_t digits = 0;
  while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i, ++digits;
  if (i < s.size() && s[i] == '.') {
    ++i;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i, ++digits;
  }
  if (digits == 0 || i != s.size()) return false;
  if (s.front() == '+') s.remove_prefix(1);  // from_chars takes no plus sign
  return std::from_chars(s.data(), s.data() + s.size(), out).ec == std::errc();
}

}  // namespace

bool KnownType(char type) {
  switch (type) {
    case 'C':
    case 'N':
    case 'F':
    case 'D':
    case 'L':
    case 'M': return true;
    default: return false;
  }
}

Value DecodeField(const FieldDef& field, std::string_view raw) {
  switch (field.type) {
    case 'C': return Value::Character(std::string(raw));
    case 'N':
    case 'F': {
      double n = 0;
      if (!ParseNumber(Trim(raw), n)) n = 0;
      return Value::Numeric(n, field.decimals, field.length);
    }
    case 'D': return Value::Date(ParseDtos(raw));
    case 'L': {
      const char c = raw.empty() ? ' ' : raw[0];
      return Value::Logical(c == 'T' || c == 't' || c == 'Y' || c == 'y');
    }
    default: return Value::Character(std::string(raw));
  }
}

bool MemoPointer(std::string_view raw, std::uint32_t& block) {
  block = 0;
  if (raw.size() == 4) {
    block = static_cast<std::uint32_t>(static_cast<unsigned char>(raw[0])) |
            static_cast<std::uint32_t>(static_cast<unsigned char>(raw[1])) << 8 |
            static_cast<std::uint32_t>(static_cast<unsigned char>(raw[2])) << 16 |
            static_cast<std::uint32_t>(static_cast<unsigned char>(raw[3])) << 24;
    return true;
  }
  const std::string_view t = Trim(raw);
  std::uint64_t n = 0;
  for (char c : t) {
    if (c < '0' || c > '9') return false;
    n = n * 10 + static_cast<std::uint64_t>(c - '0');
    if (n > 0xFFFFFFFFu) return false;
  }
  block = static_cast<std::uint32_t>(n);
  return true;
}

std::string MemoPointerBytes(std::uint32_t block, std::size_t length) {
  if (length == 4) {
    std::string out(4, '\0');
    for (int i = 0; i < 4; ++i)
      out[static_cast<std::size_t>(i)] = static_cast<char>(block >> (8 * i));
    return out;
  }
  if (block == 0) return std::string(length, ' ');
  std::string digits = std::to_string(block);
  if (digits.size() > length) return std::string(length, ' ');
  return std::string(length - digits.size(), ' ') + digits;
}

Value EmptyValue(const FieldDef& field) {
  switch (field.type) {
    case 'N':
    case 'F': return Value::Numeric(0, field.decimals, field.length);
    case 'D': return Value::Date(0);
    case 'L': return Value::Logical(false);
    default: return Value::Character(std::string());
  }
}

EncodeResult EncodeField(const FieldDef& field, const Value& value, std::string& out) {
  const std::size_t len = field.length;
  switch (field.type) {
    case 'C': {
      if (value.IsNil()) {
        out.assign(len, ' ');
        return EncodeResult::kOk;
      }
      if (!value.IsCharacter()) return EncodeResult::kWrongType;
      out = value.str().substr(0, len);
      out.resize(len, ' ');
      return EncodeResult::kOk;
    }
    case 'N':
    case 'F': {
      if (value.IsNil()) {
        out.assign(len, ' ');
        return EncodeResult::kOk;
      }
      if (!value.IsNumeric()) return EncodeResult::kWrongType;
      double n = value.num();
      if (!std::isfinite(n)) return EncodeResult::kTooWide;
      const int dec = field.decimals;
      // A value that rounds to zero is written without a minus sign.
      const double scale = std::pow(10.0, dec);
      if (std::round(std::fabs(n) * scale) == 0) n = 0;
      // Exactly rounded like printf's %.*f, without its locale and stream.
      char buf[400];
      const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, n, std::chars_format::fixed, dec);
      if (ec != std::errc()) return EncodeResult::kTooWide;
      const auto w = static_cast<std::size_t>(end - buf);
      if (w > len) return EncodeResult::kTooWide;
      out.assign(len - w, ' ');
      out.append(buf, w);
      return EncodeResult::kOk;
    }
    case 'D': {
      if (value.IsNil()) {
        out.assign(len, ' ');
        return EncodeResult::kOk;
      }
      if (!value.IsDate()) return EncodeResult::kWrongType;
      out = Dtos(value.date());
      out.resize(len, ' ');
      return EncodeResult::kOk;
    }
    case 'L': {
      if (value.IsNil()) {
        out.assign(len, ' ');  // not set
        return EncodeResult::kOk;
      }
      if (!value.IsLogical()) return EncodeResult::kWrongType;
      out.assign(len, value.logical() ? 'T' : 'F');
      return EncodeResult::kOk;
    }
    default: {
      // Raw bytes for the types whose encoding the engine does not know.
      if (!value.IsCharacter()) return EncodeResult::kWrongType;
      out = value.str().substr(0, len);
      out.resize(len, '\0');
      return EncodeResult::kOk;
    }
  }
}

char TypeLetter(const Value& v) {
  switch (v.type()) {
    case Value::Type::kNil: return 'U';
    case Value::Type::kCharacter: return 'C';
    case Value::Type::kNumeric: return 'N';
    case Value::Type::kDate: return 'D';
    case Value::Type::kLogical: return 'L';
  }
  return 'U';
}

}  // namespace talvi::dbf
