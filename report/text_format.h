// Text and numbers as the report writes them: no locale, so the page is byte-stable, and every
// number a valid one whatever the logs hold.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Text made safe inside HTML and SVG; control bytes become blanks.
std::string escaped(std::string_view text);

// Decimal text of a whole number.
std::string decimal(std::int64_t value);

// A number with at most `decimals` (0 to 6) digits after the point, trailing zeros dropped; "0"
// for a value that is not finite. Whole digits are never dropped, so a huge value is a long text.
std::string number_text(double value, int decimals = 1);

// A number in at most `width` characters (at least 6), for a label: number_text when it fits,
// else shortened with a suffix of powers of a thousand (81234567 as "81.2M"), and beyond those
// as a power of ten ("1.2e63"). Never a cut piece of the number.
std::string short_number(double value, std::size_t width);
