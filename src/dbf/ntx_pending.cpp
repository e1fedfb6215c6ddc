// SPDX-License-Identifier: MIT
// NTX pages kept back while the file is opened exclusively, and written
// in runs of neighbouring pages.
#include <algorithm>
#include <cstring>
#include <vector>

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
  std::vector<std::uint32_t> order;
  order.reserve(pending_.size());
  for (const auto& p : pending_) order.push_back(p.first);
  std::sort(order.begin(), order.end());
  std::vector<unsigned char> run;
  for (std::size_t i = 0; i < order.size();) {
    const std::uint32_t at = order[i];
    std::size_t j = i;
    run.clear();
    while (j < order.size() && order[j] == at + run.size() && run.size() < (256u << 10)) {
      const auto& page = pending_.at(order[j++]);
      run.insert(run.end(), page.begin(), page.end());
    }
    if (!file_->WriteAt(at, run.data(), run.size())) {
      return Fail(Failure(kGenWrite, kSubWrite).File(path_).Os(file_->LastError()));
    }
    for (; i < j; ++i) pending_.erase(order[i]);
  }
  return true;
}

}  // namespace talvi::dbf
