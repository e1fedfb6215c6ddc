// SPDX-License-Identifier: MIT
// A one-field input dialog.
#pragma once

#include <string>

namespace talvi::lib {

// Shows a modal dialog titled `title` with `prompt`, an entry field holding
// `value` under `picture` ("@D" a date, "999.99" a number, "" free text),
// OK and Cancel. True when the user confirmed; only then is `value`
// replaced. Esc cancels.
bool MSGGET(const std::string& title, const std::string& prompt, std::string& value,
            const std::string& picture = "");
// The same for a number.
bool MSGGET(const std::string& title, const std::string& prompt, double& value,
            const std::string& picture = "");

}  // namespace talvi::lib
