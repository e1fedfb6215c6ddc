// SPDX-License-Identifier: MIT
#include "fs/profile_file.h"

#include <sys/stat.h>

#include <fstream>
#include <iterator>
#include <sstream>
#include <vector>

#include "fs/ini_text.h"
#include "os/atomic_file.h"

namespace talvi::fs {
namespace {

// The file's bytes, or nothing when it is missing or no regular file.
std::optional<std::string> ReadFile(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

bool IsReadOnly(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && (st.st_mode & S_IWUSR) == 0;
}

std::string Limit(std::string value, std::size_t size) {
  if (size == 0) return {};
  if (value.size() > size - 1) value.resize(size - 1);
  return value;
}

std::string Default(const std::optional<std::string>& defaultValue, std::size_t size) {
  std::string d = defaultValue.value_or("");
  while (!d.empty() && d.back() == ' ') d.pop_back();
  return Limit(std::move(d), size);
}

// Names each followed by a zero byte; cut to size-2 characters when the
// list and its final zero byte do not fit.
std::string ZeroList(const std::vector<std::string>& names, std::size_t size) {
  std::string list;
  for (const std::string& n : names) {
    list += n;
    list += '\0';
  }
  if (list.size() + 1 <= size) return list;
  if (size < 2) return {};
  list.resize(size - 2);
  return list;
}

}  // namespace

std::string ReadProfileString(const std::optional<std::string>& section,
                              const std::optional<std::string>& key,
                              const std::optional<std::string>& defaultValue, std::size_t size,
                              const std::string& path) {
  const std::optional<std::string> bytes = ReadFile(path);
  if (!section) {
    return bytes ? ZeroList(IniText(*bytes).SectionNames(), size) : std::string();
  }
  if (!bytes) return Default(defaultValue, size);
  const IniText ini(*bytes);
  if (!key) {
    const auto names = ini.KeyNames(*section);
    return names ? ZeroList(*names, size) : Default(defaultValue, size);
  }
  const auto value = ini.Value(*section, *key);
  return value ? Limit(*value, size) : Default(defaultValue, size);
}

bool WriteProfileString(const std::optional<std::string>& section,
                        const std::optional<std::string>& key,
                        const std::optional<std::string>& value, const std::string& path) {
  if (!section) return !key && !value;  // all null: a flush request, nothing buffered
  if (!IsStorableEntry(*section, key ? &*key : nullptr, value ? &*value : nullptr)) return false;
  const std::optional<std::string> bytes = ReadFile(path);
  if (!bytes) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) return false;  // a folder or device, not a file
    if (!key || !value) return true;                   // nothing to delete
  } else if (IsReadOnly(path)) {
    return false;
  }
  IniText ini(bytes.value_or(""));
  if (!key) {
    if (!ini.DeleteSection(*section)) return true;
  } else if (!value) {
    if (!ini.DeleteKey(*section, *key)) return true;
  } else {
    ini.Set(*section, *key, *value);
  }
  const std::string content = ini.Content();
  if (bytes && content == *bytes) return true;
  return os::ReplaceFileContents(path, content);
}

}  // namespace talvi::fs
