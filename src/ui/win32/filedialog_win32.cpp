// SPDX-License-Identifier: MIT
// The file chooser: the system's save and open dialogs (GetSaveFileNameW,
// GetOpenFileNameW). The path buffer holds the longest path the system
// allows, so any chosen path comes back whole; a name whose characters the
// program's 1252 text cannot hold is refused in the chooser (the user is
// told, the chooser stays), since it would come back changed.
#include <vector>

#include "os/text1252.h"
#include "ui/win32/win32_internal.h"

// After <windows.h>, which it builds on.
#include <commdlg.h>

namespace talvi::ui {
namespace {

constexpr DWORD kDefaultFlags = 2060;  // path must exist, no folder change, hide read-only
constexpr std::size_t kFilterLimit = 399;
constexpr DWORD kPathChars = 32768;     // the longest path the system allows
constexpr DWORD kMultiChars = 1 << 20;  // room for many names at once
constexpr char kNameNotHeld[] =
    "Il nome contiene caratteri che il programma non pu\xF2 usare.\nScegliere un altro nome.";

int lastFilterIndex = 0;

// "desc|pattern|..." with every "|" as a zero character, ending in two.
std::wstring FilterText(const std::string& filter) {
  std::wstring text = win32::Wide(filter.substr(0, kFilterLimit));
  for (wchar_t& c : text) {
    if (c == L'|') c = L'\0';
  }
  text.push_back(L'\0');
  text.push_back(L'\0');
  return text;
}

bool Held(const wchar_t* path) {
  const int n = ::WideCharToMultiByte(CP_UTF8, 0, path, -1, nullptr, 0, nullptr, nullptr);
  if (n <= 1) return true;
  std::string utf8(static_cast<std::size_t>(n - 1), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, path, -1, utf8.data(), n, nullptr, nullptr);
  std::string ansi;
  return os::Utf8To1252(utf8, ansi);
}

// Looks at the choice before the chooser lets go of it.
UINT_PTR CALLBACK Hook(HWND hook, UINT msg, WPARAM /*wParam*/, LPARAM lParam) {
  if (msg != WM_NOTIFY) return 0;
  const auto* note = reinterpret_cast<const OFNOTIFYW*>(lParam);
  if (note->hdr.code != static_cast<UINT>(CDN_FILEOK)) return 0;
  const OPENFILENAMEW& ofn = *note->lpOFN;
  // Every part of the answer (the folder and each name of a multiple one).
  for (const wchar_t* p = ofn.lpstrFile; *p != L'\0'; p += wcslen(p) + 1) {
    if (!Held(p)) {
      const HWND chooser = ::GetParent(hook);
      ::MessageBoxW(chooser, (std::wstring(p) + L"\n" + win32::Wide(kNameNotHeld)).c_str(),
                    ofn.lpstrTitle, MB_OK | MB_ICONWARNING);
      ::SetWindowLongPtrW(hook, DWLP_MSGRESULT, 1);
      return 1;
    }
    if ((ofn.Flags & OFN_ALLOWMULTISELECT) == 0) break;
  }
  return 0;
}

struct Choice {
  bool accepted = false;
  std::vector<std::wstring> parts;  // the zero-separated parts of the answer
};

Choice Run(const std::string& filter, const std::optional<std::string>& title, int filterIndex,
           const std::optional<std::string>& initialDir, bool save, DWORD flags,
           const std::optional<std::string>& fileName) {
  SYSREFRESH();  // starts the layer when nothing else has
  const bool multi = (flags & OFN_ALLOWMULTISELECT) != 0;
  std::vector<wchar_t> file(multi ? kMultiChars : kPathChars, L'\0');
  if (fileName) {
    const std::wstring name = win32::Wide(*fileName).substr(0, kPathChars - 1);
    name.copy(file.data(), name.size());
  }
  const std::wstring filterText = FilterText(filter);
  const std::wstring titleText = win32::Wide(title.value_or("Select the file"));
  const std::wstring folder = win32::Wide(initialDir.value_or(""));

  OPENFILENAMEW ofn{};
  ofn.lStructSize = OPENFILENAME_SIZE_VERSION_400W;
  ofn.hwndOwner = ::GetActiveWindow();
  ofn.lpstrFilter = filter.empty() ? nullptr : filterText.c_str();
  ofn.nFilterIndex = static_cast<DWORD>(filterIndex);
  ofn.lpstrFile = file.data();
  ofn.nMaxFile = static_cast<DWORD>(file.size());
  ofn.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
  ofn.lpstrTitle = titleText.c_str();
  // Explorer style (which a multiple choice needs to answer with zero
  // separators) with the hook that refuses names the program cannot hold.
  ofn.Flags = flags | OFN_EXPLORER | OFN_ENABLEHOOK | OFN_ENABLESIZING;
  ofn.lpfnHook = Hook;
  lastFilterIndex = 0;
  Choice choice;
  choice.accepted = (save ? ::GetSaveFileNameW(&ofn) : ::GetOpenFileNameW(&ofn)) != FALSE;
  lastFilterIndex = static_cast<int>(ofn.nFilterIndex);
  if (!choice.accepted) return choice;
  for (const wchar_t* p = file.data(); *p != L'\0'; p += wcslen(p) + 1) {
    choice.parts.emplace_back(p);
    if (!multi) break;
  }
  return choice;
}

}  // namespace

std::string cGetFile(const std::string& filter, const std::optional<std::string>& title,
                     std::optional<int> filterIndex, const std::optional<std::string>& initialDir,
                     std::optional<bool> save, bool longNames, std::optional<unsigned> flags,
                     const std::optional<std::string>& fileName) {
  // Called with nothing at all: nothing to ask.
  if (filter.empty() && !title && !filterIndex && !initialDir && !save && !flags && !fileName) {
    return {};
  }
  const bool isSave = save.value_or(fileName.has_value());
  DWORD f = flags.value_or(kDefaultFlags) != 0 ? flags.value_or(kDefaultFlags) : kDefaultFlags;
  if (longNames && !flags) f |= OFN_LONGNAMES;
  const int index = filterIndex.value_or(1) & 0xFF;
  const Choice choice = Run(filter, title, index != 0 ? index : 1, initialDir, isSave,
                            f & ~static_cast<DWORD>(OFN_ALLOWMULTISELECT), fileName);
  if (!choice.accepted || choice.parts.empty()) return {};
  return win32::Ansi(choice.parts.front());
}

std::vector<std::string> cGetFiles(const std::string& filter,
                                   const std::optional<std::string>& title,
                                   std::optional<int> filterIndex,
                                   const std::optional<std::string>& initialDir) {
  const int index = filterIndex.value_or(1) & 0xFF;
  const Choice choice = Run(filter, title, index != 0 ? index : 1, initialDir, false,
                            kDefaultFlags | OFN_ALLOWMULTISELECT | OFN_FILEMUSTEXIST, std::nullopt);
  std::vector<std::string> result;
  for (const auto& part : choice.parts) result.push_back(win32::Ansi(part));
  return result;
}

int cGetFileFilterIndex() {
  return lastFilterIndex;
}

}  // namespace talvi::ui
