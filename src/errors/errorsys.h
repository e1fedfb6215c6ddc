// SPDX-License-Identifier: MIT
// The process error handler: its installation and the hooks through which
// it reaches the user, the system lock, the mail program and the quit.
#pragma once

#include <functional>
#include <string>

namespace talvi::errors {

// Makes the program's own handler the process-wide error handler; every
// error raised from then on is handed to it. Called once at start-up.
void ERRORSYS();

// Shows `text` (lines separated by ";") in a box of the given type: 1
// information with OK, 2 OK/Cancel question answered true for OK. The
// library installs its message box here at start-up; until then the text
// goes to the standard error stream and a question is answered Cancel.
using MessageBoxHook = std::function<bool(const std::string& text, int type)>;
MessageBoxHook SetMessageBoxHook(MessageBoxHook hook);

// Releases the system lock before any message is shown (the library's
// SUNLOCK). Empty by default.
using SunlockHook = std::function<void()>;
SunlockHook SetSunlockHook(SunlockHook hook);

// Opens a link with the desktop's default handler, best effort. Defaults to
// OpenWithDefaultHandler.
using OpenLinkHook = std::function<void(const std::string& link)>;
OpenLinkHook SetOpenLinkHook(OpenLinkHook hook);

// Posts the window layer's quit message (PostQuitMessage), so that a message
// loop still running sees that the program is ending. The report of an
// unexpected error posts it right before the quit. The library installs the
// window layer's here at start-up; empty by default.
using PostQuitHook = std::function<void(int exitCode)>;
PostQuitHook SetPostQuitHook(PostQuitHook hook);

// Ends the program after an unexpected error. Defaults to OrderlyQuit.
// When a replacement returns, the failed operation is abandoned instead.
using QuitHook = std::function<void(int exitCode)>;
QuitHook SetQuitHook(QuitHook hook);

// Registers a step of the orderly quit, such as the library's shut-down.
// Steps run in the order registered.
void OnQuit(std::function<void()> step);

// Runs the registered quit steps, then ends the process with `exitCode`.
[[noreturn]] void OrderlyQuit(int exitCode);

// The full path of the program's own executable file ("" when unknown).
std::string ProgramPath();

// Hands `link` to the desktop's default handler (the mail program for a
// "mailto:" link) without waiting for it; failures are ignored.
void OpenWithDefaultHandler(const std::string& link);

}  // namespace talvi::errors
