// SPDX-License-Identifier: MIT
// The portable private-profile reader and writer over files on disk.
// Paths here are native paths.
#pragma once

#include <cstddef>
#include <optional>
#include <string>

namespace talvi::fs {

std::string ReadProfileString(const std::optional<std::string>& section,
                              const std::optional<std::string>& key,
                              const std::optional<std::string>& defaultValue, std::size_t size,
                              const std::string& path);

bool WriteProfileString(const std::optional<std::string>& section,
                        const std::optional<std::string>& key,
                        const std::optional<std::string>& value, const std::string& path);

}  // namespace talvi::fs
