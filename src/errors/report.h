// SPDX-License-Identifier: MIT
// The text of the error report and its form as an e-mail link.
#pragma once

#include <string>
#include <string_view>

#include "errors/error.h"

namespace talvi::errors {

// The two-line report of `error`, lines separated by ";": kind, subsystem,
// subcode, description and file (or operation); then the routine to blame
// and its line.
std::string ERRORMESSAGE(const Error& error);

// The routine the report blames: from the raise point (one level out for
// data-layer "DBCMD" errors, whose raise point is the command itself)
// outward past routines without line information.
Frame BlamedRoutine(const Error& error);

// The report made fit for a mail body: "&" becomes "%26", then ";" becomes
// "%0d%0a" (a line break).
std::string EncodeForMail(std::string_view report);

// The link that opens a new message with the report: no recipient, a fixed
// subject, and a body naming the program before the encoded report.
std::string MailLink(std::string_view report, std::string_view program_path);

}  // namespace talvi::errors
