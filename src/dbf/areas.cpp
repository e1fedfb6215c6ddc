// SPDX-License-Identifier: MIT
#include "dbf/areas.h"

#include <cctype>

#include "dbf/codes.h"
#include "dbf/raise.h"

namespace talvi::dbf {
namespace {

std::string Upper(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

std::string BaseName(const std::string& path) {
  const std::size_t slash = path.find_last_of("/\\");
  std::string name = path.substr(slash == std::string::npos ? 0 : slash + 1);
  const std::size_t dot = name.find('.');
  return Upper(name.substr(0, dot));
}

}  // namespace

WorkArea* Areas::Area(int n) {
  if (n < 1 || n > kMaxArea) return nullptr;
  auto& slot = areas_[n];
  if (!slot) slot = std::make_unique<WorkArea>(n);
  return slot.get();
}

WorkArea& Areas::Current() {
  return *Area(current_);
}

bool Areas::Select(int n) {
  if (n == 0) n = FirstFree();
  if (n < 1 || n > kMaxArea) {
    return Fail(Failure(kGenBound, kSubArea)
                    .Op("select")
                    .Desc("Work area " + std::to_string(n) + " out of range"));
  }
  current_ = n;
  return true;
}

int Areas::Find(std::string_view alias) const {
  const std::string want = Upper(alias);
  for (const auto& [n, area] : areas_) {
    if (area->used() && Upper(area->alias()) == want) return n;
  }
  return 0;
}

bool Areas::Select(std::string_view alias) {
  const int n = Find(alias);
  if (n == 0) {
    return Fail(Failure(kGenNoAlias, kSubArea).Op(std::string(alias)).Desc("Alias does not exist"));
  }
  current_ = n;
  return true;
}

int Areas::FirstFree() const {
  for (int n = 1; n <= kMaxArea; ++n) {
    const auto it = areas_.find(n);
    if (it == areas_.end() || !it->second->used()) return n;
  }
  return 0;
}

std::string Areas::Alias(int n) const {
  const auto it = areas_.find(n);
  return it == areas_.end() || !it->second->used() ? "" : it->second->alias();
}

bool Areas::Use(const std::string& path, const std::string& alias, const OpenOptions& options,
                bool new_area) {
  if (new_area && !Select(0)) return false;
  const std::string name = alias.empty() ? BaseName(path) : Upper(alias);
  const int other = Find(name);
  if (other != 0 && other != current_) {
    return Fail(Failure(kGenArg, kSubArea).File(path).Op(name).Desc("Alias already in use"));
  }
  return Current().Use(path, name, options);
}

void Areas::CloseArea() {
  Current().Close();
}

void Areas::CloseAll() {
  for (auto& [n, area] : areas_) area->Close();
  areas_.clear();
  current_ = 1;
}

Areas& Workspace() {
  static Areas areas;
  return areas;
}

}  // namespace talvi::dbf
