// SPDX-License-Identifier: MIT
#include "dbf/index_key.h"

#include <cmath>
#include <cstdint>
#include <cstring>

#include "dbf/date.h"
#include "dbf/expr.h"

namespace talvi::dbf {

bool ShapeOf(const Value& sample, KeyFormat format, KeyShape& shape) {
  shape = KeyShape();
  switch (sample.type()) {
    case Value::Type::kCharacter:
      shape.type = 'C';
      shape.size = sample.str().size();
      return shape.size >= 1 && shape.size <= 240;
    case Value::Type::kNumeric:
      shape.type = 'N';
      shape.decimals = sample.decimals() < 0 ? 0 : sample.decimals();
      shape.size = format == KeyFormat::kCdx
                       ? 8
                       : static_cast<std::size_t>(
                             sample.width() > 0 ? sample.width()
                                                : 10 + (shape.decimals ? shape.decimals + 1 : 0));
      return true;
    case Value::Type::kDate:
      shape.type = 'D';
      shape.size = 8;
      return true;
    case Value::Type::kLogical:
      shape.type = 'L';
      shape.size = 1;
      return true;
    case Value::Type::kNil: break;
  }
  return false;
}

std::string OrderedDouble(double d) {
  if (d == 0) d = 0;  // -0 sorts as 0
  std::uint64_t bits = 0;
  std::memcpy(&bits, &d, sizeof bits);
  if (d >= 0) {
    bits |= std::uint64_t{1} << 63;
  } else {
    bits = ~bits;
  }
  std::string out(8, '\0');
  for (int i = 0; i < 8; ++i) {
    out[static_cast<std::size_t>(i)] = static_cast<char>((bits >> (56 - 8 * i)) & 0xFF);
  }
  return out;
}

double FromOrderedDouble(const std::string& bytes) {
  std::uint64_t bits = 0;
  for (std::size_t i = 0; i < 8 && i < bytes.size(); ++i) {
    bits = (bits << 8) | static_cast<unsigned char>(bytes[i]);
  }
  if (bits & (std::uint64_t{1} << 63)) {
    bits &= ~(std::uint64_t{1} << 63);
  } else {
    bits = ~bits;
  }
  double d = 0;
  std::memcpy(&d, &bits, sizeof d);
  return d;
}

std::string NtxNumber(double d, std::size_t width, int decimals) {
  const bool negative = d < 0;
  std::string text = NumberText(std::fabs(d), static_cast<int>(width), decimals);
  if (text.size() != width) text.assign(width, '9');  // does not fit: the largest
  if (text.find('*') != std::string::npos) text.assign(width, '9');
  for (char& c : text) {
    if (c == ' ') c = '0';
    if (negative && c >= '0' && c <= '9') c = static_cast<char>(0x5C - c);
  }
  return text;
}

bool EncodeKey(const Value& v, const KeyShape& shape, KeyFormat format, std::string& key) {
  if (!EncodeSeek(v, shape, format, key)) return false;
  key.resize(shape.size, ' ');
  return true;
}

bool EncodeSeek(const Value& v, const KeyShape& shape, KeyFormat format, std::string& key) {
  switch (shape.type) {
    case 'C':
      if (!v.IsCharacter()) return false;
      key = v.str().substr(0, shape.size);
      return true;
    case 'N':
      if (!v.IsNumeric()) return false;
      key = format == KeyFormat::kCdx ? OrderedDouble(v.num())
                                      : NtxNumber(v.num(), shape.size, shape.decimals);
      return true;
    case 'D': {
      if (!v.IsDate()) return false;
      if (format == KeyFormat::kCdx) {
        key = OrderedDouble(static_cast<double>(v.date()));
      } else {
        key = Dtos(v.date());  // 8 blanks for the empty date
      }
      return true;
    }
    case 'L':
      if (!v.IsLogical()) return false;
      key = v.logical() ? "T" : "F";
      return true;
    default: return false;
  }
}

}  // namespace talvi::dbf
