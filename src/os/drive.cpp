// SPDX-License-Identifier: MIT
#include "os/drive.h"

#include <array>
#include <string_view>

namespace talvi::os {

int DriveTypeOf(const std::string& fs_type, bool removable) {
  static constexpr std::array<std::string_view, 9> kRemote = {
      "nfs", "nfs4", "cifs", "smb3", "smbfs", "9p", "afs", "ncpfs", "fuse.sshfs"};
  for (std::string_view r : kRemote) {
    if (fs_type == r) return kDriveRemote;
  }
  if (fs_type == "iso9660" || fs_type == "udf") return kDriveCdrom;
  if (fs_type == "tmpfs" || fs_type == "ramfs") return kDriveRamdisk;
  return removable ? kDriveRemovable : kDriveFixed;
}

}  // namespace talvi::os
