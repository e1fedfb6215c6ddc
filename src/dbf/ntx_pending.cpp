// SPDX-License-Identifier: MIT
// NTX pages kept back while the file is opened exclusively, and written
// in runs of neighbouring pages.
#include <cstring>

#include "dbf/codes.h"
#include "dbf/ntx.h"
#include "dbf/raise.h"

namespace talvi::dbf {
namespace {
// How many changed pages exclusive use keeps back before writing them.
constexpr std::size_t kMaxPending = 16384;
}  // namespace

bool NtxFile::Put(std::uint32_t offset, const unsigned char* page) {
  if (behind_) {
    std::memcpy(pending_[offset].data(), page, kNtxPageSize);
    return pending_.size() < kMaxPending || WritePending();
  }
  if (!file_->WriteAt(offset, page, kNtxPageSize)) {
    return Fail(Failure(kGenWrite, kSubWrite).File(path_).Os(file_->LastError()));
  }
  return true;
}

std::int64_t NtxFile::Get(std::uint32_t offset, unsigned char* data, std::size_t size) {
  const std::uint32_t page = offset / kNtxPageSize * kNtxPageSize;
  const auto it = pending_.find(page);
  if (it != pending_.end() && offset - page + size <= kNtxPageSize) {
    std::memcpy(data, it->second.data() + (offset - page), size);
    return static_cast<std::int64_t>(size);
  }
  return file_->ReadAt(offset, data, size);
}

bool NtxFile::WritePending() {
  if (!WriteKeptPages(*file_, pending_)) {
    return Fail(Failure(kGenWrite, kSubWrite).File(path_).Os(file_->LastError()));
  }
  return true;
}

}  // namespace talvi::dbf
