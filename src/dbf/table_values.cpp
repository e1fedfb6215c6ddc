// SPDX-License-Identifier: MIT
// Field values of records held in memory, memos included.
#include <algorithm>

#include "dbf/codes.h"
#include "dbf/raise.h"
#include "dbf/table.h"

namespace talvi::dbf {
namespace {

bool IsMemo(const FieldDef& f) {
  return f.type == 'M' || f.type == 'G' || f.type == 'P';
}

}  // namespace

std::string_view Table::RawValue(const std::string& record, int field) const {
  if (field < 0 || static_cast<std::size_t>(field) >= header_.fields.size() ||
      record.size() != header_.record_length) {
    return {};
  }
  const FieldDef& f = header_.fields[static_cast<std::size_t>(field)];
  return std::string_view(record).substr(f.offset, f.length);
}

bool Table::ReadMemo(const std::string& record, int field, std::string& out) {
  out.clear();
  if (!FieldOk(record, field, "memo")) return false;
  const FieldDef& f = header_.fields[static_cast<std::size_t>(field)];
  std::uint32_t block = 0;
  std::string why;
  if (!MemoPointer(RawValue(record, field), block)) {
    why = "field " + f.name + ": memo pointer is not a number";
  } else if (block == 0) {
    return true;
  } else if (!memo_) {
    why = "field " + f.name + ": no memo file";
  } else if (memo_->Read(block, out, why, [this](std::uint32_t b) { return NextMemoStart(b); })) {
    return true;
  }
  out.clear();
  return Corrupt(memo_path_.empty() ? path_ : memo_path_, why);
}

bool Table::FieldOk(const std::string& record, int field, const char* operation) {
  if (field >= 0 && static_cast<std::size_t>(field) < header_.fields.size() &&
      record.size() == header_.record_length) {
    return true;
  }
  return Fail(Failure(kGenBound, kSubField)
                  .File(path_)
                  .Op(operation)
                  .Desc("field " + std::to_string(field + 1) + " does not exist"));
}

Value Table::GetValue(const std::string& record, int field) {
  if (!FieldOk(record, field, "get")) return Value();
  const FieldDef& f = header_.fields[static_cast<std::size_t>(field)];
  if (IsMemo(f) && (f.type == 'M' || memo_)) {
    std::string text;
    ReadMemo(record, field, text);
    return Value::Character(std::move(text));
  }
  return DecodeField(f, RawValue(record, field));
}

bool Table::PutValue(std::string& record, int field, const Value& value) {
  if (!FieldOk(record, field, "put")) return false;
  const FieldDef& f = header_.fields[static_cast<std::size_t>(field)];
  if (options_.read_only) {
    return Fail(
        Failure(kGenReadOnly, kSubReadOnly).File(path_).Op("replace").Desc("Table is read-only"));
  }
  if (IsMemo(f)) {
    if (!value.IsCharacter() && !value.IsNil()) {
      return Fail(Failure(kGenDataType, kSubField).File(path_).Op(f.name).Desc("Data type error"));
    }
    if (!memo_) return Corrupt(path_, "field " + f.name + ": no memo file");
    std::uint32_t old_block = 0;
    if (!MemoPointer(RawValue(record, field), old_block)) old_block = 0;
    std::uint32_t block = 0;
    std::string why;
    const std::string data = value.IsNil() ? std::string() : value.str();
    if (!memo_->Write(old_block, data, block, why,
                      [this](std::uint32_t b) { return NextMemoStart(b); })) {
      return Fail(Failure(kGenWrite, kSubWrite)
                      .Os(memo_->file().LastError())
                      .File(memo_path_)
                      .Op(f.name)
                      .Desc(why));
    }
    if (block != 0 && block != old_block && memo_starts_known_) {
      memo_starts_.insert(std::upper_bound(memo_starts_.begin(), memo_starts_.end(), block), block);
    }
    record.replace(f.offset, f.length, MemoPointerBytes(block, f.length));
    return true;
  }
  switch (EncodeField(f, value, record.data() + f.offset)) {
    case EncodeResult::kOk: return true;
    case EncodeResult::kWrongType:
      return Fail(Failure(kGenDataType, kSubField).File(path_).Op(f.name).Desc("Data type error"));
    case EncodeResult::kTooWide:
      return Fail(Failure(kGenDataWidth, kSubField)
                      .File(path_)
                      .Op(f.name)
                      .Desc("Data width error: the number does not fit the field"));
  }
  return false;
}

std::uint32_t Table::NextMemoStart(std::uint32_t block) {
  if (!memo_starts_known_) {
    memo_starts_known_ = true;
    std::string record;
    const std::uint32_t count = RecordCount();
    for (std::uint32_t r = 1; r <= count; ++r) {
      record.resize(header_.record_length);
      if (file_->ReadAt(header_.header_length + std::uint64_t{r - 1} * header_.record_length,
                        record.data(), record.size()) != static_cast<std::int64_t>(record.size())) {
        break;
      }
      for (std::size_t i = 0; i < header_.fields.size(); ++i) {
        if (!IsMemo(header_.fields[i])) continue;
        std::uint32_t b = 0;
        if (MemoPointer(RawValue(record, static_cast<int>(i)), b) && b != 0) {
          memo_starts_.push_back(b);
        }
      }
    }
    std::sort(memo_starts_.begin(), memo_starts_.end());
    memo_starts_.erase(std::unique(memo_starts_.begin(), memo_starts_.end()), memo_starts_.end());
  }
  const auto it = std::upper_bound(memo_starts_.begin(), memo_starts_.end(), block);
  return it == memo_starts_.end() ? 0 : *it;
}

}  // namespace talvi::dbf
