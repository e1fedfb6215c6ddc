// SPDX-License-Identifier: MIT
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <map>
#include <mutex>
#include <vector>

#include "os/attributes.h"
#include "os/filetime.h"
#include "os/find.h"
#include "os/path.h"
#include "os/wildcard.h"

namespace talvi::os {
namespace {

struct Entry {
  std::string native;   // the name on disk
  std::string program;  // the name the record gives (1252)
};

struct Search {
  std::string dir;  // with a trailing "/", or empty for the current folder
  std::vector<Entry> entries;
  std::size_t next = 0;
};

std::mutex g_mutex;
std::map<FindHandle, Search> g_searches;
FindHandle g_next_handle = 1;

unsigned char FoldAscii(unsigned char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - 0x20) : c;
}

bool LessNoCase(const Entry& ea, const Entry& eb) {
  const std::string& a = ea.program;
  const std::string& b = eb.program;
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return FoldAscii(static_cast<unsigned char>(x)) < FoldAscii(static_cast<unsigned char>(y));
  });
}

// Fills a record from the entry on disk; false when it has vanished. A
// symbolic link is described by itself, as Windows describes a link: its
// own times, no size, the reparse-point bit and the link's reparse tag.
bool Describe(const std::string& path, const std::string& name, FindData& out) {
  struct statx sx {};
  if (::statx(AT_FDCWD, path.c_str(), AT_SYMLINK_NOFOLLOW, STATX_BASIC_STATS | STATX_BTIME, &sx) !=
      0) {
    return false;
  }
  const bool link = S_ISLNK(sx.stx_mode);
  auto to_ts = [](const struct statx_timestamp& t) {
    timespec ts{};
    ts.tv_sec = static_cast<time_t>(t.tv_sec);
    ts.tv_nsec = static_cast<long>(t.tv_nsec);
    return ts;
  };
  const std::int64_t attrs = ReadAttributes(path);
  out = FindData{};
  out.attributes = attrs < 0 ? kAttrNormal : static_cast<std::uint32_t>(attrs);
  out.access_time = ToFileTime(to_ts(sx.stx_atime));
  out.write_time = ToFileTime(to_ts(sx.stx_mtime));
  // Without a birth time the file system gives, the last write stands in.
  out.creation_time =
      (sx.stx_mask & STATX_BTIME) != 0 ? ToFileTime(to_ts(sx.stx_btime)) : out.write_time;
  out.size = S_ISDIR(sx.stx_mode) || link ? 0 : sx.stx_size;
  if (link) out.reserved0 = kReparseTagSymlink;
  out.name = name;
  return true;
}

bool Advance(Search& s, FindData& out) {
  while (s.next < s.entries.size()) {
    const Entry& e = s.entries[s.next++];
    if (Describe(s.dir + e.native, e.program, out)) return true;
  }
  return false;
}

}  // namespace

FindHandle FindFirstEntry(const std::string& pattern, FindData& out) {
  Search s;
  const std::size_t slash = pattern.rfind('/');
  std::string mask = pattern;
  if (slash != std::string::npos) {
    s.dir = pattern.substr(0, slash + 1);
    mask = pattern.substr(slash + 1);
  }
  if (mask.empty()) return kInvalidFind;
  // Names are matched in the program's form, where the letter-case rules
  // of the accented letters are defined.
  const std::string program_mask = ProgramPath(mask);
  DIR* d = ::opendir(s.dir.empty() ? "." : s.dir.c_str());
  if (d == nullptr) return kInvalidFind;
  while (const dirent* e = ::readdir(d)) {
    std::string program = ProgramPath(e->d_name);
    if (MatchesWildcard(program_mask, program))
      s.entries.push_back({e->d_name, std::move(program)});
  }
  ::closedir(d);
  std::sort(s.entries.begin(), s.entries.end(), LessNoCase);
  if (!Advance(s, out)) return kInvalidFind;
  const std::lock_guard lock(g_mutex);
  const FindHandle h = g_next_handle++;
  g_searches.emplace(h, std::move(s));
  return h;
}

bool FindNextEntry(FindHandle handle, FindData& out) {
  const std::lock_guard lock(g_mutex);
  const auto it = g_searches.find(handle);
  return it != g_searches.end() && Advance(it->second, out);
}

bool FindCloseSearch(FindHandle handle) {
  const std::lock_guard lock(g_mutex);
  return g_searches.erase(handle) == 1;
}

}  // namespace talvi::os
