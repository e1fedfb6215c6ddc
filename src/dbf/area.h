// SPDX-License-Identifier: MIT
// A work area: one open table with its cursor, record buffer and locks.
//
// Navigation hides deleted records while the setting says so (GoTop,
// GoBottom, Skip and Count pass over them; GoTo still reaches a deleted
// record by number, so that it can be recalled). The current record is
// kept in a buffer; changes reach the file when the cursor moves, on
// Commit, on Unlock and on Close, and always before a lock is released
// (an exclusive open's table gathers them in its cache until Commit or
// Close, table_file.h). In shared mode nothing is cached across a lock:
// taking a lock reads the header and the record again, and changing a
// record needs its lock (or the table lock).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "dbf/table.h"

namespace talvi::dbf {

class WorkArea;
class Orders;
class Expression;

// What an index (or anything that follows a table) is told. Each call
// comes after the change has reached the file (or, for an exclusive open,
// the table's cache).
class TableObserver {
 public:
  virtual ~TableObserver() = default;
  // An appended record, once: when its buffer is first written (or left
  // blank), with the fields written then. Until then the record is locked
  // in shared mode (or the table is), and navigation of its own area
  // writes it first.
  virtual void OnAppend(WorkArea& area, std::uint32_t recno, const std::string& record) = 0;
  // A record changed: field writes, delete and recall. `before` is the
  // record as it was read (after the lock, in shared mode).
  virtual void OnChange(WorkArea& area, std::uint32_t recno, const std::string& before,
                        const std::string& after) = 0;
  virtual void OnZap(WorkArea& area) = 0;
  // A commit: what the observer keeps back goes to the file; false when
  // that failed (raised).
  virtual bool OnCommit(WorkArea& /*area*/) { return true; }
  virtual void OnPack(WorkArea& area) = 0;
  virtual void OnClose(WorkArea& area) = 0;
};

class WorkArea {
 public:
  explicit WorkArea(int number);
  ~WorkArea();
  WorkArea(const WorkArea&) = delete;
  WorkArea& operator=(const WorkArea&) = delete;

  // Opens a table here (closing what was open) and goes to the top.
  bool Use(const std::string& path, const std::string& alias, const OpenOptions& options);
  // Writes what is pending, releases every lock and closes.
  void Close();
  bool used() const { return table_ != nullptr; }
  int number() const { return number_; }
  const std::string& alias() const { return alias_; }
  Table* table() { return table_.get(); }

  // Navigation. Moving writes a pending change first. GoTo reads its
  // record when it is first used, so that going to a record and locking it
  // reads the record once, after the lock.
  bool GoTo(std::uint32_t recno);
  bool GoTop();
  bool GoBottom();
  bool Skip(std::int64_t n = 1);
  bool Eof() const { return eof_; }
  bool Bof() const { return bof_; }
  std::uint32_t RecNo() const { return recno_; }
  // The number of records in the file (deleted ones included).
  std::uint32_t RecCount();
  // The number of records that navigation shows.
  std::uint32_t Count();
  bool Deleted() { return Fetch() && !record_.empty() && record_[0] == '*'; }
  const std::string& record() {
    Fetch();
    return record_;
  }

  // Fields by 1-based position or by name.
  int FieldPos(std::string_view name) const;
  int FCount() const;
  std::string FieldName(int pos) const;
  Value Get(int pos);
  Value Get(std::string_view name);
  bool Put(int pos, const Value& value);
  bool Put(std::string_view name, const Value& value);

  // Appends a blank record and makes it current; in shared mode under the
  // header lock (error 40 when another holds it), leaving the new record
  // locked and earlier record locks released.
  bool AppendBlank();
  bool Delete();
  bool Recall();
  // Writes the pending change and hands the files to the system (to the
  // device too with the commit_to_disk setting).
  bool Commit();
  bool Zap();
  bool Pack();

  // Try-once locks. RLock(0) locks the current record. Exclusive use
  // needs no locks (they succeed).
  bool RLock(std::uint32_t recno = 0);
  bool FLock();
  bool Unlock(std::uint32_t recno);
  bool UnlockAll();
  bool IsLocked(std::uint32_t recno) const;
  bool TableLocked() const { return table_locked_; }
  const std::vector<std::uint32_t>& LockedRecords() const { return locks_; }

  // The orders (index files) of this area; navigation follows the
  // current one when there is one (order 0 = record order).
  Orders& orders() { return *orders_; }
  // Seeks a key in the current order: positioned on the first match (the
  // last with `last`); without a match on the next key with `soft`, else
  // past the end. False only on failure; Found() tells about the match.
  // Without a current order: error, past the end.
  bool Seek(const Value& key, bool soft = false, bool last = false);
  bool Found() const { return found_; }

  // `expr` evaluated with `record` (of number `recno`) as this area's
  // record and this area current in the process's work areas; the area's
  // own buffer and cursor are left as they were.
  Value EvaluateOn(const Expression& expr, const std::string& record, std::uint32_t recno);

  void AddObserver(TableObserver* observer);
  void RemoveObserver(TableObserver* observer);

 private:
  bool NoTable(const char* operation);
  bool Load(std::uint32_t recno);
  // Reads the record that GoTo left unread (see GoTo); true when there is
  // nothing to read.
  bool Fetch();
  bool Flush();
  bool Visible();
  bool Shared() const { return table_ && table_->shared(); }
  bool Refresh();
  bool Ordered();
  // The orders in line with what other processes did to the shared CDX
  // files that this area's calls found changed (no file access); false
  // when the current order went and that is raised now.
  bool FollowOrders();
  // After a failed call through the current order: FollowOrders, false.
  bool OrderFailed();
  bool OrderedSkip(std::int64_t n);
  bool OrderedEnd(bool top);
  // Load for a record that the orders found (and may have read already).
  bool LoadFound(std::uint32_t recno);
  bool Exists(std::uint32_t recno);
  bool CanChange(const char* operation);
  bool Holds(std::uint32_t recno) const;
  void DropLocks();
  void DropFailedChange();

  int number_;
  std::string alias_;
  std::unique_ptr<Table> table_;
  std::uint32_t recno_ = 0;
  std::string record_;
  std::string before_;   // the record as read, for observers
  std::string flushed_;  // before_ while the observers hear of a write
  bool dirty_ = false;
  bool appended_ = false;  // appended, not yet told to the observers (Flush)
  bool unread_ = false;    // record_ is not yet the record recno_ (GoTo)
  bool eof_ = true;
  bool bof_ = true;
  std::vector<std::uint32_t> locks_;  // ascending; no allocation per lock
  bool table_locked_ = false;
  std::vector<TableObserver*> observers_;
  std::unique_ptr<Orders> orders_;
  bool found_ = false;
};

}  // namespace talvi::dbf
