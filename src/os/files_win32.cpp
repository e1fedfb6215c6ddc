// SPDX-License-Identifier: MIT
#include <windows.h>

#include "os/files.h"

namespace talvi::os {
namespace {

// Keeps the windows alive during the copy; the copy always continues.
DWORD CALLBACK OnCopyProgress(LARGE_INTEGER, LARGE_INTEGER, LARGE_INTEGER, LARGE_INTEGER, DWORD,
                              DWORD, HANDLE, HANDLE, LPVOID data) {
  const auto* progress = static_cast<const CopyProgress*>(data);
  if (progress != nullptr && *progress) (*progress)();
  return PROGRESS_CONTINUE;
}

}  // namespace

bool CopyOneFile(const std::string& from, const std::string& to, const CopyProgress& progress) {
  return CopyFileExA(from.c_str(), to.c_str(), OnCopyProgress, const_cast<CopyProgress*>(&progress),
                     nullptr, 0) != 0;
}

bool DeletePlainFile(const std::string& path) {
  return DeleteFileA(path.c_str()) != 0;
}

bool MovePath(const std::string& from, const std::string& to) {
  return MoveFileA(from.c_str(), to.c_str()) != 0;
}

bool MakeDirectory(const std::string& path) {
  return CreateDirectoryA(path.c_str(), nullptr) != 0;
}

bool RemoveEmptyDirectory(const std::string& path) {
  return RemoveDirectoryA(path.c_str()) != 0;
}

bool CopyLink(const std::string& from, const std::string& to) {
#ifndef COPY_FILE_COPY_SYMLINK
  constexpr DWORD COPY_FILE_COPY_SYMLINK = 0x800;
#endif
  const DWORD bits = GetFileAttributesA(from.c_str());
  if (bits == INVALID_FILE_ATTRIBUTES || (bits & FILE_ATTRIBUTE_REPARSE_POINT) == 0) return false;
  if ((bits & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    return CopyFileExA(from.c_str(), to.c_str(), nullptr, nullptr, nullptr,
                       COPY_FILE_COPY_SYMLINK | COPY_FILE_FAIL_IF_EXISTS) != 0;
  }
  // A folder made from a folder link as its template is a link to the same
  // folder; anything else made instead is taken back.
  if (CreateDirectoryExA(from.c_str(), to.c_str(), nullptr) == 0) return false;
  const DWORD made = GetFileAttributesA(to.c_str());
  if (made != INVALID_FILE_ATTRIBUTES && (made & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return true;
  RemoveDirectoryA(to.c_str());
  return false;
}

bool ChangeDirectory(const std::string& path) {
  return SetCurrentDirectoryA(path.c_str()) != 0;
}

bool CopyLastWriteTime(const std::string& from, const std::string& to) {
  HANDLE src =
      CreateFileA(from.c_str(), 0, 0, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (src == INVALID_HANDLE_VALUE) return false;
  FILETIME written{};
  const bool read = GetFileTime(src, nullptr, nullptr, &written) != 0;
  CloseHandle(src);
  if (!read) return false;
  HANDLE dst = CreateFileA(to.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (dst == INVALID_HANDLE_VALUE) return false;
  const bool set = SetFileTime(dst, nullptr, nullptr, &written) != 0;
  CloseHandle(dst);
  return set;
}

}  // namespace talvi::os
