// SPDX-License-Identifier: MIT
#include "dbf/table.h"

#include <algorithm>
#include <array>
#include <cctype>

#include "dbf/codes.h"
#include "dbf/date.h"
#include "dbf/names.h"
#include "dbf/raise.h"
#include "dbf/settings.h"
#include "errors/error.h"

namespace talvi::dbf {
namespace {

bool EqualNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::toupper(static_cast<unsigned char>(x)) ==
                  std::toupper(static_cast<unsigned char>(y));
         });
}

os::OpenMode ModeOf(const OpenOptions& o) {
  return o.shared ? os::SharedMode(o.read_only) : os::ExclusiveMode(o.read_only);
}

// Header bytes 1 to 7: the date of the last update and the record count.
std::array<char, 7> DateAndCount(const Ymd& date, std::uint32_t count) {
  return {static_cast<char>(date.year >= 1900 ? date.year - 1900 : 0),
          static_cast<char>(date.month),
          static_cast<char>(date.day),
          static_cast<char>(count & 0xFF),
          static_cast<char>(count >> 8 & 0xFF),
          static_cast<char>(count >> 16 & 0xFF),
          static_cast<char>(count >> 24 & 0xFF)};
}

}  // namespace

Table::~Table() {
  // Close writes back; a table dropped without it still hands what it
  // buffered to the system. A failure is raised; an escape that its
  // handler asks for ends here, since none may leave a destructor.
  if (file_ && (prefix_pending_ || file_->dirty())) errors::RecoveryPoint([this] { Close(); });
}

bool Table::IoFail(int gencode, int subcode, const std::string& what, int oscode) {
  return Fail(Failure(gencode, subcode).Os(oscode).File(path_).Op(what).Desc(what));
}

std::unique_ptr<Table> Table::Open(const std::string& name, const OpenOptions& options) {
  std::string path = ApplyCase(WithDefaultExtension(name, ".DBF"), Engine().file_case);
  if (const std::string found = FindIgnoringCase(path); !found.empty()) path = found;
  int oscode = 0;
  auto file = os::SharedFile::Open(path, ModeOf(options), oscode);
  if (!file) {
    Fail(Failure(kGenOpen, kSubOpen).Os(oscode).File(path).Op("open").Desc("Open error"));
    return nullptr;
  }
  std::unique_ptr<Table> t(new Table());
  t->path_ = path;
  t->options_ = options;
  t->file_ = std::make_unique<TableFile>(std::move(file));
  std::string why;
  std::string prefix(kPrefixSize, '\0');
  const std::int64_t got = t->file_->ReadAt(0, prefix.data(), prefix.size());
  prefix.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
  if (!ParsePrefix(prefix, t->header_, why)) {
    Corrupt(path, why);
    return nullptr;
  }
  std::string whole(t->header_.header_length, '\0');
  const std::int64_t hgot = t->file_->ReadAt(0, whole.data(), whole.size());
  whole.resize(hgot > 0 ? static_cast<std::size_t>(hgot) : 0);
  if (!ParseDescriptors(whole, t->header_, why)) {
    Corrupt(path, why);
    return nullptr;
  }
  // Nothing changes a table opened exclusively beneath this open: its
  // records go through the cache.
  if (!options.shared && !t->file_->StartCache(t->header_.header_length)) {
    t->IoFail(kGenOpen, kSubOpen, "open", t->file_->LastError());
    return nullptr;
  }
  t->file_size_ = t->file_->Size();
  if (t->file_size_ < t->header_.header_length) {
    Corrupt(path, "file shorter than its header");
    return nullptr;
  }
  if (MemoKindOf(t->header_) != MemoKind::kNone && !t->OpenMemo()) return nullptr;
  t->blank_ = t->MakeBlank();
  return t;
}

bool Table::OpenMemo() {
  const MemoKind kind = MemoKindOf(header_);
  const std::string ext = kind == MemoKind::kFpt ? ".FPT" : Engine().memo_extension;
  std::string memo = FindIgnoringCase(ApplyCase(ReplaceExtension(path_, ext), Engine().file_case));
  if (memo.empty()) memo = FindIgnoringCase(ReplaceExtension(path_, ext));
  if (memo.empty()) {
    return Fail(Failure(kGenOpen, kSubMemoOpen)
                    .Os(os::kOsFileNotFound)
                    .File(ReplaceExtension(path_, ext))
                    .Op("open")
                    .Desc("Memo file not found"));
  }
  int oscode = 0;
  auto file = os::SharedFile::Open(memo, ModeOf(options_), oscode);
  if (!file) {
    return Fail(
        Failure(kGenOpen, kSubMemoOpen).Os(oscode).File(memo).Op("open").Desc("Open error"));
  }
  std::string why;
  memo_ = MemoFile::Open(kind, std::move(file), why);
  if (!memo_) return Corrupt(memo, why);
  memo_path_ = memo;
  return true;
}

bool Table::Create(const std::string& name, std::vector<FieldDef> fields) {
  const std::string path = ApplyCase(WithDefaultExtension(name, ".DBF"), Engine().file_case);
  TableHeader h;
  h.fields = std::move(fields);
  std::string why;
  if (!LayOut(h, why)) {
    return Fail(Failure(kGenLimit, kSubLimit).File(path).Op("create").Desc(why));
  }
  const Ymd today = FromJulianDay(Today());
  h.year = today.year;
  h.month = today.month;
  h.day = today.day;
  os::OpenMode mode = os::ExclusiveMode(false);
  mode.create = true;
  mode.truncate = true;
  const auto create = [&](const std::string& file, const std::string& bytes) {
    int oscode = 0;
    auto f = os::SharedFile::Open(file, mode, oscode);
    if (!f || !f->WriteAt(0, bytes.data(), bytes.size())) {
      return Fail(Failure(kGenCreate, kSubCreate)
                      .Os(f ? f->LastError() : oscode)
                      .File(file)
                      .Op("create")
                      .Desc("Create error"));
    }
    return true;
  };
  if (!create(path, EncodeHeader(h) + "\x1A")) return false;
  if (MemoKindOf(h) == MemoKind::kDbt) {
    // With names as written, the memo extension follows the letter case of
    // the table's own ("items.dbf" gets "items.dbt"), as other tools look.
    std::string ext = Engine().memo_extension;
    const std::size_t dot = path.rfind('.');
    const std::string table_ext = dot == std::string::npos ? "" : path.substr(dot + 1);
    if (Engine().file_case == NameCase::kMixed && !table_ext.empty() &&
        std::none_of(table_ext.begin(), table_ext.end(),
                     [](char c) { return std::isupper(static_cast<unsigned char>(c)) != 0; })) {
      for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    const std::string memo = ApplyCase(ReplaceExtension(path, ext), Engine().file_case);
    if (!create(memo, MemoFile::NewHeader(MemoKind::kDbt))) return false;
  }
  return true;
}

int Table::FieldIndex(std::string_view name) const {
  for (std::size_t i = 0; i < header_.fields.size(); ++i) {
    if (EqualNoCase(header_.fields[i].name, name)) return static_cast<int>(i);
  }
  return -1;
}

std::uint32_t Table::RecordsInFile() const {
  const auto body = static_cast<std::uint64_t>(file_size_) - header_.header_length;
  return static_cast<std::uint32_t>(
      std::min<std::uint64_t>(body / header_.record_length, 0xFFFFFFFFu));
}

std::uint32_t Table::RecordCount() const {
  // The count, unless the file ends before its last record (asked on
  // every access: no division when it does not).
  const std::uint64_t end =
      header_.header_length + std::uint64_t{header_.count} * header_.record_length;
  if (end <= static_cast<std::uint64_t>(file_size_)) return header_.count;
  return std::min(header_.count, RecordsInFile());
}

bool Table::RefreshHeader() {
  // With the cache on nothing else changes the file: the count in memory
  // is the latest, the one in the file may wait for WriteBack.
  if (file_->cached()) return true;
  char p[kPrefixSize];
  const std::int64_t got = file_->ReadAt(0, p, sizeof p);
  if (got != static_cast<std::int64_t>(kPrefixSize)) {
    return IoFail(kGenRead, kSubRead, "header read", file_->LastError());
  }
  // Parsed into a header kept for this (its buffer is reused: nothing is
  // allocated per lock).
  TableHeader& fresh = reread_;
  std::string why;
  if (!ParsePrefix(std::string_view(p, sizeof p), fresh, why)) return Corrupt(path_, why);
  if (fresh.header_length != header_.header_length ||
      fresh.record_length != header_.record_length) {
    return Corrupt(path_, "header changed while open");
  }
  header_.count = fresh.count;
  header_.prefix = fresh.prefix;
  if (options_.shared) memo_starts_known_ = false;  // nothing cached across a lock
  header_.year = fresh.year;
  header_.month = fresh.month;
  header_.day = fresh.day;
  // The file's size is asked again only when the count runs past what was
  // known of it (others appended).
  const std::uint64_t needed =
      header_.header_length + std::uint64_t{header_.count} * header_.record_length;
  if (needed > static_cast<std::uint64_t>(file_size_)) {
    const std::int64_t size = file_->Size();
    if (size < 0) return IoFail(kGenRead, kSubRead, "header read", file_->LastError());
    file_size_ = size;
  }
  return true;
}

std::uint64_t Table::RecordOffset(std::uint32_t recno) const {
  return header_.header_length + std::uint64_t{recno - 1} * header_.record_length;
}

bool Table::ReadRecord(std::uint32_t recno, std::string& record) {
  record.resize(header_.record_length);
  if (recno == 0 || recno > RecordCount()) {
    return Fail(Failure(kGenBound, kSubRead)
                    .File(path_)
                    .Op("read")
                    .Desc("record " + std::to_string(recno) + " does not exist"));
  }
  const std::int64_t got = file_->ReadAt(RecordOffset(recno), record.data(), record.size());
  if (got < 0) return IoFail(kGenRead, kSubRead, "read", file_->LastError());
  if (got != static_cast<std::int64_t>(record.size())) return Corrupt(path_, "record cut short");
  return true;
}

bool Table::ReadRecords(std::uint32_t first, std::uint32_t count, std::string& records) {
  records.resize(std::size_t{header_.record_length} * count);
  if (first == 0 || count == 0 || count > RecordCount() || first > RecordCount() - count + 1) {
    return Fail(Failure(kGenBound, kSubRead)
                    .File(path_)
                    .Op("read")
                    .Desc("records " + std::to_string(first) + " to " +
                          std::to_string(std::uint64_t{first} + count - 1) + " do not exist"));
  }
  const std::int64_t got = file_->ReadAt(RecordOffset(first), records.data(), records.size());
  if (got < 0) return IoFail(kGenRead, kSubRead, "read", file_->LastError());
  if (got != static_cast<std::int64_t>(records.size())) return Corrupt(path_, "record cut short");
  return true;
}

bool Table::TouchDate() {
  if (date_touched_) return true;
  const Ymd today = FromJulianDay(Today());
  header_.year = today.year;
  header_.month = today.month;
  header_.day = today.day;
  if (file_->cached()) {
    prefix_pending_ = true;
    date_touched_ = true;
    return true;
  }
  const std::string p = EncodePrefix(header_);
  if (!file_->WriteAt(1, p.data() + 1, 3)) {
    return IoFail(kGenWrite, kSubWrite, "header write", file_->LastError());
  }
  date_touched_ = true;
  return true;
}

bool Table::WritePrefix() {
  const Ymd today = FromJulianDay(Today());
  header_.year = today.year;
  header_.month = today.month;
  header_.day = today.day;
  const std::string p = EncodePrefix(header_);
  if (!file_->WriteAt(0, p.data(), p.size())) {
    return IoFail(kGenWrite, kSubWrite, "header write", file_->LastError());
  }
  date_touched_ = true;
  prefix_pending_ = false;
  return true;
}

bool Table::WriteRecord(std::uint32_t recno, const std::string& record) {
  if (options_.read_only) {
    return Fail(
        Failure(kGenReadOnly, kSubReadOnly).File(path_).Op("write").Desc("Table is read-only"));
  }
  if (recno == 0 || recno > RecordCount() || record.size() != header_.record_length) {
    return Fail(Failure(kGenBound, kSubWrite)
                    .File(path_)
                    .Op("write")
                    .Desc("record " + std::to_string(recno) + " does not exist"));
  }
  if (!file_->WriteAt(RecordOffset(recno), record.data(), record.size())) {
    return IoFail(kGenWrite, kSubWrite, "write", file_->LastError());
  }
  return TouchDate();
}

bool Table::AppendRecord(const std::string& record, std::uint32_t& recno) {
  if (options_.read_only) {
    return Fail(
        Failure(kGenReadOnly, kSubReadOnly).File(path_).Op("append").Desc("Table is read-only"));
  }
  if (record.size() != header_.record_length) {
    return Fail(
        Failure(kGenArg, kSubAppend).File(path_).Op("append").Desc("record of the wrong length"));
  }
  const std::uint32_t count = RecordCount();
  if (count >= Engine().MaxRecords()) {
    return Fail(Failure(kGenLimit, kSubLimit)
                    .File(path_)
                    .Op("append")
                    .Desc("the lock scheme addresses no more records"));
  }
  recno = count + 1;
  append_.assign(record);
  append_ += '\x1A';
  if (!file_->WriteAt(RecordOffset(recno), append_.data(), append_.size())) {
    return IoFail(kGenWrite, kSubWrite, "append", file_->LastError());
  }
  file_size_ = std::max<std::int64_t>(
      file_size_, static_cast<std::int64_t>(RecordOffset(recno) + append_.size()));
  // The date and the count in one write (bytes 1 to 7); the rest of the
  // prefix is left as others wrote it. Until that write succeeds the record
  // is not counted, here either. With the cache on they are written once,
  // after the records (WriteBack).
  const Ymd today = FromJulianDay(Today());
  if (!file_->cached()) {
    const std::array<char, 7> p = DateAndCount(today, recno);
    if (!file_->WriteAt(1, p.data(), p.size())) {
      return IoFail(kGenWrite, kSubWrite, "append", file_->LastError());
    }
  } else {
    prefix_pending_ = true;
  }
  header_.year = today.year;
  header_.month = today.month;
  header_.day = today.day;
  header_.count = recno;
  date_touched_ = true;
  return true;
}

bool Table::WriteBuffered() {
  // Records first, then the count: a count never covers a record that has
  // not reached the system.
  if (!file_->WriteBack()) return false;
  if (!prefix_pending_) return true;
  const std::array<char, 7> p =
      DateAndCount({header_.year, header_.month, header_.day}, header_.count);
  if (!file_->WriteAt(1, p.data(), p.size())) return false;
  prefix_pending_ = false;
  return true;
}

bool Table::WriteBack() {
  return WriteBuffered() || IoFail(kGenWrite, kSubWrite, "write", file_->LastError());
}

void Table::Close() {
  if (WriteBuffered()) return;
  // Given up before it is raised, so that an escape leaves nothing behind.
  const int oscode = file_->LastError();
  file_->Discard();
  prefix_pending_ = false;
  IoFail(kGenWrite, kSubWrite, "close", oscode);
}

std::string Table::MakeBlank() const {
  std::string r(header_.record_length, ' ');
  for (const auto& f : header_.fields) {
    if (f.type == 'M' && f.length == 4) r.replace(f.offset, 4, 4, '\0');
    if (!KnownType(f.type) && f.type != 'G' && f.type != 'P') {
      // Binary types of other writers: zero bytes are their empty value.
      const bool text_like = f.type == 'V' || f.type == 'Q';
      if (!text_like) r.replace(f.offset, f.length, f.length, '\0');
    }
  }
  return r;
}

bool Table::Flush(bool to_disk) {
  if (!WriteBack()) return false;
  const bool disk = to_disk || Engine().commit_to_disk;
  const bool table = file_->Flush(disk);
  const bool memo = !memo_ || memo_->file().Flush(disk);
  if (!table) return IoFail(kGenWrite, kSubWrite, "commit", file_->LastError());
  if (!memo) {
    // The error names the file that failed.
    os::SharedFile& f = memo_->file();
    return Fail(
        Failure(kGenWrite, kSubWrite).Os(f.LastError()).File(f.path()).Op("commit").Desc("commit"));
  }
  return true;
}

bool Table::TryLockRecord(std::uint32_t recno) {
  return file_->TryLock(Engine().RecordLockOffset(recno), 1);
}
bool Table::UnlockRecord(std::uint32_t recno) {
  return file_->Unlock(Engine().RecordLockOffset(recno), 1);
}
bool Table::TryLockTable() {
  return file_->TryLock(Engine().lock_offset, Engine().lock_length);
}
bool Table::UnlockTable() {
  return file_->Unlock(Engine().lock_offset, Engine().lock_length);
}
bool Table::TryLockHeader() {
  return file_->TryLock(Engine().HeaderLockOffset(), 1);
}
bool Table::UnlockHeader() {
  return file_->Unlock(Engine().HeaderLockOffset(), 1);
}

}  // namespace talvi::dbf
