// SPDX-License-Identifier: MIT
#include "lib/window/startup.h"

#include <mutex>
#include <vector>

#include "base/ascii.h"
#include "dbf/areas.h"
#include "dbf/settings.h"
#include "errors/errorsys.h"
#include "fs/hooks.h"
#include "lib/settings.h"
#include "lib/settings_vars.h"
#include "lib/startup_files.h"
#include "lib/user.h"
#include "lib/window/msgbox.h"
#include "os/path.h"
#include "os/wildcard.h"
#include "ui/app.h"

namespace talvi::lib {
namespace {

namespace files = startup_files;

std::mutex close_all_mutex;
std::vector<std::function<void()>>& CloseAllSteps() {
  static std::vector<std::function<void()>> steps;
  return steps;
}

bool started = false;

bool StartsWithMarker(const std::string& name) {
  return !name.empty() && name.front() == kTempMarker;
}

// The error handler reaches the user and the system lock through the
// library, and the library's shut-down is a step of its quit.
void ConnectErrorHandler() {
  errors::SetMessageBoxHook(
      [](const std::string& text, int type) { return IsTrue(POPMSG(text, type)); });
  errors::SetSunlockHook(SUNLOCK);
  errors::SetPostQuitHook([](int code) { ui::PostQuitMessage(code); });
  static std::once_flag quit_step;
  std::call_once(quit_step, [] { errors::OnQuit(Shutdown); });
  errors::ERRORSYS();
}

// The file-system helpers tell the user through the library's message box
// and keep the windows alive with the pump step (a copy's progress, a tree
// removal between files).
void ConnectFileHelpers() {
  fs::SetMessageSink([](const std::string& text, int type) { POPMSG(text, type); });
  fs::SetRefreshHook([] { ui::SYSREFRESH(); });
}

// The table engine keeps its own copy of the data layer's settings (it
// cannot see the library): every change of the library's reaches it.
void FollowLibrarySettings(const Settings& s) {
  dbf::EngineSettings& e = dbf::Engine();
  e.driver = s.DefaultDriver();
  e.lock_scheme = s.LockScheme();
  e.lock_offset = s.LockOffset();
  e.lock_length = s.LockLength();
  e.memo_extension = s.MemoExtension();
  e.century = s.Century();
  e.date_format = s.DateFormat();
  e.deleted = s.Deleted();
  e.epoch = s.Epoch();
  switch (s.FileNameCase()) {
    case FileCase::kUpper: e.file_case = dbf::NameCase::kUpper; break;
    case FileCase::kLower: e.file_case = dbf::NameCase::kLower; break;
    case FileCase::kMixed: e.file_case = dbf::NameCase::kMixed; break;
  }
}

void CreateAccessVariables() {
  SetVar("ACS_USER", std::string("USER"));
  SetVar("ACS_TEMP", std::string());
  SetVar("ACS_PASSWD", std::string());
  SetVar("ACS_LEVEL", std::int64_t{1});
}

// Marker-named plain files of the current folder; a file that cannot be
// erased (read-only, open elsewhere) stays.
void SweepCurrentFolder() {
  for (const auto& entry : files::ListFolder("")) {
    if (!StartsWithMarker(entry.name) || entry.directory || entry.hidden || entry.system) continue;
    files::EraseFile(entry.name);
  }
}

// Marker-named folders of the user's temporary folder: emptied and
// removed. A plain file of that name stays (its removal as a folder fails).
void SweepTempFolder() {
  const std::string temp = files::TempVariable();
  for (const auto& entry : files::ListFolder(TempSweepFolder())) {
    if (!StartsWithMarker(entry.name) || entry.hidden || entry.system) continue;
    const std::string path = temp + files::Separator() + entry.name;
    DELDIR(path);
    files::RemoveFolder(path);  // a link to a folder goes as the folder would
  }
}

std::string WithoutTrailingSeparator(std::string path) {
  while (path.size() > 1 && (path.back() == files::Separator() || path.back() == '/')) {
    path.pop_back();
  }
  return path;
}

}  // namespace

void Startup() {
  ConnectErrorHandler();
  ConnectFileHelpers();
  LibSettings().SetChangeHook(FollowLibrarySettings);
  LibSettings().ApplyDefaults();
  CreateAccessVariables();
  SweepCurrentFolder();
  SweepTempFolder();
  files::FailCriticalErrorsQuietly();
  started = true;
}

void Shutdown() {
  if (!started) return;
  started = false;
  CLOSEALL();
  fs::SetMessageSink(nullptr);
  fs::SetRefreshHook(nullptr);
  if (!IsUserSignedIn()) return;
  if (const auto handle = SETHUSER()) files::CloseFile(*handle);
  // An empty working folder would mean the current folder, which holds the
  // program's own files: only a folder that was really set is emptied.
  if (const std::string temp = SETTEMP(); !temp.empty()) {
    for (const auto& entry : files::ListFolder(temp)) {
      if (entry.directory || entry.hidden || entry.system) continue;
      files::EraseFile(files::Join(temp, entry.name));
    }
    files::RemoveFolder(WithoutTrailingSeparator(temp));
  }
  if (files::PathExists("C:\\ORVA\\NET")) {
    files::EraseFile(std::string(base::TrimRight(SETUSER())) + ".USR");
  }
}

std::string TempSweepFolder() {
  return files::TempVariable() + files::Separator();  // the root folder when TEMP is unset
}

void CLOSEALL() {
  std::vector<std::function<void()>> steps;
  {
    std::lock_guard lock(close_all_mutex);
    steps = CloseAllSteps();
  }
  for (const auto& step : steps) {
    if (step) step();
  }
  const std::string folder = SETTEMP();
  for (const auto& entry : files::ListFolder(folder)) {
    if (!IsViewIndexName(entry.name) || entry.directory || entry.hidden || entry.system) continue;
    files::EraseFile(files::Join(folder, entry.name));
  }
}

void OnCloseAll(std::function<void()> close_tables) {
  std::lock_guard lock(close_all_mutex);
  CloseAllSteps().push_back(std::move(close_tables));
}

namespace {
// CLOSEALL closes every table of the table engine and selects area 1.
[[maybe_unused]] const bool table_engine_registered =
    (OnCloseAll([] { dbf::Workspace().CloseAll(); }), true);
}  // namespace

void DELDIR(const std::string& folder) {
  // A link is an entry of its own: the folder it names is not emptied.
  if (files::IsLink(folder)) return;
  for (const auto& entry : files::ListFolder(folder)) {
    if (entry.directory || entry.system) continue;
    const std::string path = files::Join(folder, entry.name);
    files::ClearReadOnlyAndHidden(path);
    if (!files::EraseFile(path)) return;
  }
}

bool IsViewIndexName(std::string_view name) {
  static const std::string pattern = kTempMarker + std::string("VIEW*.NTX");
  return os::MatchesWildcard(pattern, name);
}

}  // namespace talvi::lib
