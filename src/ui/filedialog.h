// SPDX-License-Identifier: MIT
// The file chooser.
//
// Texts that cross the window layer are byte strings in the Windows ANSI
// code page (1252), converted at the window boundary; everything here runs
// on the window thread (the one that called Startup, or the first one that
// used the layer).
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace talvi::ui {

// File chooser. `filter` holds description|pattern pairs ("File OPD
// (*.opd)|*.opd"); a pattern may hold several masks separated by ";".
// `save` none: a save dialog exactly when `fileName` is given. `flags`
// replaces the default 2060 (path must exist, no directory change, hide
// read-only); 0x2 asks before overwriting, 0x1000 wants existing files,
// 0x200 allows several files in an open dialog. With 0x800 (or 0x1000) a
// name in a folder that does not exist is refused in the chooser; a name
// whose characters 1252 cannot hold always is (the user is told, the
// chooser stays). Gives the chosen full path (1252), "" on cancel, and ""
// at once when called without any argument.
std::string cGetFile(const std::string& filter = "", const std::optional<std::string>& title = {},
                     std::optional<int> filterIndex = {},
                     const std::optional<std::string>& initialDir = {},
                     std::optional<bool> save = {}, bool longNames = false,
                     std::optional<unsigned> flags = {},
                     const std::optional<std::string>& fileName = {});
// The same for an open dialog that allows multiple selection: the folder
// followed by each chosen name, or the one full path when one file was
// chosen; empty on cancel.
std::vector<std::string> cGetFiles(const std::string& filter,
                                   const std::optional<std::string>& title = {},
                                   std::optional<int> filterIndex = {},
                                   const std::optional<std::string>& initialDir = {});
// The filter index the user had chosen when the last chooser closed (1
// based; 0 while a chooser is open).
int cGetFileFilterIndex();

}  // namespace talvi::ui
