#include <windows.h>

#include <string>

#include "os/atomic_file.h"

namespace talvi::os {

bool ReplaceFileContents(const std::string& path, std::string_view bytes) {
  const std::string temp = path + ".talvi-tmp";
  HANDLE h = CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
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
    ok = MoveFileExA(temp.c_str(), path.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
  }
  if (!ok) DeleteFileA(temp.c_str());
  return ok;
}

}  // namespace talvi::os
