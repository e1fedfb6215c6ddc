// SPDX-License-Identifier: MIT
// The transfer program's entry routine and its settings.
#pragma once

#include <string>

namespace talvi::app {

// The settings file, beside the working folder (not the program).
inline constexpr char kSettingsFile[] = ".\\TALVI.INI";
inline constexpr char kSettingsSection[] = "Impostazioni";
inline constexpr char kPortKey[] = "Porta";
inline constexpr char kDefaultPort[] = "COM1";
inline constexpr int kF4Key = 115;

// The port name from the settings file; an empty or blank value becomes
// "COM1" and is written back. Any other value is kept as it is.
std::string ReadPortName();

// "TALVI 1.01 (<port>:57600,N,8,1)".
std::string Title(const std::string& portName);

// Reads the settings, shows the transfer window with its log, runs the
// session in it, and releases the port once the window has closed.
void MAIN();

}  // namespace talvi::app
