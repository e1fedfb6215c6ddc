// SPDX-License-Identifier: MIT
#include "dbf/header.h"

#include <cctype>
#include <set>

namespace talvi::dbf {
namespace {

std::uint16_t U16(std::string_view b, std::size_t at) {
  return static_cast<std::uint16_t>(static_cast<unsigned char>(b[at]) |
                                    static_cast<unsigned char>(b[at + 1]) << 8);
}

std::uint32_t U32(std::string_view b, std::size_t at) {
  return static_cast<std::uint32_t>(U16(b, at)) | static_cast<std::uint32_t>(U16(b, at + 2)) << 16;
}

void Put16(std::string& b, std::size_t at, std::uint16_t v) {
  b[at] = static_cast<char>(v & 0xFF);
  b[at + 1] = static_cast<char>(v >> 8);
}

void Put32(std::string& b, std::size_t at, std::uint32_t v) {
  Put16(b, at, static_cast<std::uint16_t>(v & 0xFFFF));
  Put16(b, at + 2, static_cast<std::uint16_t>(v >> 16));
}

}  // namespace

bool IsVisualFoxPro(std::uint8_t version) {
  return version == 0x30 || version == 0x31 || version == 0x32;
}

MemoKind MemoKindOf(const TableHeader& header) {
  bool has_memo = false;
  for (const auto& f : header.fields) {
    if (f.type == 'M' || f.type == 'G' || f.type == 'P') has_memo = true;
  }
  const std::uint8_t v = header.version;
  if (v == 0xF5 || v == 0xFB || IsVisualFoxPro(v))
    return has_memo ? MemoKind::kFpt : MemoKind::kNone;
  if (v == 0x8B || v == 0x7B || v == 0x8E) return MemoKind::kDbtIV;
  if ((v & 0x80) != 0 || has_memo) return MemoKind::kDbt;
  return MemoKind::kNone;
}

int HeaderYear(std::uint8_t byte) {
  return byte < 80 ? 2000 + byte : 1900 + byte;
}

bool ParsePrefix(std::string_view b, TableHeader& h, std::string& why) {
  if (b.size() < kPrefixSize) {
    why = "file shorter than a table header";
    return false;
  }
  h.prefix.assign(b.substr(0, kPrefixSize));
  h.version = static_cast<std::uint8_t>(b[0]);
  h.year = HeaderYear(static_cast<std::uint8_t>(b[1]));
  h.month = static_cast<unsigned char>(b[2]);
  h.day = static_cast<unsigned char>(b[3]);
  h.count = U32(b, 4);
  h.header_length = U16(b, 8);
  h.record_length = U16(b, 10);
  h.flags = static_cast<std::uint8_t>(b[28]);
  h.code_page = static_cast<std::uint8_t>(b[29]);
  if ((h.version & 0x07) == 0x02 && !IsVisualFoxPro(h.version)) {
    why = "dBase II tables are not supported";
    return false;
  }
  if (h.header_length < kPrefixSize + kDescriptorSize + 1) {
    why = "header length " + std::to_string(h.header_length) + " too short";
    return false;
  }
  if (h.record_length < 2) {
    why = "record length " + std::to_string(h.record_length) + " too short";
    return false;
  }
  return true;
}

namespace {

// One reading of the descriptors; `long_chars` takes a character field's
// decimal byte as the high byte of its length.
bool ReadDescriptors(std::string_view b, TableHeader& h, bool long_chars, std::uint32_t& length,
                     std::vector<std::string>& notes, std::string& why) {
  h.fields.clear();
  // The descriptors run to the terminator or to the header length - 1,
  // whichever comes first; the header length decides (some writers put
  // another byte where the 0x0D belongs).
  std::size_t end = h.header_length;
  if (IsVisualFoxPro(h.version) && end >= kPrefixSize + kBacklinkSize + 1) end -= kBacklinkSize;
  end -= 1;
  if (b.size() < end + 1) {
    why = "header shorter than its length";
    return false;
  }
  std::uint32_t offset = 1;
  std::size_t at = kPrefixSize;
  for (; at + kDescriptorSize <= end; at += kDescriptorSize) {
    if (b[at] == '\x0D') break;
    std::string_view d = b.substr(at, kDescriptorSize);
    FieldDef f;
    const std::string_view raw_name = d.substr(0, 11);
    const std::size_t nul = raw_name.find('\0');
    f.name.assign(raw_name.substr(0, nul == std::string_view::npos ? 11 : nul));
    if (nul != std::string_view::npos &&
        raw_name.find_first_not_of('\0', nul) != std::string_view::npos) {
      notes.push_back("field " + f.name + ": bytes after the NUL of its name");
    }
    for (char& c : f.name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    f.type = static_cast<char>(std::toupper(static_cast<unsigned char>(d[11])));
    f.length = static_cast<unsigned char>(d[16]);
    f.decimals = static_cast<unsigned char>(d[17]);
    if (long_chars && f.type == 'C' && f.decimals != 0) {
      f.length = static_cast<std::uint16_t>(f.length + 256 * f.decimals);
      f.decimals = 0;
    }
    if (f.length == 0) {
      why = "field " + f.name + " has length 0";
      return false;
    }
    f.offset = offset;
    offset += f.length;
    h.fields.push_back(std::move(f));
  }
  if (h.fields.empty()) {
    why = "no field descriptors";
    return false;
  }
  if (b[at] != '\x0D') notes.push_back("header terminator is not 0x0D");
  length = offset;
  return true;
}

}  // namespace

bool ParseDescriptors(std::string_view b, TableHeader& h, std::string& why) {
  std::uint32_t length = 0;
  std::vector<std::string> notes;
  if (!ReadDescriptors(b, h, !IsVisualFoxPro(h.version), length, notes, why)) return false;
  if (length != h.record_length) {
    // Some products write decimals on character fields by mistake; when
    // the plain reading fits the record length, it is the right one.
    std::uint32_t plain = 0;
    std::vector<std::string> plain_notes;
    TableHeader other = h;
    std::string ignored;
    if (ReadDescriptors(b, other, false, plain, plain_notes, ignored) && plain == h.record_length) {
      h.fields = std::move(other.fields);
      length = plain;
      notes = std::move(plain_notes);
    }
  }
  for (auto& n : notes) h.notes.push_back(std::move(n));
  if (length != h.record_length) {
    h.notes.push_back("record length " + std::to_string(h.record_length) +
                      " is not 1 + the field lengths (" + std::to_string(length) + ")");
    if (length > h.record_length) {
      why = "fields run past the record length";
      return false;
    }
  }
  return true;
}

std::string EncodePrefix(const TableHeader& h) {
  std::string p = h.prefix;
  p.resize(kPrefixSize, '\0');
  p[0] = static_cast<char>(h.version);
  p[1] = static_cast<char>(h.year >= 1900 ? h.year - 1900 : 0);
  p[2] = static_cast<char>(h.month);
  p[3] = static_cast<char>(h.day);
  Put32(p, 4, h.count);
  Put16(p, 8, h.header_length);
  Put16(p, 10, h.record_length);
  p[28] = static_cast<char>(h.flags);
  p[29] = static_cast<char>(h.code_page);
  return p;
}

std::string EncodeHeader(const TableHeader& h) {
  std::string out = EncodePrefix(h);
  for (const auto& f : h.fields) {
    std::string d(kDescriptorSize, '\0');
    for (std::size_t i = 0; i < f.name.size() && i < 10; ++i) d[i] = f.name[i];
    d[11] = f.type;
    if (IsVisualFoxPro(h.version)) Put32(d, 12, f.offset);
    if (f.type == 'C' && f.length > 255) {
      d[16] = static_cast<char>(f.length & 0xFF);
      d[17] = static_cast<char>(f.length >> 8);
    } else {
      d[16] = static_cast<char>(f.length);
      d[17] = static_cast<char>(f.decimals);
    }
    out += d;
  }
  out += '\x0D';
  if (IsVisualFoxPro(h.version)) out.append(kBacklinkSize, '\0');
  return out;
}

bool LayOut(TableHeader& h, std::string& why) {
  if (h.fields.empty()) {
    why = "a table needs at least one field";
    return false;
  }
  if (h.fields.size() > kMaxFields) {
    why = "more than " + std::to_string(kMaxFields) + " fields";
    return false;
  }
  std::set<std::string> names;
  std::uint32_t offset = 1;
  bool memo = false;
  for (auto& f : h.fields) {
    for (char& c : f.name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    f.type = static_cast<char>(std::toupper(static_cast<unsigned char>(f.type)));
    if (f.name.empty() || f.name.size() > 10) {
      why = "field name \"" + f.name + "\" must have 1 to 10 characters";
      return false;
    }
    for (char c : f.name) {
      if (!(std::isalnum(static_cast<unsigned char>(c)) || c == '_')) {
        why = "field name \"" + f.name + "\" may hold only letters, digits and _";
        return false;
      }
    }
    if (!names.insert(f.name).second) {
      why = "field name " + f.name + " appears twice";
      return false;
    }
    switch (f.type) {
      case 'C':
        if (f.length < 1) {
          why = "character field " + f.name + " needs a length of 1 to 65535";
          return false;
        }
        f.decimals = 0;
        break;
      case 'N':
      case 'F':
        if (f.length < 1 || f.length > 20 || (f.decimals > 0 && f.decimals + 2 > f.length)) {
          why = "numeric field " + f.name + " needs a length of 1 to 20 and room for its decimals";
          return false;
        }
        break;
      case 'D':
        f.length = 8;
        f.decimals = 0;
        break;
      case 'L':
        f.length = 1;
        f.decimals = 0;
        break;
      case 'M':
        f.length = 10;
        f.decimals = 0;
        memo = true;
        break;
      default:
        why = "field " + f.name + ": type " + std::string(1, f.type) + " cannot be created";
        return false;
    }
    f.offset = offset;
    offset += f.length;
    if (offset > kMaxRecordLength) {
      why = "record longer than " + std::to_string(kMaxRecordLength) + " bytes";
      return false;
    }
  }
  h.version = memo ? 0x83 : 0x03;
  h.record_length = static_cast<std::uint16_t>(offset);
  h.header_length = static_cast<std::uint16_t>(kPrefixSize + kDescriptorSize * h.fields.size() + 1);
  h.code_page = kCodePage1252;
  return true;
}

}  // namespace talvi::dbf
