// SPDX-License-Identifier: MIT
// Private-profile (INI) files: the calls modelled on the Windows ones, and
// the program-level functions over them.
//
// On Windows the calls go to GetPrivateProfileStringA and friends; on Linux
// the portable reader/writer of profile_file.h stands in with the same rules.
// File names are written the Windows way (".\TALVI.INI") and translated by
// os::NativePath.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace talvi::fs {

// What a buffer of `size` characters receives. With a key: the value, at
// most size-1 characters, or the default (trailing spaces removed) when the
// file, section or key is absent. Without a key: the section's key names,
// without a section: the section names, each followed by a zero byte (a list
// that does not fit is cut to size-2 characters). The result holds exactly
// the characters the call reports as copied.
std::string GetPrivateProfileString(const std::optional<std::string>& section,
                                    const std::optional<std::string>& key,
                                    const std::optional<std::string>& defaultValue,
                                    std::size_t size, const std::string& file);

// Sets a key (creating file and section as needed); a null value deletes
// the key, a null key deletes the section. True on success.
bool WritePrivateProfileString(const std::optional<std::string>& section,
                               const std::optional<std::string>& key,
                               const std::optional<std::string>& value, const std::string& file);

// The section names, each followed by a zero byte, cut like a list above.
std::string GetPrivateProfileSectionNames(std::size_t size, const std::string& file);

// Reads through a 4096-byte buffer (at most 4095 characters); "" when
// nothing was delivered. A null key asks for the section's key list.
std::string GETPVPROFSTRING(const std::optional<std::string>& section,
                            const std::optional<std::string>& key,
                            const std::optional<std::string>& defaultValue,
                            const std::string& file);

// Writes one key; true on success.
bool WRITEPPROSTRING(const std::optional<std::string>& section,
                     const std::optional<std::string>& key, const std::optional<std::string>& value,
                     const std::string& file);

// Fills `buffer` in place with the section names, each followed by a zero
// byte, and one more zero byte after the last; answers the count reported.
// Never writes beyond buffer.size(), whatever `size` says.
int GETPRIVATEPROFILESECTIONNAMES(std::string& buffer, std::size_t size, const std::string& file);

// The key names of a section (lines of at most 79 characters, trailing
// blanks removed); empty when the section is absent.
std::vector<std::string> GETPVPROFSECTION(const std::string& section, const std::string& file);

// The section names of a file; empty when it has none or does not exist.
std::vector<std::string> GETPVPROFSECTIONNAMES(const std::string& file);

}  // namespace talvi::fs
