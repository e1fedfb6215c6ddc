// SPDX-License-Identifier: MIT
#include <sys/stat.h>
#include <sys/xattr.h>

#include <cerrno>
#include <charconv>
#include <optional>
#include <string_view>

#include "os/attributes.h"

namespace talvi::os {
namespace {

constexpr std::uint32_t kStoredBits = kAttrHidden | kAttrSystem | kAttrArchive;
// A folder keeps its read-only bit in the extended attribute as well: taking
// away its write permission would stop its entries from being deleted, which
// the bit does not do on Windows.
constexpr std::uint32_t kStoredDirBits = kStoredBits | kAttrReadOnly;

bool DotName(const std::string& path) {
  std::string_view p = path;
  while (p.size() > 1 && p.back() == '/') p.remove_suffix(1);
  const std::size_t slash = p.rfind('/');
  const std::string_view name = slash == std::string_view::npos ? p : p.substr(slash + 1);
  return name.size() > 1 && name.front() == '.' && name != "..";
}

// The stored bits, or nothing when the attribute is absent or unreadable.
std::optional<std::uint32_t> StoredBits(const std::string& path, bool dir) {
  char buf[16];
  const ssize_t n = ::getxattr(path.c_str(), kAttribXattr, buf, sizeof buf);
  if (n <= 0) return std::nullopt;
  std::uint32_t bits = 0;
  const auto [end, ec] = std::from_chars(buf, buf + n, bits);
  if (ec != std::errc()) return std::nullopt;
  return bits & (dir ? kStoredDirBits : kStoredBits);
}

// The bits of a symbolic link (`path` names the link itself). Linux keeps
// no permission or extended attribute of a link's own, so only what it is
// and its name count.
std::uint32_t LinkBits(const std::string& path) {
  std::uint32_t bits = kAttrReparsePoint;
  struct stat target {};
  if (::stat(path.c_str(), &target) == 0 && S_ISDIR(target.st_mode)) bits |= kAttrDirectory;
  if (DotName(path)) bits |= kAttrHidden;
  return bits;
}

constexpr std::uint32_t kSettable = kAttrReadOnly | kAttrHidden | kAttrSystem | kAttrArchive;

}  // namespace

std::int64_t ReadAttributes(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return -1;
  if (S_ISLNK(st.st_mode)) return LinkBits(path);
  std::uint32_t bits = 0;
  if ((st.st_mode & S_IWUSR) == 0) bits |= kAttrReadOnly;
  if (S_ISDIR(st.st_mode)) bits |= kAttrDirectory;
  if (const auto stored = StoredBits(path, S_ISDIR(st.st_mode))) {
    bits |= *stored;
  } else if (DotName(path)) {
    bits |= kAttrHidden;
  }
  if (bits == 0) bits = kAttrNormal;
  return bits;
}

bool IsLink(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

bool WriteAttributes(const std::string& path, std::uint32_t bits) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return false;
  // chmod and setxattr would reach the file the link names.
  if (S_ISLNK(st.st_mode)) return (bits & kSettable) == (LinkBits(path) & kSettable);
  const mode_t old_mode = st.st_mode & 07777;
  mode_t mode = old_mode;
  const bool dir = S_ISDIR(st.st_mode);
  const std::uint32_t stored_mask = dir ? kStoredDirBits : kStoredBits;
  if ((bits & kAttrReadOnly) != 0) {
    if (!dir) mode &= static_cast<mode_t>(~(S_IWUSR | S_IWGRP | S_IWOTH));
  } else {
    mode |= S_IWUSR;
  }
  const std::uint32_t wanted = bits & stored_mask;
  const std::uint32_t before = static_cast<std::uint32_t>(ReadAttributes(path));
  // A folder's read-only bit may also come from its mode; the mode is fixed
  // below, so compare only what the attribute holds for it.
  const auto stored = StoredBits(path, dir);
  const std::uint32_t current = stored ? *stored : (before & kStoredBits);
  if (current != wanted) {
    // Changing a user attribute needs write permission on the file.
    const bool lend_write = (old_mode & S_IWUSR) == 0;
    if (lend_write && ::chmod(path.c_str(), old_mode | S_IWUSR) != 0) return false;
    const std::string text = std::to_string(wanted);
    if (::setxattr(path.c_str(), kAttribXattr, text.data(), text.size(), 0) != 0) {
      if (lend_write) ::chmod(path.c_str(), old_mode);
      return false;
    }
    if (lend_write && mode == old_mode) return ::chmod(path.c_str(), old_mode) == 0;
  }
  if (mode != old_mode && ::chmod(path.c_str(), mode) != 0) return false;
  return true;
}

}  // namespace talvi::os
