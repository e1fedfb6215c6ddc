// SPDX-License-Identifier: MIT
// The header flag that tells readers the table has a structural CDX.
#include "dbf/codes.h"
#include "dbf/raise.h"
#include "dbf/table.h"

namespace talvi::dbf {

bool Table::MarkStructural() {
  if (header_.flags & 0x01) return true;
  if (options_.read_only) {
    return Fail(Failure(kGenReadOnly, kSubReadOnly).File(path_).Desc("Table is read-only"));
  }
  // One byte of its own: no other writer's field shares it, so it needs no lock.
  const auto flags = static_cast<std::uint8_t>(header_.flags | 0x01);
  if (!file_->WriteAt(28, &flags, 1)) {
    return Fail(Failure(kGenWrite, kSubWrite).File(path_).Os(file_->LastError()));
  }
  header_.flags = flags;
  header_.prefix[28] = static_cast<char>(flags);
  return true;
}

}  // namespace talvi::dbf
