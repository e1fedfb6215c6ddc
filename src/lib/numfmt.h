// SPDX-License-Identifier: MIT
// Numbers for Italian readers: digits grouped in threes with ".", "," before
// two decimals, right-aligned in a field of fixed width. The width w counts
// digit places (w - 2 of them for the two-decimal forms, from 1 to 15; other
// counts are brought into that range); without a width, numbers of up to ten
// characters get the standard width 10. Amounts are rounded in decimal, half
// away from zero (1.005 shows as "1,01"). A number too large for its field,
// or not a number at all, shows as a field of "*" of the same width.
#pragma once

#include <optional>
#include <string>

namespace talvi::lib {

// Whole number, zero as "0", "-" in front of a negative number.
std::string NSTR(double number, std::optional<int> width = std::nullopt);
// Whole number, zero as blanks, "-" in front.
std::string ZSTR(double number, std::optional<int> width = std::nullopt);
// Whole number, sign behind: the absolute value, then " " or "-". Zero shows
// as blanks unless `showZero`.
std::string SSTR(double number, std::optional<int> width = std::nullopt, bool showZero = false);

// The same with two decimals.
std::string ENSTR(double number, std::optional<int> width = std::nullopt);
std::string EZSTR(double number, std::optional<int> width = std::nullopt);
std::string ESSTR(double number, std::optional<int> width = std::nullopt, bool showZero = false);

}  // namespace talvi::lib
