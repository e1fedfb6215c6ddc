// SPDX-License-Identifier: MIT
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

#include "base/ascii.h"
#include "os/path.h"
#include "os/text1252.h"

namespace talvi::os {
namespace {

constexpr std::string_view kNetworkMarker = "C:\\ORVA\\NET";
constexpr std::string_view kDefaultNetworkFolder = "/var/lib/talvi/net";

using base::StartsWithNoCase;

bool IsSeparator(char c) {
  return c == '\\' || c == '/';
}

}  // namespace

std::string NetworkFolder() {
  const char* env = std::getenv("TALVI_NET_DIR");
  if (env != nullptr && *env != '\0') return env;
  return std::string(kDefaultNetworkFolder);
}

std::string NativePath(std::string_view path) {
  // The network folder is native already; the rest is the program's text.
  std::string out;
  if (StartsWithNoCase(path, kNetworkMarker) &&
      (path.size() == kNetworkMarker.size() || IsSeparator(path[kNetworkMarker.size()]))) {
    out = NetworkFolder();
    path.remove_prefix(kNetworkMarker.size());
    if (!path.empty() && !out.empty() && out.back() == '/') path.remove_prefix(1);
  } else if (path.size() >= 2 && path[1] == ':' &&
             ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'))) {
    path.remove_prefix(2);
  }
  std::string rest = Utf8From1252(path);
  for (char& c : rest) {
    if (c == '\\') c = '/';
  }
  return out + rest;
}

std::string ProgramPath(std::string_view native) {
  std::string out;
  Utf8To1252(native, out);
  return out;
}

bool ProgramCanHold(std::string_view native) {
  std::string out;
  return Utf8To1252(native, out);
}

std::size_t FullPathName(std::string_view path, std::size_t size, std::string& out) {
  if (path.empty()) return 0;
  std::string whole;
  if (path.front() != '/') {
    std::vector<char> cwd(4096);
    while (::getcwd(cwd.data(), cwd.size()) == nullptr) {
      if (errno != ERANGE) return 0;
      cwd.resize(cwd.size() * 2);
    }
    whole = cwd.data();
    whole += '/';
  }
  whole.append(path);
  std::vector<std::string_view> parts;
  std::string_view rest = whole;
  while (!rest.empty()) {
    const std::size_t slash = rest.find('/');
    const std::string_view part = rest.substr(0, slash);
    rest = slash == std::string_view::npos ? std::string_view() : rest.substr(slash + 1);
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
      continue;
    }
    parts.push_back(part);
  }
  std::string full;
  for (std::string_view part : parts) {
    full += '/';
    full.append(part);
  }
  if (full.empty() || (whole.back() == '/' && !parts.empty())) full += '/';
  if (full.size() + 1 > size) return full.size() + 1;
  out = full;
  return full.size();
}

std::string CurrentDrive() {
  return "\\";
}

char PathSeparator() {
  return '/';
}

}  // namespace talvi::os
