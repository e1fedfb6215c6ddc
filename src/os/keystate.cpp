// SPDX-License-Identifier: MIT
// The key-state probe: test overrides first, then the system's global view,
// or the keys reported by the program's own windows when the system cannot
// tell or the caller asked for them.
#include "os/keystate.h"

#include <map>
#include <mutex>
#include <set>

#include "os/keystate_system.h"

namespace talvi::os {
namespace {

struct State {
  std::mutex mutex;
  KeySource source = KeySource::kAuto;
  std::map<int, bool> overrides;
  std::set<int> local;
};

State& St() {
  static State state;
  return state;
}

}  // namespace

bool IsKeyDown(int vk) {
  State& s = St();
  std::lock_guard lock(s.mutex);
  if (auto it = s.overrides.find(vk); it != s.overrides.end()) return it->second;
  if (s.source != KeySource::kLocal) {
    if (const std::optional<bool> down = detail::SystemKeyDown(vk)) return *down;
  }
  return s.local.count(vk) != 0;
}

void SetKeySource(KeySource source) {
  State& s = St();
  std::lock_guard lock(s.mutex);
  s.source = source;
}

void SetLocalKeyDown(int vk, bool down) {
  State& s = St();
  std::lock_guard lock(s.mutex);
  if (down) {
    s.local.insert(vk);
  } else {
    s.local.erase(vk);
  }
}

void ClearLocalKeys() {
  State& s = St();
  std::lock_guard lock(s.mutex);
  s.local.clear();
}

int KeyEventDescriptor() {
  State& s = St();
  std::lock_guard lock(s.mutex);
  return s.source == KeySource::kLocal ? -1 : detail::SystemKeyEventDescriptor();
}

void TakeKeyEvents() {
  State& s = St();
  std::lock_guard lock(s.mutex);
  if (s.source != KeySource::kLocal) detail::TakeSystemKeyEvents();
}

void KeyEventsCurrent() {
  State& s = St();
  std::lock_guard lock(s.mutex);
  if (s.source != KeySource::kLocal) detail::SystemKeyEventsCurrent();
}

void SetKeyStateOverride(int vk, bool down) {
  State& s = St();
  std::lock_guard lock(s.mutex);
  s.overrides[vk] = down;
}

void ClearKeyStateOverrides() {
  State& s = St();
  std::lock_guard lock(s.mutex);
  s.overrides.clear();
}

}  // namespace talvi::os
