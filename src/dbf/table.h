// SPDX-License-Identifier: MIT
// One open table file with its memo file: the header, records by number,
// field values, and the byte-range locks of the lock scheme. No cursor:
// navigation belongs to the work area (area.h).
//
// Every failure is an error object handed to the process error handler
// (codes.h); the calls then report false (or null).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "dbf/header.h"
#include "dbf/memo.h"
#include "dbf/table_file.h"
#include "dbf/value.h"
#include "os/shared_file.h"

namespace talvi::dbf {

struct OpenOptions {
  bool shared = true;
  bool read_only = false;
};

class Table {
 public:
  ~Table();
  Table(const Table&) = delete;
  Table& operator=(const Table&) = delete;

  // Opens a table; ".DBF" is added when the name has no extension and the
  // name is cased as the settings say (an existing file of another letter
  // case is found too). A sharing conflict is error 21 with OS code 32.
  static std::unique_ptr<Table> Open(const std::string& path, const OpenOptions& options);
  // Creates a new empty table (and its DBT memo file when a field is M),
  // replacing any old one; format limits are checked first. The new table
  // is left closed.
  static bool Create(const std::string& path, std::vector<FieldDef> fields);

  const std::string& path() const { return path_; }
  const std::string& memo_path() const { return memo_path_; }
  const TableHeader& header() const { return header_; }
  const std::vector<FieldDef>& fields() const { return header_.fields; }
  bool shared() const { return options_.shared; }
  bool read_only() const { return options_.read_only; }
  // The field's index (0-based) by name, any letter case; -1 when none.
  int FieldIndex(std::string_view name) const;

  // The record count as last read, never beyond the records the file
  // holds. RefreshHeader reads it again (after a lock, in shared mode).
  std::uint32_t RecordCount() const;
  bool RefreshHeader();

  // Whole records of record_length bytes, deleted flag first.
  bool ReadRecord(std::uint32_t recno, std::string& record);
  // Records first .. first + count - 1 in one read, one after another.
  bool ReadRecords(std::uint32_t first, std::uint32_t count, std::string& records);
  bool WriteRecord(std::uint32_t recno, const std::string& record);
  // Appends `record` after the last one: the record over the old end
  // byte, then a new 0x1A, then the new count and date. The caller holds
  // the header lock (or the table exclusively) and has refreshed the header.
  bool AppendRecord(const std::string& record, std::uint32_t& recno);
  // A record of blanks (every field empty, not deleted).
  const std::string& BlankRecord() const { return blank_; }

  // An exclusive open gathers its record reads and writes in a cache
  // (table_file.h) and writes the count and date once: WriteBack hands
  // everything buffered to the system, records first, then the header
  // bytes. False (raised: error 24 with the system's code) when a write
  // fails; what is not written stays buffered and is tried again. Flush,
  // Zap and Pack write back too; Close does it a last time and gives up
  // what still cannot be written (raised). A shared open buffers nothing.
  bool WriteBack();
  void Close();

  // Field values of a record held in memory. A memo field reads its memo
  // file; a bad pointer is an error for that field (value: empty text).
  Value GetValue(const std::string& record, int field);
  // The field's bytes as stored.
  std::string_view RawValue(const std::string& record, int field) const;
  // Encodes `value` into the record; a memo value is written to the memo
  // file at once. Type and width errors are raised (33, 34).
  bool PutValue(std::string& record, int field, const Value& value);
  // The memo of a memo field; false (raised) for a bad pointer.
  bool ReadMemo(const std::string& record, int field, std::string& out);

  // Sets the header's structural-index flag (byte 28, bit 0) on the file.
  bool MarkStructural();

  // Empties the table and its memo file (exclusive use). Pack removes the
  // deleted records (exclusive use) and compacts the memo file to the memos
  // of the records that stay (a dBase IV memo file, which is read only
  // here, keeps its unused blocks). Both write the new table beside and
  // rename it over the table, so that a crash leaves the old or the new
  // pair (README.md); Pack gives true once the packed table has the name,
  // even when compacting the memo file fails after that (raised).
  bool Zap();
  bool Pack();
  // Hands every write to the system; with the setting commit_to_disk, or
  // `to_disk`, also to the device.
  bool Flush(bool to_disk);

  // Try-once locks of the scheme (settings.h). They fail quietly: the
  // caller decides what a refused lock means.
  bool TryLockRecord(std::uint32_t recno);
  bool UnlockRecord(std::uint32_t recno);
  bool TryLockTable();
  bool UnlockTable();
  bool TryLockHeader();
  bool UnlockHeader();

  // Consistency report for the check tool: `problems` is empty when the
  // header, the file size, the count, the deleted flags and the memo
  // chains agree; `notes` lists what other writers do and readers
  // tolerate (no end byte, another header terminator).
  struct Report {
    std::vector<std::string> problems;
    std::vector<std::string> notes;
  };
  Report Check();

  // The first block after `block` where another memo of this table starts
  // (0 when none known), from a scan of the table's memo pointers: made
  // once in exclusive use; in shared mode made again after every lock
  // (RefreshHeader) and kept no further than the next free block that the
  // scan saw, where every memo appended since starts.
  std::uint32_t NextMemoStart(std::uint32_t block);

 private:
  Table() = default;
  bool OpenMemo();
  void ScanMemoStarts();
  // Pack's and zap's steps (table_pack.cpp).
  struct PackPlan;
  bool ForEachRecord(const std::function<bool(std::uint32_t, std::string_view)>& fn);
  bool CopyMemosToEnd(PackPlan& plan);
  void UndoMemoCopies(const PackPlan& plan);
  bool WritePacked(const PackPlan& plan, bool front, bool keep = true);
  bool CompactMemos(const PackPlan& plan);
  bool FieldOk(const std::string& record, int field, const char* operation);
  bool WritePrefix();
  bool TouchDate();
  bool WriteBuffered();
  std::string MakeBlank() const;
  bool IoFail(int gencode, int subcode, const std::string& what, int oscode);
  std::uint64_t RecordOffset(std::uint32_t recno) const;
  std::uint32_t RecordsInFile() const;

  std::string path_;
  std::string memo_path_;
  OpenOptions options_;
  TableHeader header_;
  TableHeader reread_;  // the header as RefreshHeader reads it again
  std::unique_ptr<TableFile> file_;
  std::unique_ptr<MemoFile> memo_;
  std::int64_t file_size_ = 0;
  bool date_touched_ = false;
  bool prefix_pending_ = false;  // date and count wait for WriteBack (exclusive)
  std::string blank_;
  std::string append_;  // the record and the end byte of an append
  std::vector<std::uint32_t> memo_starts_;
  bool memo_starts_known_ = false;
  std::uint32_t memo_scan_free_ = 0;  // shared mode: the next free block after the scan
};

}  // namespace talvi::dbf
