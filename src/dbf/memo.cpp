// SPDX-License-Identifier: MIT
#include "dbf/memo.h"

#include <chrono>
#include <thread>

#include "dbf/memo_impl.h"
#include "dbf/settings.h"

namespace talvi::dbf {

std::unique_ptr<MemoFile> MemoFile::Open(MemoKind kind, std::unique_ptr<os::SharedFile> file,
                                         std::string& why) {
  switch (kind) {
    case MemoKind::kDbt: return OpenDbt(std::move(file), false, why);
    case MemoKind::kDbtIV: return OpenDbt(std::move(file), true, why);
    case MemoKind::kFpt: return OpenFpt(std::move(file), why);
    case MemoKind::kNone: break;
  }
  why = "no memo file";
  return nullptr;
}

std::string MemoFile::NewHeader(MemoKind kind) {
  return kind == MemoKind::kFpt ? NewFptHeader() : NewDbtHeader();
}

bool MemoFile::LockAppend(std::string& why) {
  // The memo file has one append lock, the first byte of the lock region,
  // as the table's header lock is. Other appenders hold it for a few
  // writes only, so a short wait is enough.
  const std::uint64_t at = Engine().lock_offset;
  for (int i = 0; i < 2000; ++i) {
    if (file_->TryLock(at, 1)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  why = "memo file append lock not granted";
  return false;
}

void MemoFile::UnlockAppend() {
  file_->Unlock(Engine().lock_offset, 1);
}

}  // namespace talvi::dbf
