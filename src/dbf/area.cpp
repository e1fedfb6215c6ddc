// SPDX-License-Identifier: MIT
#include "dbf/area.h"

#include <algorithm>

#include "dbf/codes.h"
#include "dbf/orders.h"
#include "dbf/raise.h"
#include "dbf/settings.h"

namespace talvi::dbf {

WorkArea::WorkArea(int number) : number_(number), orders_(std::make_unique<Orders>(*this)) {}

WorkArea::~WorkArea() {
  Close();
}

bool WorkArea::NoTable(const char* operation) {
  if (table_) return false;
  Fail(Failure(kGenNoTable, kSubArea).Op(operation).Desc("Work area not in use"));
  return true;
}

bool WorkArea::Use(const std::string& path, const std::string& alias, const OpenOptions& options) {
  Close();
  table_ = Table::Open(path, options);
  if (!table_) return false;
  alias_ = alias;
  // A structural index that cannot be opened is reported; the table stays
  // usable in record order.
  orders_->OpenStructural();
  return GoTop();
}

void WorkArea::Close() {
  if (!table_) return;
  UnlockAll();      // writes what is pending first
  table_->Close();  // and what the table buffered
  for (auto* o : std::vector<TableObserver*>(observers_)) o->OnClose(*this);
  table_.reset();
  alias_.clear();
  record_.clear();
  before_.clear();
  recno_ = 0;
  eof_ = bof_ = true;
  dirty_ = false;
  appended_ = false;
  unread_ = false;
}

bool WorkArea::Refresh() {
  return !Shared() || table_->RefreshHeader();
}

bool WorkArea::Visible() {
  return !(Engine().deleted && Deleted());
}

bool WorkArea::Fetch() {
  if (!unread_) return true;
  return Load(recno_);
}

bool WorkArea::Load(std::uint32_t recno) {
  dirty_ = false;
  unread_ = false;
  if (recno >= 1 && recno <= table_->RecordCount()) {
    if (!table_->ReadRecord(recno, record_)) {
      record_ = table_->BlankRecord();
      before_ = record_;
      recno_ = table_->RecordCount() + 1;
      eof_ = true;
      return false;
    }
    before_ = record_;
    recno_ = recno;
    eof_ = false;
    return true;
  }
  record_ = table_->BlankRecord();
  before_ = record_;
  recno_ = table_->RecordCount() + 1;
  eof_ = true;
  return true;
}

bool WorkArea::Flush() {
  if (!table_ || (!dirty_ && !appended_) || eof_) return true;
  if (dirty_ && !table_->WriteRecord(recno_, record_)) return false;
  dirty_ = false;
  // The record as read moves aside for the observers; the buffers are
  // reused, so a write allocates nothing. A record appended to a table
  // opened exclusively is told once, with the fields it was given, so that
  // the orders take its keys in once instead of the blank record's first.
  flushed_.swap(before_);
  before_ = record_;
  const bool appended = std::exchange(appended_, false);
  for (std::size_t i = 0; i < observers_.size(); ++i) {
    if (appended) {
      observers_[i]->OnAppend(*this, recno_, record_);
    } else {
      observers_[i]->OnChange(*this, recno_, flushed_, record_);
    }
  }
  return true;
}

// Records are never removed while a table is shared (zap and pack need it
// exclusively), so a record within the count already read exists; only
// beyond it is the header read again, to see what others appended.
bool WorkArea::Exists(std::uint32_t recno) {
  if (recno <= table_->RecordCount()) return true;
  return Shared() && table_->RefreshHeader() && recno <= table_->RecordCount();
}

bool WorkArea::GoTo(std::uint32_t recno) {
  if (NoTable("goto") || !Flush()) return false;
  bof_ = false;
  if (recno < 1 || !Exists(recno)) return Load(0);
  dirty_ = false;
  unread_ = true;
  recno_ = recno;
  eof_ = false;
  return true;
}

bool WorkArea::GoTop() {
  if (NoTable("gotop") || !Flush() || !FollowOrders()) return false;
  if (Ordered()) return OrderedEnd(true);
  for (std::uint32_t n = 1; Exists(n); ++n) {
    if (!Load(n)) return false;
    if (Visible()) {
      bof_ = false;
      return true;
    }
  }
  Load(0);
  bof_ = true;
  return true;
}

bool WorkArea::GoBottom() {
  if (NoTable("gobottom") || !Flush() || !FollowOrders() || !Refresh()) return false;
  if (Ordered()) return OrderedEnd(false);
  for (std::uint32_t n = table_->RecordCount(); n >= 1; --n) {
    if (!Load(n)) return false;
    if (Visible()) {
      bof_ = false;
      return true;
    }
  }
  Load(0);
  bof_ = true;
  return true;
}

bool WorkArea::Skip(std::int64_t n) {
  if (NoTable("skip") || !Flush() || !FollowOrders()) return false;
  if (n == 0) {
    // Skipping by nothing reads the record again.
    if (!Refresh()) return false;
    return eof_ ? Load(0) : Load(recno_);
  }
  if (Ordered()) return Fetch() && OrderedSkip(n);
  for (; n > 0; --n) {
    bof_ = false;
    if (eof_) return true;
    std::uint32_t next = recno_ + 1;
    for (;; ++next) {
      if (!Exists(next)) return Load(0);
      if (!Load(next)) return false;
      if (Visible()) break;
    }
  }
  for (; n < 0; ++n) {
    if (eof_) {
      if (!GoBottom()) return false;
      const bool none = table_->RecordCount() == 0;
      if (none || eof_) {
        bof_ = true;
        return true;
      }
      continue;
    }
    std::uint32_t prev = recno_;
    const std::uint32_t here = recno_;
    for (;;) {
      if (prev <= 1) {
        // Before the first visible record: stay on it, BOF set.
        if (!Load(here)) return false;
        bof_ = true;
        return true;
      }
      --prev;
      if (!Load(prev)) return false;
      if (Visible()) break;
    }
  }
  return true;
}

std::uint32_t WorkArea::RecCount() {
  if (!table_ || !Refresh()) return 0;
  return table_->RecordCount();
}

std::uint32_t WorkArea::Count() {
  if (NoTable("count") || !Flush() || !FollowOrders() || !Refresh()) return 0;
  if (Ordered()) {
    std::uint32_t keys = 0;
    return orders_->KeyCount(keys) || OrderFailed() ? keys : 0;
  }
  const std::uint32_t count = table_->RecordCount();
  if (!Engine().deleted) return count;
  std::uint32_t seen = 0;
  std::string r;
  for (std::uint32_t n = 1; n <= count; ++n) {
    if (!table_->ReadRecord(n, r)) break;
    if (r[0] != '*') ++seen;
  }
  return seen;
}

int WorkArea::FieldPos(std::string_view name) const {
  return table_ ? table_->FieldIndex(name) + 1 : 0;
}

int WorkArea::FCount() const {
  return table_ ? static_cast<int>(table_->fields().size()) : 0;
}

std::string WorkArea::FieldName(int pos) const {
  if (pos < 1 || pos > FCount()) return "";
  return table_->fields()[static_cast<std::size_t>(pos - 1)].name;
}

Value WorkArea::Get(int pos) {
  if (NoTable("get") || !Fetch()) return Value();
  return table_->GetValue(record_, pos - 1);
}

Value WorkArea::Get(std::string_view name) {
  if (NoTable("get")) return Value();
  const int pos = FieldPos(name);
  if (pos == 0) {
    Fail(Failure(kGenNoVar, kSubField)
             .File(table_->path())
             .Op(std::string(name))
             .Desc("Field not found"));
    return Value();
  }
  return Get(pos);
}

bool WorkArea::CanChange(const char* operation) {
  if (NoTable(operation) || !Fetch()) return false;
  if (eof_) {
    return Fail(
        Failure(kGenBound, kSubWrite).File(table_->path()).Op(operation).Desc("No current record"));
  }
  if (Shared() && !table_->read_only() && !table_locked_ && !Holds(recno_)) {
    return Fail(Failure(kGenUnlocked, kSubLock)
                    .File(table_->path())
                    .Op(operation)
                    .Desc("Record not locked"));
  }
  return true;
}

bool WorkArea::Put(int pos, const Value& value) {
  if (!CanChange("put")) return false;
  if (!table_->PutValue(record_, pos - 1, value)) return false;
  dirty_ = true;
  return true;
}

bool WorkArea::Put(std::string_view name, const Value& value) {
  if (NoTable("put")) return false;
  const int pos = FieldPos(name);
  if (pos == 0) {
    return Fail(Failure(kGenNoVar, kSubField)
                    .File(table_->path())
                    .Op(std::string(name))
                    .Desc("Field not found"));
  }
  return Put(pos, value);
}

bool WorkArea::Delete() {
  if (!CanChange("delete")) return false;
  if (table_->read_only()) return table_->WriteRecord(recno_, record_);  // raises 39
  record_[0] = '*';
  dirty_ = true;
  return true;
}

bool WorkArea::Recall() {
  if (!CanChange("recall")) return false;
  if (table_->read_only()) return table_->WriteRecord(recno_, record_);
  record_[0] = ' ';
  dirty_ = true;
  return true;
}

bool WorkArea::AppendBlank() {
  if (NoTable("append") || !Flush()) return false;
  const std::string& blank = table_->BlankRecord();
  std::uint32_t recno = 0;
  if (!Shared() || table_locked_) {
    if (!Refresh() || !table_->AppendRecord(blank, recno)) return false;
  } else {
    const auto refuse = [this] {
      return Fail(Failure(kGenAppendLock, kSubAppend)
                      .File(table_->path())
                      .Op("append")
                      .Desc("Append lock failed"));
    };
    if (table_->read_only()) return table_->AppendRecord(blank, recno);  // raises 39
    if (!table_->TryLockHeader()) return refuse();
    if (!table_->RefreshHeader()) {
      table_->UnlockHeader();
      return false;
    }
    // The new record is locked before its count is visible to others.
    DropLocks();
    const std::uint32_t next = table_->RecordCount() + 1;
    if (!table_->TryLockRecord(next)) {
      table_->UnlockHeader();
      return refuse();
    }
    const bool ok = table_->AppendRecord(blank, recno);
    table_->UnlockHeader();
    if (!ok) {
      table_->UnlockRecord(next);
      return false;
    }
    locks_.push_back(recno);  // the only lock left
  }
  recno_ = recno;
  record_ = blank;
  before_ = blank;
  dirty_ = false;
  unread_ = false;
  eof_ = bof_ = false;
  if (Shared()) {
    // Others see the record from now on, and read the index files without
    // the table's locks: its keys go in with it, blank, so that the orders
    // hold every record of the file even if this process dies before it
    // writes the record. Its first write then moves them.
    for (std::size_t i = 0; i < observers_.size(); ++i) {
      observers_[i]->OnAppend(*this, recno_, record_);
    }
  } else {
    appended_ = true;  // told when the buffer is written (Flush)
  }
  return true;
}

bool WorkArea::Commit() {
  if (NoTable("commit") || !Flush()) return false;
  bool ok = true;
  for (auto* o : std::vector<TableObserver*>(observers_)) ok = o->OnCommit(*this) && ok;
  return table_->Flush(false) && ok;
}

bool WorkArea::Zap() {
  if (NoTable("zap") || !Flush() || !table_->Zap()) return false;
  for (auto* o : std::vector<TableObserver*>(observers_)) o->OnZap(*this);
  return GoTop();
}

bool WorkArea::Pack() {
  if (NoTable("pack") || !Flush() || !table_->Pack()) return false;
  for (auto* o : std::vector<TableObserver*>(observers_)) o->OnPack(*this);
  return GoTop();
}

bool WorkArea::RLock(std::uint32_t recno) {
  if (NoTable("rlock")) return false;
  if (recno == 0) recno = recno_;
  if (!Shared() || table_locked_) return true;
  if (!Holds(recno)) {
    if (recno == 0 || !table_->TryLockRecord(recno)) return false;
    locks_.insert(std::upper_bound(locks_.begin(), locks_.end(), recno), recno);
  }
  // Read again what another station may have changed before the lock.
  if (!Refresh()) return false;
  if (recno == recno_ && !dirty_) return Load(recno_);
  return true;
}

bool WorkArea::Holds(std::uint32_t recno) const {
  return std::binary_search(locks_.begin(), locks_.end(), recno);
}

void WorkArea::DropLocks() {
  for (std::uint32_t r : locks_) table_->UnlockRecord(r);
  locks_.clear();
}

bool WorkArea::FLock() {
  if (NoTable("flock")) return false;
  if (!Shared() || table_locked_) return true;
  if (!Flush()) return false;
  // One lock per range and handle: the table lock replaces the record
  // locks (Windows refuses overlapping locks on one handle).
  DropLocks();
  if (!table_->TryLockTable()) return false;
  table_locked_ = true;
  if (!Refresh()) return false;
  return eof_ ? Load(0) : Load(recno_);
}

bool WorkArea::Unlock(std::uint32_t recno) {
  if (!table_) return false;
  if (!Flush()) return false;
  const auto it = std::lower_bound(locks_.begin(), locks_.end(), recno);
  if (it == locks_.end() || *it != recno) return false;
  locks_.erase(it);
  return table_->UnlockRecord(recno);
}

void WorkArea::DropFailedChange() {
  // A change that could not be written while its lock was held is given
  // up with the lock (its error has been raised): written later, at the next
  // move or on close, it would reach the file unlocked, over what another
  // station may have written since.
  if (!dirty_ || !Shared()) return;
  record_ = before_;
  dirty_ = false;
}

bool WorkArea::UnlockAll() {
  if (!table_) return false;
  // Writes reach the system before any lock goes.
  const bool ok = Flush();
  if (!ok) {
    DropFailedChange();
    Flush();  // an appended record given up blank is still told, as it is
  }
  DropLocks();
  if (table_locked_) {
    table_->UnlockTable();
    table_locked_ = false;
  }
  return ok;
}

bool WorkArea::IsLocked(std::uint32_t recno) const {
  return table_ && (!table_->shared() || table_locked_ || Holds(recno));
}

void WorkArea::AddObserver(TableObserver* observer) {
  observers_.push_back(observer);
}

void WorkArea::RemoveObserver(TableObserver* observer) {
  std::erase(observers_, observer);
}

}  // namespace talvi::dbf
