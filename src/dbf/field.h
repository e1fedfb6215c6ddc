// SPDX-License-Identifier: MIT
// Field descriptors and the encodings of field values inside a record.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "dbf/value.h"

namespace talvi::dbf {

struct FieldDef {
  std::string name;  // upper case as stored, at most 10 characters
  char type = 'C';   // C N F D L M, or any other letter (read as raw bytes)
  std::uint16_t length = 0;
  std::uint8_t decimals = 0;
  std::uint32_t offset = 0;  // position in the record; the deleted flag is byte 0
};

// Whether the engine knows the type's encoding (C N F D L M); other types
// are kept and read as raw bytes.
bool KnownType(char type);

// The value of field bytes `raw`. Values that other writers left dirty
// ("**", NUL bytes, a lone ".", "?" in a logical, an all-zero date) read as
// empty. Memo fields are not decoded here (see MemoPointer).
Value DecodeField(const FieldDef& field, std::string_view raw);

// The memo block a memo field points at; 0 for none (blanks). A 4-byte
// field holds a binary little-endian number (Visual FoxPro). False when the
// bytes are neither blank nor a number.
bool MemoPointer(std::string_view raw, std::uint32_t& block);
// The field bytes for memo block `block` (0 = blanks).
std::string MemoPointerBytes(std::uint32_t block, std::size_t length);

enum class EncodeResult {
  kOk,
  kWrongType,  // the value's type does not suit the field
  kTooWide,    // a number does not fit the field
};

// Writes `value` into the field.length bytes at `out` (the field's place
// in a record), which stay as they were when the value is refused. A
// character value longer than the field is cut, as every writer does; a
// number that does not fit is refused, never cut or written in exponent
// form. Nil writes the empty value.
EncodeResult EncodeField(const FieldDef& field, const Value& value, char* out);

// The empty value of a field's type.
Value EmptyValue(const FieldDef& field);

}  // namespace talvi::dbf
