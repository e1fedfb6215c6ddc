// SPDX-License-Identifier: MIT
// Checks of the form of the codes that Italian business software meets. Each
// takes a byte string (any length, any byte values) and answers true only for
// a well-formed value; nothing malformed is ever reported valid.
#pragma once

#include <string_view>

namespace talvi::lib {

// A 27-character international bank account number (blanks around it are
// ignored): two capital letters of the country, two check digits, then
// capitals and digits, passing the ISO 7064 MOD 97-10 check.
bool ISIBAN(std::string_view text);

// An 11-digit Italian VAT number (trailing blanks ignored) whose last digit
// is the check digit of the first ten; eleven zeros are refused.
bool ISIVA(std::string_view text);

// A 16-character Italian fiscal code (small letters taken as capitals,
// trailing blanks ignored) whose last letter is its control letter; a text of
// any other length is checked as a VAT number, which is a company's code.
bool ISCOD(std::string_view text);

// The form of an e-mail address: no inner blank, a "." and an "@", not ending
// in ".", and otherwise only letters, digits and the characters "_", "-" and
// "'". Trailing blanks are ignored.
bool ISEMAIL(std::string_view text);

// A time of day "hh:mm:ss": digits in places 1-2, 4-5 and 7-8 within 23, 59
// and 59, any characters as separators, and no blank anywhere.
bool ISTIME(std::string_view text);

// True when every character is a decimal digit; the empty text included.
bool ISNUMBER(std::string_view text);

}  // namespace talvi::lib
