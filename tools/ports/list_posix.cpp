// SPDX-License-Identifier: MIT
// Linux: the serial devices under /dev (built-in ttyS*, USB ttyUSB* and
// ttyACM*), the stable names udev gives USB adapters (/dev/serial/by-id),
// and what sysfs says about each: the driver, the USB vendor and product.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <system_error>
#include <vector>

#include "ports/ports.h"

namespace talvi::ports {
namespace {

namespace fs = std::filesystem;

std::string ReadAttribute(const fs::path& path) {
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);
  while (!line.empty() && (line.back() == ' ' || line.back() == '\n')) line.pop_back();
  return line;
}

bool IsPortName(const std::string& name) {
  for (const char* prefix : {"ttyS", "ttyUSB", "ttyACM"}) {
    const std::string p = prefix;
    if (name.size() > p.size() && name.compare(0, p.size(), p) == 0 &&
        std::all_of(name.begin() + static_cast<long>(p.size()), name.end(),
                    [](char c) { return c >= '0' && c <= '9'; })) {
      return true;
    }
  }
  return false;
}

// A built-in port without hardware: the 8250 driver reserves ttyS0 to
// ttyS31 whether or not there is a chip, and reports their type as 0
// ("unknown").
bool IsEmptySlot(const fs::path& sysTty, const std::string& name) {
  if (name.compare(0, 4, "ttyS") != 0) return false;
  const std::string type = ReadAttribute(sysTty / "type");
  return type == "0";
}

// "FTDI FT232R USB UART (USB 0403:6001, serial A50285BI), driver ftdi_sio"
std::string Details(const fs::path& sysTty, const std::string& name) {
  const bool builtIn = name.compare(0, 4, "ttyS") == 0;
  std::error_code ec;
  const fs::path device = fs::canonical(sysTty / "device", ec);
  if (ec) return builtIn ? "built-in serial port" : "";
  const std::string driver = fs::read_symlink(device / "driver", ec).filename().string();
  std::string text;
  // The USB device is the first folder above the interface with a vendor id.
  for (fs::path p = device; !p.empty() && p != p.root_path(); p = p.parent_path()) {
    if (!fs::exists(p / "idVendor", ec)) continue;
    const std::string maker = ReadAttribute(p / "manufacturer");
    const std::string product = ReadAttribute(p / "product");
    const std::string serial = ReadAttribute(p / "serial");
    text = maker;
    if (!product.empty()) text += (text.empty() ? "" : " ") + product;
    if (text.empty()) text = "USB serial adapter";
    text += " (USB " + ReadAttribute(p / "idVendor") + ":" + ReadAttribute(p / "idProduct");
    if (!serial.empty()) text += ", serial " + serial;
    text += ")";
    break;
  }
  if (text.empty() && builtIn) text = "built-in serial port";
  if (!driver.empty()) text += (text.empty() ? "driver " : ", driver ") + driver;
  return text;
}

}  // namespace

std::vector<PortEntry> ListPorts(bool all, const Roots& roots) {
  std::error_code ec;
  const fs::path dev = roots.dev;
  const fs::path sysTty = fs::path(roots.sys) / "class" / "tty";
  std::map<std::string, PortEntry> found;
  for (const auto& entry : fs::directory_iterator(dev, ec)) {
    const std::string name = entry.path().filename().string();
    if (!IsPortName(name)) continue;
    if (!all && IsEmptySlot(sysTty / name, name)) continue;
    PortEntry port;
    port.name = name;
    port.path = entry.path().string();
    port.details = Details(sysTty / name, name);
    found.emplace(name, std::move(port));
  }
  // The stable names: links to the devices above, named after the adapter.
  for (const auto& entry : fs::directory_iterator(dev / "serial" / "by-id", ec)) {
    const fs::path target = fs::read_symlink(entry.path(), ec);
    if (ec) continue;
    const auto it = found.find(target.filename().string());
    if (it != found.end()) it->second.aliases.push_back(entry.path().string());
  }
  std::vector<PortEntry> ports;
  for (auto& [name, port] : found) {
    std::sort(port.aliases.begin(), port.aliases.end());
    ports.push_back(std::move(port));
  }
  // ttyS2 before ttyS10: by kind, then by number.
  std::sort(ports.begin(), ports.end(), [](const PortEntry& a, const PortEntry& b) {
    const auto split = [](const std::string& n) {
      const auto digits = n.find_first_of("0123456789");
      return std::make_pair(n.substr(0, digits), std::stol(n.substr(digits)));
    };
    return split(a.name) < split(b.name);
  });
  return ports;
}

}  // namespace talvi::ports
