// SPDX-License-Identifier: MIT
// Calendar questions about the library's dates: leap years, month lengths,
// Easter, Italian public holidays and the Italian names of days and months.
// Day and month names are Windows-1252 byte strings.
#pragma once

#include <string>

#include "lib/date.h"

namespace talvi::lib {

// Leap year of the Gregorian calendar. The empty date has no year and is
// not a leap year.
bool ISLEAP(int year);
bool ISLEAP(Date date);

// Days in the date's month; 0 for the empty date.
int MDAYS(Date date);

// Easter Sunday of the year (of the date's year); the empty date for the
// empty date or a year outside 1 to 9999.
Date EASTER(int year);
Date EASTER(Date date);

// True for a Sunday, for a Saturday when `saturday_is_holiday`, and for the
// Italian public holidays: 1 and 6 January, Easter Monday, 25 April, 1 May,
// 2 June, 15 August, 1 November, 8, 25 and 26 December. False for the empty
// date.
bool ISFEST(Date date, bool saturday_is_holiday = true);

// Italian name of the weekday ("Domenica", "Luned\xEC", ...); empty for the
// empty date.
std::string CDAY(Date date);

// Italian name of the month 1 to 12 ("Gennaio" ... "Dicembre"); empty for 0,
// any other number and the empty date.
std::string CMNT(int month);
std::string CMNT(Date date);

}  // namespace talvi::lib
