// SPDX-License-Identifier: MIT
// How the library reads the number typed into a numeric entry field. The
// close check and MSGGET read it the same way, so a value that the check
// lets through is the value that is stored.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace talvi::lib {

// The number in `text`: blanks and the picture's group separators (",")
// anywhere are left out; what remains is an optional sign and digits with
// at most one decimal point ("."), at least one digit. A text of only
// blanks and separators is 0; a number beyond the range of a double is an
// infinity of its sign. Anything else (letters, a second point, an
// exponent) is not a number: none. Read the same in every locale.
std::optional<double> ReadEntryNumber(std::string_view text);

// `value` with exactly `decimals` places after ".", without grouping, the
// same in every locale ("12.50").
std::string EntryText(double value, int decimals);

}  // namespace talvi::lib
