// SPDX-License-Identifier: MIT
#include <windows.h>

#include <atomic>
#include <string>

#include "os/atomic_file.h"

namespace talvi::os {
namespace {

std::atomic<unsigned> g_counter{0};

}  // namespace

bool ReplaceFileContents(const std::string& path, std::string_view bytes) {
  // A folder is never replaced, and a read-only file is refused before any
  // temporary file exists, whatever the file system would let us do.
  const DWORD existing = GetFileAttributesA(path.c_str());
  if (existing != INVALID_FILE_ATTRIBUTES &&
      (existing & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) != 0) {
    return false;
  }
  HANDLE h = INVALID_HANDLE_VALUE;
  std::string temp;
  for (int attempt = 0; attempt < 100 && h == INVALID_HANDLE_VALUE; ++attempt) {
    temp = path + ".talvi-" + std::to_string(GetCurrentProcessId()) + "-" +
           std::to_string(g_counter.fetch_add(1));
    h = CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                    nullptr);
    if (h == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) return false;
  }
  if (h == INVALID_HANDLE_VALUE) return false;
  bool ok = true;
  while (ok && !bytes.empty()) {
    const DWORD chunk = bytes.size() > 0x10000000u ? 0x10000000u : static_cast<DWORD>(bytes.size());
    DWORD written = 0;
    ok = WriteFile(h, bytes.data(), chunk, &written, nullptr) != 0 && written > 0;
    if (ok) bytes.remove_prefix(written);
  }
  ok = FlushFileBuffers(h) != 0 && ok;
  ok = CloseHandle(h) != 0 && ok;
  if (ok) {
    // An existing file keeps its attributes and security through ReplaceFile;
    // a new one is simply renamed into place.
    if (existing != INVALID_FILE_ATTRIBUTES) {
      ok = ReplaceFileA(path.c_str(), temp.c_str(), nullptr, REPLACEFILE_WRITE_THROUGH, nullptr,
                        nullptr) != 0;
      // Not every ReplaceFileA keeps the replaced file's hidden and system
      // bits (Wine's drops them): put back what is missing.
      const DWORD kept = existing & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
      const DWORD now = GetFileAttributesA(path.c_str());
      if (ok && now != INVALID_FILE_ATTRIBUTES && (now & kept) != kept) {
        SetFileAttributesA(path.c_str(), now | kept);
      }
    } else {
      ok = MoveFileExA(temp.c_str(), path.c_str(), MOVEFILE_WRITE_THROUGH) != 0;
    }
  }
  if (!ok) DeleteFileA(temp.c_str());
  return ok;
}

}  // namespace talvi::os
