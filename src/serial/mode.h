// SPDX-License-Identifier: MIT
// The system's mode syntax for serial line settings, parsed by our own code
// so that it behaves the same on every system.
//
// Short form:   [COMn:]baud,parity,data,stop[,x|p]     e.g. "57600,N,8,1"
// Keyword form: [COMn:]baud=b parity=p data=d stop=s to=on|off xon=on|off
//               odsr=on|off octs=on|off dtr=on|off|hs rts=on|off|hs|tg idsr=on|off
#pragma once

#include <string_view>

#include "serial/dcb.h"

namespace talvi::serial {

// Writes the fields that `mode` names into `dcb` and gives true; gives false
// and leaves `dcb` untouched when `mode` is not a valid mode string.
bool ParseCommMode(std::string_view mode, Dcb& dcb);

}  // namespace talvi::serial
