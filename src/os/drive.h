// SPDX-License-Identifier: MIT
// What kind of drive a path lives on, and its free space.
#pragma once

#include <cstdint>
#include <string>

namespace talvi::os {

// The system's drive-type numbers.
inline constexpr int kDriveUnknown = 0;
inline constexpr int kDriveNoRootDir = 1;
inline constexpr int kDriveRemovable = 2;
inline constexpr int kDriveFixed = 3;
inline constexpr int kDriveRemote = 4;
inline constexpr int kDriveCdrom = 5;
inline constexpr int kDriveRamdisk = 6;

// The drive type of the mount a native path lives on. On Linux: a path that
// is no existing folder is kDriveNoRootDir; otherwise the file system type
// and device of its mount (from /proc/self/mountinfo) decide: network file
// systems are remote, iso9660/udf are CD-ROM, tmpfs/ramfs are RAM disks, a
// block device marked removable is removable, anything else is fixed.
int DriveType(const std::string& path);

// The drive type for a mount's file system type and removable flag.
int DriveTypeOf(const std::string& fs_type, bool removable);

// The free bytes of the file system a native path lives on (all of them,
// including those reserved for the administrator); 0 when unknown.
std::uint64_t DiskFreeBytes(const std::string& path);

}  // namespace talvi::os
