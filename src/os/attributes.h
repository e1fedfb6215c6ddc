// SPDX-License-Identifier: MIT
// Windows file attribute bits and their stand-ins on Linux.
//
// Linux keeps them like this (see docs/linux-mapping.md):
// - read-only: the owner has no write permission. Setting it removes every
//   write permission; clearing it gives the owner write permission back.
//   A folder keeps the bit in the extended attribute below instead (its
//   entries stay deletable, as on Windows); a folder without owner write
//   permission reads as read-only too, and clearing the bit restores it.
// - hidden, system, archive: the extended attribute "user.talvi.attrib"
//   holding the bits as a decimal number. Without that attribute a name
//   starting with "." counts as hidden. On a file system without extended
//   attributes these bits cannot be changed (the call fails), except that
//   asking for what the name already says succeeds.
// - directory: the entry is a directory.
// - reparse point: the entry is a symbolic link. A link is an entry of its
//   own, as Windows keeps a folder link or a file link: its bits are the
//   link's (the directory bit too when it names a folder, hidden for a dot
//   name), never those of what it names, and they cannot be changed (the
//   call fails unless nothing is to change; the named file stays as it is).
// - normal: a file with none of the other bits.
#pragma once

#include <cstdint>
#include <string>

namespace talvi::os {

inline constexpr std::uint32_t kAttrReadOnly = 0x01;
inline constexpr std::uint32_t kAttrHidden = 0x02;
inline constexpr std::uint32_t kAttrSystem = 0x04;
inline constexpr std::uint32_t kAttrDirectory = 0x10;
inline constexpr std::uint32_t kAttrArchive = 0x20;
inline constexpr std::uint32_t kAttrNormal = 0x80;
inline constexpr std::uint32_t kAttrReparsePoint = 0x400;

// The reparse tags that find data carries (reserved 0) for a symbolic link
// and for a junction. Other reparse points (cloud placeholders, deduplicated
// files) are ordinary files and folders to the program.
inline constexpr std::uint32_t kReparseTagSymlink = 0xA000000C;
inline constexpr std::uint32_t kReparseTagMountPoint = 0xA0000003;

// Whether find data with these bits and reserved-0 value is a link.
inline bool IsLinkEntry(std::uint32_t attributes, std::uint32_t reserved0) {
  return (attributes & kAttrReparsePoint) != 0 &&
         (reserved0 == kReparseTagSymlink || reserved0 == kReparseTagMountPoint);
}

// Whether a native path names a link (a symbolic link; on Windows also a
// junction) rather than what the link names.
bool IsLink(const std::string& path);

// The name of the extended attribute that holds hidden, system and archive.
inline constexpr const char* kAttribXattr = "user.talvi.attrib";

// The attribute bits of a native path, or -1 when it does not exist. A link
// is not followed (see above).
std::int64_t ReadAttributes(const std::string& path);

// Sets the bits that can be set (read-only, hidden, system, archive); the
// directory and normal bits are ignored, as the system does. False when the
// path does not exist or a bit cannot be stored.
bool WriteAttributes(const std::string& path, std::uint32_t bits);

}  // namespace talvi::os
