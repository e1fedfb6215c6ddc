// SPDX-License-Identifier: MIT
// Windows: the COM ports the system has names for (QueryDosDevice, and the
// serial devices the registry lists), with the names Device Manager shows
// (for a USB adapter also its vendor and product ids).
#include <windows.h>
// After windows.h, which it needs.
#include <devguid.h>
#include <setupapi.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "ports/ports.h"

namespace talvi::ports {
namespace {

bool IsComName(const std::string& name) {
  return name.size() > 3 && (name[0] == 'C' || name[0] == 'c') &&
         (name[1] == 'O' || name[1] == 'o') && (name[2] == 'M' || name[2] == 'm') &&
         std::all_of(name.begin() + 3, name.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::string Upper(std::string s) {
  for (char& c : s) c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
  return s;
}

// Every DOS device name that is a COM port, with what it maps to.
void FromDosDevices(std::map<std::string, PortEntry>& found) {
  std::vector<char> names(65536);
  const DWORD n = ::QueryDosDeviceA(nullptr, names.data(), static_cast<DWORD>(names.size()));
  for (DWORD i = 0; i < n && names[i] != '\0';) {
    const std::string name(&names[i]);
    i += static_cast<DWORD>(name.size() + 1);
    if (!IsComName(name)) continue;
    PortEntry& port = found[Upper(name)];
    port.name = Upper(name);
    port.path = "\\\\.\\" + port.name;
  }
}

bool UnderWine() {
  const HMODULE ntdll = ::GetModuleHandleA("ntdll.dll");
  return ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

// Wine names a COM port only once it is opened when the port is a link in
// the prefix's dosdevices folder (how a Linux device is given to Windows
// programs there), so under Wine each name is tried. Windows itself is
// never asked this way: opening a real port raises its modem lines.
void FromWineLinks(std::map<std::string, PortEntry>& found) {
  if (!UnderWine()) return;
  for (int number = 1; number <= 256; ++number) {
    const std::string name = "COM" + std::to_string(number);
    if (found.count(name) != 0) continue;
    const std::string path = "\\\\.\\" + name;
    HANDLE h = ::CreateFileA(path.c_str(), 0, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    const DWORD error = h == INVALID_HANDLE_VALUE ? ::GetLastError() : ERROR_SUCCESS;
    if (h != INVALID_HANDLE_VALUE) ::CloseHandle(h);
    if (error != ERROR_SUCCESS && error != ERROR_ACCESS_DENIED &&
        error != ERROR_SHARING_VIOLATION) {
      continue;
    }
    PortEntry& port = found[name];
    port.name = name;
    port.path = path;
    port.details = "a device the Wine prefix maps";
  }
}

// HKLM\HARDWARE\DEVICEMAP\SERIALCOMM: one value per serial device the
// drivers made, its data the COM name.
void FromRegistry(std::map<std::string, PortEntry>& found) {
  HKEY key = nullptr;
  if (::RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) !=
      ERROR_SUCCESS) {
    return;
  }
  for (DWORD i = 0;; ++i) {
    char value[256];
    BYTE data[256];
    DWORD valueSize = sizeof value;
    DWORD dataSize = sizeof data - 1;
    DWORD type = 0;
    if (::RegEnumValueA(key, i, value, &valueSize, nullptr, &type, data, &dataSize) !=
        ERROR_SUCCESS) {
      break;
    }
    if (type != REG_SZ) continue;
    data[dataSize] = 0;
    const std::string name = Upper(reinterpret_cast<const char*>(data));
    if (!IsComName(name)) continue;
    PortEntry& port = found[name];
    port.name = name;
    port.path = "\\\\.\\" + name;
    if (port.details.empty()) port.details = std::string("device ") + value;
  }
  ::RegCloseKey(key);
}

std::string DeviceProperty(HDEVINFO set, SP_DEVINFO_DATA& info, DWORD property) {
  char text[1024] = {};
  if (!::SetupDiGetDeviceRegistryPropertyA(
          set, &info, property, nullptr, reinterpret_cast<BYTE*>(text), sizeof text - 1, nullptr)) {
    return "";
  }
  return text;
}

// Device Manager's "Ports (COM & LPT)": the friendly name and, for USB
// adapters, the vendor and product ids in the hardware id.
void FromDeviceManager(std::map<std::string, PortEntry>& found) {
  HDEVINFO set = ::SetupDiGetClassDevsA(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT);
  if (set == INVALID_HANDLE_VALUE) return;
  SP_DEVINFO_DATA info{};
  info.cbSize = sizeof info;
  for (DWORD i = 0; ::SetupDiEnumDeviceInfo(set, i, &info); ++i) {
    std::string name;
    if (HKEY key = ::SetupDiOpenDevRegKey(set, &info, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
        key != INVALID_HANDLE_VALUE) {
      char text[64] = {};
      DWORD size = sizeof text - 1;
      if (::RegQueryValueExA(key, "PortName", nullptr, nullptr, reinterpret_cast<BYTE*>(text),
                             &size) == ERROR_SUCCESS) {
        name = Upper(text);
      }
      ::RegCloseKey(key);
    }
    if (!IsComName(name)) continue;
    PortEntry& port = found[name];
    port.name = name;
    port.path = "\\\\.\\" + name;
    std::string details = DeviceProperty(set, info, SPDRP_FRIENDLYNAME);
    const std::string hardware = DeviceProperty(set, info, SPDRP_HARDWAREID);
    const auto vid = hardware.find("VID_");
    const auto pid = hardware.find("PID_");
    if (vid != std::string::npos && pid != std::string::npos) {
      details += " (USB " + hardware.substr(vid + 4, 4) + ":" + hardware.substr(pid + 4, 4) + ")";
    }
    if (!details.empty()) port.details = details;
  }
  ::SetupDiDestroyDeviceInfoList(set);
}

}  // namespace

std::vector<PortEntry> ListPorts(bool /*all*/, const Roots& /*roots*/) {
  std::map<std::string, PortEntry> found;
  FromDosDevices(found);
  FromRegistry(found);
  FromDeviceManager(found);
  FromWineLinks(found);
  std::vector<PortEntry> ports;
  for (auto& [name, port] : found) ports.push_back(std::move(port));
  std::sort(ports.begin(), ports.end(), [](const PortEntry& a, const PortEntry& b) {
    return std::stol(a.name.substr(3)) < std::stol(b.name.substr(3));
  });
  return ports;
}

}  // namespace talvi::ports
