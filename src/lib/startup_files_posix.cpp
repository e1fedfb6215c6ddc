#include <dirent.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "lib/startup_files.h"

namespace talvi::lib::startup_files {
namespace {

constexpr const char* kAttributeName = "user.DOSATTRIB";
constexpr unsigned kHidden = 2, kSystem = 4;

unsigned DosAttributes(const std::string& path) {
  char text[32] = {};
  const ssize_t n = lgetxattr(path.c_str(), kAttributeName, text, sizeof text - 1);
  if (n <= 0) return 0;
  return static_cast<unsigned>(std::strtoul(text, nullptr, 0));
}

}  // namespace

std::vector<FolderEntry> ListFolder(const std::string& folder) {
  std::vector<FolderEntry> entries;
  DIR* dir = opendir(folder.empty() ? "." : folder.c_str());
  if (dir == nullptr) return entries;
  while (const dirent* d = readdir(dir)) {
    const std::string name = d->d_name;
    if (name == "." || name == "..") continue;
    const std::string path = Join(folder, name);
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0) continue;
    const unsigned dos = DosAttributes(path);
    entries.push_back({name, S_ISDIR(st.st_mode), (st.st_mode & S_IWUSR) == 0,
                       (dos & kHidden) != 0 || name.front() == '.', (dos & kSystem) != 0});
  }
  closedir(dir);
  std::sort(entries.begin(), entries.end(),
            [](const FolderEntry& a, const FolderEntry& b) { return a.name < b.name; });
  return entries;
}

std::string Join(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  const char last = folder.back();
  if (last == Separator() || last == '/') return folder + name;
  return folder + Separator() + name;
}

bool EraseFile(const std::string& path) {
  struct stat st {};
  if (lstat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return false;
  if (!S_ISLNK(st.st_mode) && (st.st_mode & S_IWUSR) == 0) return false;  // read-only
  return unlink(path.c_str()) == 0;
}

bool RemoveFolder(const std::string& path) { return rmdir(path.c_str()) == 0; }

bool PathExists(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0;
}

void ClearReadOnlyAndHidden(const std::string& path) {
  struct stat st {};
  if (lstat(path.c_str(), &st) != 0 || S_ISLNK(st.st_mode)) return;
  if ((st.st_mode & S_IWUSR) == 0) chmod(path.c_str(), (st.st_mode & 07777) | S_IWUSR);
  if (const unsigned dos = DosAttributes(path); (dos & kHidden) != 0) {
    char text[16];
    const int n = std::snprintf(text, sizeof text, "0x%x", dos & ~kHidden);
    lsetxattr(path.c_str(), kAttributeName, text, static_cast<std::size_t>(n), 0);
  }
}

std::string TempVariable() {
  const char* value = std::getenv("TEMP");
  return value == nullptr ? std::string() : std::string(value);
}

char Separator() { return '/'; }

// Linux shows no box of its own for a drive that is not ready.
void FailCriticalErrorsQuietly() {}

void CloseFile(FileHandle handle) { close(static_cast<int>(handle)); }

}  // namespace talvi::lib::startup_files
