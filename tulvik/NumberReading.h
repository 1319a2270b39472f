#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace tulvik {

// Raised by readNumber when the text holds a number beyond the range of a double. Reading it
// as infinity would hand the control a value that means nothing and say nothing about it.
class NumberTooLarge : public std::range_error {
public:
    explicit NumberTooLarge(const std::string& what) : std::range_error(what) {}
};

// Reads the number at the beginning of a text, the way the country code and the channel
// entries are read:
// - blanks, tabs and line feeds are skipped wherever they stand ("4 4" is 44);
// - an optional sign, digits with at most one '.', an optional exponent: E or D in either
//   case, an optional sign, digits ("1.5", "-2.5e3", "1D2");
// - or "&H" followed by hexadecimal digits, "&O" by octal ones (H and O in either case); such
//   an integer takes no sign and may be of any length;
// - reading stops at the first character that cannot continue the number, and what was read
//   up to there is the number ("49abc" is 49, "1E" is 1, "1.2.3" is 1.2);
// - a text without a number at its beginning, and the empty text, give 0.
// The result is the double nearest to the number read; a number too small to tell from zero
// gives 0, a zero result is always +0. A number beyond the range of a double raises
// NumberTooLarge.
double readNumber(std::string_view text);

}  // namespace tulvik
