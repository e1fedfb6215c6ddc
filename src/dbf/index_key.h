// SPDX-License-Identifier: MIT
// Index keys: how a key expression's value becomes the bytes an index file
// orders bytewise. NTX keeps numbers and dates as text of the key width;
// CDX keeps them as an ordered 8-byte form.
#pragma once

#include <cstddef>
#include <string>

#include "dbf/value.h"

namespace talvi::dbf {

enum class KeyFormat { kNtx, kCdx };

// The type and size of an order's keys, taken from the key expression's
// value on a blank record.
struct KeyShape {
  char type = 'C';  // C, N, D, L
  std::size_t size = 0;
  int decimals = 0;
};

// The shape of keys of `sample`'s type; false for a nil value or a type
// that cannot be a key.
bool ShapeOf(const Value& sample, KeyFormat format, KeyShape& shape);

// The key bytes of `v` (of the shape's type): exactly shape.size bytes.
// A character value is cut or padded with spaces; false when the value's
// type differs from the shape's.
bool EncodeKey(const Value& v, const KeyShape& shape, KeyFormat format, std::string& key);

// The key bytes a seek looks for: a character value is not padded (a
// shorter one matches as a prefix); others are encoded in full.
bool EncodeSeek(const Value& v, const KeyShape& shape, KeyFormat format, std::string& key);

// The ordered 8-byte form of a number: big-endian IEEE double, sign bit
// set for values >= 0, every bit inverted for negatives.
std::string OrderedDouble(double d);
double FromOrderedDouble(const std::string& bytes);

// The NTX text of a number: `width` characters, `decimals` digits after
// the point, leading zeros; for a negative number every digit c is written
// as 0x5C - c, so that negatives sort below positives and by value.
std::string NtxNumber(double d, std::size_t width, int decimals);

}  // namespace talvi::dbf
