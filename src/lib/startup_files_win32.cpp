#include <windows.h>

#include <cstdlib>

#include "lib/startup_files.h"

namespace talvi::lib::startup_files {

std::vector<FolderEntry> ListFolder(const std::string& folder) {
  std::vector<FolderEntry> entries;
  WIN32_FIND_DATAA data;
  const HANDLE find = FindFirstFileA(Join(folder, "*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return entries;
  do {
    const std::string name = data.cFileName;
    if (name == "." || name == "..") continue;
    const DWORD a = data.dwFileAttributes;
    entries.push_back({name, (a & FILE_ATTRIBUTE_DIRECTORY) != 0,
                       (a & FILE_ATTRIBUTE_READONLY) != 0, (a & FILE_ATTRIBUTE_HIDDEN) != 0,
                       (a & FILE_ATTRIBUTE_SYSTEM) != 0});
  } while (FindNextFileA(find, &data));
  FindClose(find);
  return entries;
}

std::string Join(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  const char last = folder.back();
  if (last == Separator() || last == '/') return folder + name;
  return folder + Separator() + name;
}

bool EraseFile(const std::string& path) { return DeleteFileA(path.c_str()) != 0; }

bool RemoveFolder(const std::string& path) { return RemoveDirectoryA(path.c_str()) != 0; }

bool PathExists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void ClearReadOnlyAndHidden(const std::string& path) {
  const DWORD a = GetFileAttributesA(path.c_str());
  if (a == INVALID_FILE_ATTRIBUTES) return;
  const DWORD cleared = a & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN);
  if (cleared != a) SetFileAttributesA(path.c_str(), cleared);
}

std::string TempVariable() {
  const char* value = std::getenv("TEMP");
  return value == nullptr ? std::string() : std::string(value);
}

char Separator() { return '\\'; }

void FailCriticalErrorsQuietly() { SetErrorMode(SEM_FAILCRITICALERRORS); }

void CloseFile(FileHandle handle) { CloseHandle(reinterpret_cast<HANDLE>(handle)); }

}  // namespace talvi::lib::startup_files
