#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tg::numbertext {

// Every number the program shows or stores as text, in the core and the
// windows alike, goes through here: "." is the decimal point whatever the
// user's locale (the windowed program adopts it, so the C library's and
// Qt's locale-aware conversions would write and expect "," in German).

// Fixed notation with the given decimals ("%.*f"), rounded to nearest.
std::string Fixed(double value, int decimals);
// The shortest text that reads back as the same double.
std::string Shortest(double value);
// At most the given significant digits, as "%.*g" writes them (trailing
// zeros dropped, exponent for very large or small values).
std::string General(double value, int significantDigits);

// A decimal number filling the whole text but for surrounding blanks: an
// optional sign, digits with an optional "." fraction and an optional
// exponent. With commaIsPoint a single "," stands for the point (a German
// keypad types one). Out-of-range magnitudes give ±infinity or 0 as the
// C library does; anything else that is not such a number gives nothing.
std::optional<double> Parse(std::string_view text, bool commaIsPoint = false);

}  // namespace tg::numbertext
