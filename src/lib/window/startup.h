// SPDX-License-Identifier: MIT
// The library's start-up and shut-down: process-wide defaults, the
// access-control variables, the sweep of the library's own temporary files,
// and their removal at the end of the run.
#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace talvi::lib {

// The first character of the name of every temporary file, folder and view
// index that the library makes; the sweeps recognise leftovers by it alone.
inline constexpr char kTempMarker = '\x7F';

// Runs once, before the program's main routine: installs the process error
// handler (with the library's message box, SUNLOCK and the window layer's
// quit message, and the shut-down as a step of its quit), gives the
// file-system helpers the library's message box and the pump step
// (fs/hooks.h), applies the ten defaults of LibSettings() in order,
// creates ACS_USER "USER", ACS_TEMP "", ACS_PASSWD "" and ACS_LEVEL 1,
// erases the marker-named plain files of the current folder, empties and
// removes the marker-named folders of the folder named by TEMP (the root
// folder when TEMP is unset), and keeps the system from showing its own
// box for a drive that is not ready. Shows nothing; failures are passed
// over.
void Startup();

// The folder whose marker-named folders the start-up sweep removes: the one
// named by TEMP, with a trailing separator, or the root folder when TEMP is
// unset.
std::string TempSweepFolder();

// Runs once, last (also when the program quits after an unexpected error):
// CLOSEALL, and the file-system helpers' hooks removed; then, only when a
// user is signed in, closes the user's presence file, erases the plain files
// of the working temporary folder and removes it, and on a networked
// installation erases the user's ".USR" file in the current folder. Does
// nothing when Startup has not run since the last shut-down.
void Shutdown();

// Closes every open table and index (through the steps registered with
// OnCloseAll) and erases the view index files (marker, "VIEW", anything,
// ".NTX") of the working temporary folder, or of the current folder when
// that is "".
void CLOSEALL();

// Registers a step of CLOSEALL's closing of tables: the table engine closes
// every work area and selects area 1 there. Steps run in the order
// registered.
void OnCloseAll(std::function<void()> close_tables);

// Erases each file of `folder` (given without trailing separator),
// read-only and hidden ones included (their attributes are cleared first),
// in listing order, and stops at the first one that cannot be erased. The
// folder itself stays. A link in it is erased as an entry of its own (what
// it names is not changed); a `folder` that is a link is left alone, so the
// folder it names is never emptied.
void DELDIR(const std::string& folder);

// True for a view index name: marker, "VIEW", anything, ".NTX" (matched as
// the system's directory search matches, letters in any case).
bool IsViewIndexName(std::string_view name);

}  // namespace talvi::lib
