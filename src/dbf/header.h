// SPDX-License-Identifier: MIT
// The table file header: the 32-byte prefix and the field descriptors.
// Reading tolerates what other writers leave (see README.md); writing goes
// through one function, so every header on disk is made the same way.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "dbf/field.h"

namespace talvi::dbf {

inline constexpr std::size_t kPrefixSize = 32;
inline constexpr std::size_t kDescriptorSize = 32;
inline constexpr std::size_t kBacklinkSize = 263;  // Visual FoxPro
inline constexpr std::size_t kMaxFields = 255;     // header length fits 16 bits with room
inline constexpr std::size_t kMaxRecordLength = 65535;
inline constexpr std::uint8_t kCodePage1252 = 0x03;

enum class MemoKind { kNone, kDbt, kDbtIV, kFpt };

struct TableHeader {
  std::uint8_t version = 0x03;
  int year = 0, month = 0, day = 0;  // last update
  std::uint32_t count = 0;
  std::uint16_t header_length = 0;
  std::uint16_t record_length = 0;
  std::uint8_t flags = 0;      // byte 28
  std::uint8_t code_page = 0;  // byte 29
  std::vector<FieldDef> fields;
  // The 32 bytes as read, so that rewriting the count and date keeps the
  // reserved bytes of other writers.
  std::string prefix = std::string(kPrefixSize, '\0');
  // Facts that reading tolerated, for `check`.
  std::vector<std::string> notes;
};

// The memo file layout that the version byte (and the fields) call for.
MemoKind MemoKindOf(const TableHeader& header);
bool IsVisualFoxPro(std::uint8_t version);

// Reads the prefix (at least 32 bytes). False with `why` when the bytes
// cannot be a table header.
bool ParsePrefix(std::string_view bytes, TableHeader& header, std::string& why);
// Reads the descriptors from the whole header (header_length bytes).
bool ParseDescriptors(std::string_view bytes, TableHeader& header, std::string& why);

// The one header writer: the 32-byte prefix for `header`'s count, date
// and lengths over the bytes read from the file.
std::string EncodePrefix(const TableHeader& header);
// A whole new header: prefix, descriptors, terminator (and the Visual
// FoxPro back-link when the version calls for it).
std::string EncodeHeader(const TableHeader& header);

// The year of the update-date byte: years since 1900 for most writers,
// the last two digits for some; below 80 it is taken as 2000 onwards.
int HeaderYear(std::uint8_t byte);

// Checks a new table's fields and fills offsets, lengths and the header
// fields. False with `why` for a format limit or a bad field.
bool LayOut(TableHeader& header, std::string& why);

}  // namespace talvi::dbf
