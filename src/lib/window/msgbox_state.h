// SPDX-License-Identifier: MIT
// The wait box the library holds (at most one per process) and the text it
// was opened with. Shared by POPMSG and TMsgBox.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "lib/window/msgbox.h"

namespace talvi::lib::msgbox_state {

// The open wait box, or null.
std::unique_ptr<TMsgBox>& Box();
// The current message: set while a box opened with a text is open.
std::optional<std::string>& Current();

}  // namespace talvi::lib::msgbox_state
