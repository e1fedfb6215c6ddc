// SPDX-License-Identifier: MIT
#include "dbf/field.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>

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
  const bool negative = !s.empty() && s[0] == '-';
  if (i < s.size() && (s[i] == '-' || s[i] == '+')) ++i;
  std::uint64_t mantissa = 0;  // the digits without the point (wraps beyond 19 digits, unused then)
  std::size_t digits = 0, decimals = 0;
  const auto digit = [&] {
    if (i >= s.size() || s[i] < '0' || s[i] > '9') return false;
    mantissa = mantissa * 10 + static_cast<std::uint64_t>(s[i++] - '0');
    ++digits;
    return true;
  };
  while (digit()) {
  }
  if (i < s.size() && s[i] == '.') {
    ++i;
    while (digit()) ++decimals;
  }
  if (digits == 0 || i != s.size()) return false;
  // Up to 15 digits the mantissa and the power of ten are exact doubles,
  // and one division rounds correctly: the value from_chars gives, faster.
  static constexpr double kPow10[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                      1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
  if (digits <= 15) {
    out = static_cast<double>(mantissa) / kPow10[decimals];
    if (negative) out = -out;
    return true;
  }
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

EncodeResult EncodeField(const FieldDef& field, const Value& value, char* out) {
  const std::size_t len = field.length;
  // Bytes cut or padded to the field's length.
  const auto put = [out, len](std::string_view bytes, char pad) {
    const std::size_t n = std::min(bytes.size(), len);
    std::memcpy(out, bytes.data(), n);
    std::memset(out + n, pad, len - n);
  };
  if (value.IsNil() && KnownType(field.type)) {
    std::memset(out, ' ', len);  // the empty value; a logical not set
    return EncodeResult::kOk;
  }
  switch (field.type) {
    case 'C':
      if (!value.IsCharacter()) return EncodeResult::kWrongType;
      put(value.str(), ' ');
      return EncodeResult::kOk;
    case 'N':
    case 'F': {
      if (!value.IsNumeric()) return EncodeResult::kWrongType;
      double n = value.num();
      if (!std::isfinite(n)) return EncodeResult::kTooWide;
      const int dec = field.decimals;
      // A value that rounds to zero is written without a minus sign.
      static constexpr double kScale[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9, 1e10};
      const double scale = dec <= 10 ? kScale[dec] : std::pow(10.0, dec);
      if (std::round(std::fabs(n) * scale) == 0) n = 0;
      // Exactly rounded like printf's %.*f, without its locale and stream.
      char buf[400];
      const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, n, std::chars_format::fixed, dec);
      if (ec != std::errc()) return EncodeResult::kTooWide;
      const auto w = static_cast<std::size_t>(end - buf);
      if (w > len) return EncodeResult::kTooWide;
      std::memset(out, ' ', len - w);
      std::memcpy(out + (len - w), buf, w);
      return EncodeResult::kOk;
    }
    case 'D': {
      if (!value.IsDate()) return EncodeResult::kWrongType;
      char date[8];
      DtosTo(value.date(), date);
      put(std::string_view(date, sizeof date), ' ');
      return EncodeResult::kOk;
    }
    case 'L':
      if (!value.IsLogical()) return EncodeResult::kWrongType;
      std::memset(out, value.logical() ? 'T' : 'F', len);
      return EncodeResult::kOk;
    default:
      // Raw bytes for the types whose encoding the engine does not know.
      if (!value.IsCharacter()) return EncodeResult::kWrongType;
      put(value.str(), '\0');
      return EncodeResult::kOk;
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
