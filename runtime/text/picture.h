// Display pictures: the runtime's one notation for showing a stored value as text and reading
// such text back (list columns, the XML library's field settings, time stamps in files and logs).
//
// A picture is an optional '@', a kind letter in either case, and the kind's settings:
//   Sn              text, cut or blank-padded to n characters ("@s20").
//   N[s][0][,]w[.d] a number right-aligned in w characters, rounded (half away from zero) to d
//                   decimals. s: '-' (the default) puts '-' before a negative number, '+' also
//                   puts '+' before a positive one, '(' puts a negative one in parentheses.
//                   '0' fills with zeros after the sign instead of blanks before it; ',' groups
//                   thousands with ','. A number that does not fit shows w '#'.
//                   ("@n11", "@n-,14.2", "@n(12.2", "@n+011", "N02").
//   D[0]n[c]        a date in layout n (below); T[0]n[c] a time in layout n. Month, day and hour
//                   take two places, zero-filled with the '0', blank-filled without it; c, one of
//                   '/', '-', '.', ':' or '_' (a blank), replaces the layout's separator.
//                   ("D17", "d017", "D010-", "T8", "t07", "T04").
// Date layouts: 1 mm/dd/yy  2 mm/dd/yyyy  3 Mon dd, yyyy  4 Month dd, yyyy  5 dd/mm/yy
//   6 dd/mm/yyyy  7 dd Mon yy  8 dd Mon yyyy  9 yy/mm/dd  10 yyyy/mm/dd  11 yymmdd  12 yyyymmdd
//   13 mm/yy  14 mm/yyyy  15 yy/mm  16 yyyy/mm  17 the short date, mm/dd/yyyy.
// Time layouts: 1 hh:mm  2 hhmm  3 hh:mmAM  4 hh:mm:ss  5 hhmmss  6 hh:mm:ssAM
//   7 the short time, hh:mm  8 the long time, hh:mm:ss.
//
// Stored values are text: a number in plain decimal ("-1234.5"); a date as its day number (days
// since 28 December 1800, so 1 January 1801 is 4); a time as hundredths of a second since
// midnight plus one (0 and blank text stand for no date or time, and show as empty text).
// Two-digit years read back as 2000-2049 below 50 and 1950-1999 from 50 on.
//
// Formatting a value the picture cannot read (letters under a number picture, a day number
// outside 1801-9999) shows the value as it is (under N cut or padded to w). A text that is not
// of a picture's form does not de-format (nullopt); blank text de-formats to empty text. A text
// that names no picture kind is neither formatted nor de-formatted: the value passes unchanged.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vantrel {

// True when the text is a picture of one of the kinds above.
bool IsPicture(std::string_view picture);

std::string FormatPicture(std::string_view picture, std::string_view value);
std::optional<std::string> DeformatPicture(std::string_view picture, std::string_view text);

// The stored forms of a date and a time; 0 for a date or time that does not exist.
std::int32_t DateNumber(int year, int month, int day);
std::int32_t TimeNumber(int hours, int minutes, int seconds, int hundredths = 0);

}  // namespace vantrel
