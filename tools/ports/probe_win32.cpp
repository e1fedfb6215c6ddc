// SPDX-License-Identifier: MIT
// Windows: what opening a COM port says. A port is one program's at a time;
// the system does not tell which program has it.
#include <windows.h>

#include <string>

#include "ports/ports.h"

namespace talvi::ports {
namespace {

std::string DevicePath(const std::string& name) {
  if (name.rfind("\\\\.\\", 0) == 0) return name;
  return "\\\\.\\" + name;
}

std::string SystemText(DWORD error) {
  char* text = nullptr;
  const DWORD n = ::FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, error, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string result =
      n > 0 && text != nullptr ? std::string(text, n) : "error " + std::to_string(error);
  if (text != nullptr) ::LocalFree(text);
  while (!result.empty() &&
         (result.back() == '\n' || result.back() == '\r' || result.back() == '.'))
    result.pop_back();
  return result;
}

}  // namespace

Diagnosis ProbePort(const std::string& name) {
  Diagnosis d;
  d.path = DevicePath(name);
  if (name.empty() || name.find('\0') != std::string::npos) {
    d.verdict = Verdict::kMissing;
    d.problem = "\"" + name + "\" names no port.";
    d.fix = "Name a port that talvi-ports lists.";
    return d;
  }
  HANDLE h = ::CreateFileA(d.path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_FLAG_OVERLAPPED, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD error = ::GetLastError();
    switch (error) {
      case ERROR_FILE_NOT_FOUND:
      case ERROR_PATH_NOT_FOUND:
      case ERROR_INVALID_NAME:
      case ERROR_BAD_PATHNAME:
        d.verdict = Verdict::kMissing;
        d.problem = "There is no " + name + ".";
        d.fix =
            "Plug the adapter in; Device Manager (Ports (COM & LPT)) and talvi-ports show "
            "the COM number Windows gave it.";
        break;
      case ERROR_ACCESS_DENIED:
      case ERROR_SHARING_VIOLATION:
        d.verdict = Verdict::kBusy;
        d.problem = name +
                    " is there, but another program has it open (Windows does not say "
                    "which).";
        d.fix =
            "Close the program that has it (a terminal program, another transfer program, "
            "a phone or modem tool), then try again.";
        break;
      default:
        d.verdict = Verdict::kFailed;
        d.problem = name + " does not open: " + SystemText(error) + ".";
        d.fix = "Unplug the adapter and plug it in again; check its driver in Device Manager.";
        break;
    }
    return d;
  }
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  const bool serialLine = ::GetFileType(h) == FILE_TYPE_CHAR && ::GetCommState(h, &dcb) != 0;
  ::CloseHandle(h);
  if (!serialLine) {
    d.verdict = Verdict::kNotSerial;
    d.problem = name + " opens, but is not a serial line.";
    d.fix = "Name a port that talvi-ports lists.";
    return d;
  }
  d.verdict = Verdict::kReady;
  return d;
}

}  // namespace talvi::ports
