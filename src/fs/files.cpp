// SPDX-License-Identifier: MIT
#include "fs/files.h"

#include "fs/hooks.h"
#include "os/drive.h"
#include "os/files.h"
#include "os/path.h"

namespace talvi::fs {
namespace {

constexpr std::size_t kFullNameBuffer = 260;

}  // namespace

bool COPYFILE(const std::string& source, const std::string& destination,
              const std::function<void()>& progress) {
  const os::CopyProgress tick = progress ? progress : os::CopyProgress(Refresh);
  return os::CopyOneFile(os::NativePath(source), os::NativePath(destination), tick);
}

bool CREATEDIR(const std::string& path, std::optional<std::int64_t> /*security*/) {
  return os::MakeDirectory(os::NativePath(path));
}

bool DELETEFILE(const std::string& path) {
  return os::DeletePlainFile(os::NativePath(path));
}

bool MOVEFILE(const std::string& old_path, const std::string& new_path) {
  return os::MovePath(os::NativePath(old_path), os::NativePath(new_path));
}

bool REMOVEDIR(const std::string& path) {
  return os::RemoveEmptyDirectory(os::NativePath(path));
}

bool SETCURDIR(const std::string& path) {
  return os::ChangeDirectory(os::NativePath(path));
}

bool SETFILEDATETIME(const std::string& source, const std::string& destination) {
  return os::CopyLastWriteTime(os::NativePath(source), os::NativePath(destination));
}

std::string FULLNAME(const std::string& path) {
  // The buffer holds the program's form; a native name may take up to three
  // bytes for each of its characters.
  std::string full;
  const std::size_t n = os::FullPathName(os::NativePath(path), 3 * kFullNameBuffer, full);
  if (n == 0 || n >= 3 * kFullNameBuffer) return {};
  full = os::ProgramPath(full);
  return full.size() < kFullNameBuffer ? full : std::string();
}

std::int64_t DISKFREESPACE(const std::string& path) {
  return static_cast<std::int64_t>(os::DiskFreeBytes(os::NativePath(path)));
}

int GETDRIVETYPE(const std::string& root) {
  return os::DriveType(os::NativePath(root));
}

}  // namespace talvi::fs
