// SPDX-License-Identifier: MIT
#include <windows.h>

#include "os/drive.h"

namespace talvi::os {

int DriveType(const std::string& path) {
  return static_cast<int>(GetDriveTypeA(path.empty() ? nullptr : path.c_str()));
}

std::uint64_t DiskFreeBytes(const std::string& path) {
  ULARGE_INTEGER total_free{};
  GetDiskFreeSpaceExA(path.c_str(), nullptr, nullptr, &total_free);
  return total_free.QuadPart;
}

}  // namespace talvi::os
