// SPDX-License-Identifier: MIT
#include "fs/attributes.h"

#include "os/attributes.h"
#include "os/path.h"

namespace talvi::fs {

std::int64_t GETFILEATTRIBUTES(const std::string& path) {
  return os::ReadAttributes(os::NativePath(path));
}

bool SETFILEATTRIBUTES(const std::string& path, std::int64_t bits) {
  return os::WriteAttributes(os::NativePath(path), static_cast<std::uint32_t>(bits & 0xFFFFFFFF));
}

void CLEARREADONLY(const std::string& path) {
  const std::int64_t attr = GETFILEATTRIBUTES(path);
  if ((attr & os::kAttrReadOnly) != 0) SETFILEATTRIBUTES(path, attr - os::kAttrReadOnly);
}

void CLEARHIDDEN(const std::string& path) {
  const std::int64_t attr = GETFILEATTRIBUTES(path);
  if ((attr & os::kAttrHidden) != 0) SETFILEATTRIBUTES(path, attr - os::kAttrHidden);
}

void SETHIDDEN(const std::string& path) {
  const std::int64_t attr = GETFILEATTRIBUTES(path);
  if ((attr & os::kAttrHidden) == 0) SETFILEATTRIBUTES(path, attr + os::kAttrHidden);
}

}  // namespace talvi::fs
