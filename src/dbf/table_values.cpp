// SPDX-License-Identifier: MIT
// Field values of records held in memory, memos included.
#include <algorithm>

#include "dbf/codes.h"
#include "dbf/memo_impl.h"
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
    // In shared mode the table's pointers lag behind the memo file (another
    // process's new memo is in the table only once its record is written),
    // so the old memo's extent is taken from the memo alone there.
    MemoFile::BoundOf bound;
    if (!options_.shared) bound = [this](std::uint32_t b) { return NextMemoStart(b); };
    if (!memo_->Write(old_block, data, block, why, bound)) {
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
  if (!memo_starts_known_ || (options_.shared && block >= memo_scan_free_)) ScanMemoStarts();
  const auto it = std::upper_bound(memo_starts_.begin(), memo_starts_.end(), block);
  std::uint32_t next = it == memo_starts_.end() ? 0 : *it;
  // Every memo appended since the scan starts at or after the next free
  // block that the scan saw.
  if (options_.shared && block < memo_scan_free_ && (next == 0 || next > memo_scan_free_)) {
    next = memo_scan_free_;
  }
  return next;
}

void Table::ScanMemoStarts() {
  memo_starts_.clear();
  memo_starts_known_ = true;
  memo_scan_free_ = 0;
  const std::uint64_t length = header_.record_length;
  std::uint64_t count = RecordCount();
  if (options_.shared) {
    // The count as it is now: the records others appended have memos too.
    char c[4];
    const std::int64_t size = file_->Size();
    if (file_->ReadAt(4, c, 4) == 4 && size >= header_.header_length) {
      count = std::min<std::uint64_t>(
          LoadLe32(c), (static_cast<std::uint64_t>(size) - header_.header_length) / length);
    }
  }
  // Many records at a time: this runs again after every lock in shared mode.
  const std::uint64_t per_read = std::max<std::uint64_t>(1, 64 * 1024 / length);
  std::string chunk;
  for (std::uint64_t r = 0; r < count; r += per_read) {
    const std::uint64_t n = std::min(per_read, count - r);
    chunk.resize(static_cast<std::size_t>(n * length));
    const std::int64_t got =
        file_->ReadAt(header_.header_length + r * length, chunk.data(), chunk.size());
    if (got < 0) break;
    const auto size = static_cast<std::size_t>(length);
    for (std::size_t k = 0; k < static_cast<std::size_t>(got) / size; ++k) {
      const std::string_view record = std::string_view(chunk).substr(k * size, size);
      for (const FieldDef& f : header_.fields) {
        std::uint32_t b = 0;
        if (IsMemo(f) && MemoPointer(record.substr(f.offset, f.length), b) && b != 0) {
          memo_starts_.push_back(b);
        }
      }
    }
    if (static_cast<std::uint64_t>(got) < chunk.size()) break;
  }
  std::sort(memo_starts_.begin(), memo_starts_.end());
  memo_starts_.erase(std::unique(memo_starts_.begin(), memo_starts_.end()), memo_starts_.end());
  // Read after the pointers: it is past the end of every memo they name.
  if (options_.shared && memo_) memo_scan_free_ = memo_->NextFree();
}

}  // namespace talvi::dbf
