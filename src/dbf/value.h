// SPDX-License-Identifier: MIT
// The values that fields hold and expressions compute: character (8-bit
// bytes), numeric, date, logical, and nil.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <variant>

namespace talvi::dbf {

struct DateValue {
  std::int32_t jd = 0;  // Julian day number; 0 = empty date
  bool operator==(const DateValue&) const = default;
};

class Value {
 public:
  enum class Type { kNil, kCharacter, kNumeric, kDate, kLogical };

  Value() = default;
  static Value Character(std::string s) { return Value(std::move(s)); }
  // `decimals` is the number of decimals the value is shown with (from a
  // field, a literal or an operation); -1 when not known.
  // `width` is the length of its field when it comes from one, -1 else.
  static Value Numeric(double n, int decimals = -1, int width = -1) {
    Value v;
    v.data_ = n;
    v.decimals_ = decimals;
    v.width_ = width;
    return v;
  }
  static Value Date(std::int32_t jd) {
    Value v;
    v.data_ = DateValue{jd};
    return v;
  }
  static Value Logical(bool b) {
    Value v;
    v.data_ = b;
    return v;
  }

  Type type() const { return static_cast<Type>(data_.index()); }
  bool IsNil() const { return type() == Type::kNil; }
  bool IsCharacter() const { return type() == Type::kCharacter; }
  bool IsNumeric() const { return type() == Type::kNumeric; }
  bool IsDate() const { return type() == Type::kDate; }
  bool IsLogical() const { return type() == Type::kLogical; }

  const std::string& str() const { return std::get<std::string>(data_); }
  double num() const { return std::get<double>(data_); }
  std::int32_t date() const { return std::get<DateValue>(data_).jd; }
  bool logical() const { return std::get<bool>(data_); }
  int decimals() const { return decimals_; }
  int width() const { return width_; }

  // Same type and same contents (character values byte for byte).
  bool operator==(const Value& other) const { return data_ == other.data_; }

 private:
  explicit Value(std::string s) : data_(std::move(s)) {}
  std::variant<std::monostate, std::string, double, DateValue, bool> data_;
  int decimals_ = -1;
  int width_ = -1;
};

// The one-letter type name of the run-time: "U", "C", "N", "D", "L".
char TypeLetter(const Value& v);

}  // namespace talvi::dbf
