// Key state on Windows: the system's asynchronous key state.
// Our header first: <windows.h> defines VK_ESCAPE and VK_F4 as macros,
// which must not reach the constants of the same names.
// clang-format off
#include "os/keystate.h"
#include <windows.h>
// clang-format on

#include <map>
#include <mutex>
#include <set>

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
  if (s.source == KeySource::kLocal) return s.local.count(vk) != 0;
  return (static_cast<unsigned short>(GetAsyncKeyState(vk)) & 0x8000u) != 0;
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
