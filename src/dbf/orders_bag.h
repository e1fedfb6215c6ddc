// SPDX-License-Identifier: MIT
// What the orders' files share inside the engine: an open index file (an
// NTX file with its one order, or a CDX file with its tags) and the name
// helpers of order and bag names.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "dbf/cdx.h"
#include "dbf/ntx.h"
#include "dbf/orders.h"

namespace talvi::dbf {

struct Orders::Bag {
  std::string path;
  std::string name;  // the file's name, without folder
  std::unique_ptr<NtxFile> ntx;
  std::unique_ptr<CdxFile> cdx;
  std::vector<std::unique_ptr<Order>> orders;
  bool structural = false;      // the table's own CDX, opened with it
  std::uint64_t tags_seen = 0;  // the cdx's tags_version() that `orders` follow
};

// The table lock that building an order over a shared table needs when
// other processes keep that order too (a tag added to a compound file
// that exists, a reindex): nobody changes a record from the reading of
// the keys to the writing of the tree, and no append is half told. The
// area's own when it holds it; otherwise taken here (the area's record
// locks go first, as with FLock) and given back at the end. Error 41 when
// another process holds a lock of the table.
class BuildLock {
 public:
  BuildLock(WorkArea& area, bool needed, const char* operation);
  ~BuildLock();
  BuildLock(const BuildLock&) = delete;
  BuildLock& operator=(const BuildLock&) = delete;
  bool ok() const { return ok_; }

 private:
  WorkArea& area_;
  bool took_ = false;
  bool ok_ = true;
};

std::string UpperText(std::string_view s);
std::string BaseNameOf(const std::string& path);
// Key texts that other writers store may name the table by an alias
// (`cust->name`); the key always belongs to its own table, so the
// qualifier is dropped before compiling (FIELD-> stays).
std::string WithoutAliases(const std::string& text);

}  // namespace talvi::dbf
