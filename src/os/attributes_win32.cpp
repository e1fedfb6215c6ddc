#include <windows.h>

#include "os/attributes.h"

namespace talvi::os {

std::int64_t ReadAttributes(const std::string& path) {
  const DWORD bits = GetFileAttributesA(path.c_str());
  if (bits == INVALID_FILE_ATTRIBUTES) return -1;
  return static_cast<std::int64_t>(bits);
}

bool WriteAttributes(const std::string& path, std::uint32_t bits) {
  return SetFileAttributesA(path.c_str(), bits) != 0;
}

}  // namespace talvi::os
