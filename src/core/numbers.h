// Text-to-number rules shared by every box and file the program reads.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tavrin {

// The number at the start of a text. Blanks (space, tab, line feed) are skipped
// wherever they stand; "&H"/"&O" start a hex or octal whole number; otherwise
// sign, digits, fraction and an E or D exponent. A text without a number is 0.
double leadingNumber(std::string_view text);

// `s` without the `blanks` at either end.
std::string_view trimmed(std::string_view s, std::string_view blanks = " \t");

// The whole text (blanks around it aside) must be one number; anything else,
// the empty text included, is a conversion failure (nullopt).
std::optional<double> wholeNumber(std::string_view text);

// Nearest whole number, halves to the even neighbour (2.5 -> 2, 3.5 -> 4).
double roundHalfEven(double value);

// Whole-number conversions: halves to even, nullopt when outside the width.
std::optional<std::int16_t> toInt16(double value);
std::optional<std::int32_t> toInt32(double value);
std::optional<std::uint8_t> toByte(double value);

// Plain decimal text of a number: at most 15 significant digits, no exponent,
// no trailing zeros after the point, no point for a whole number.
std::string shortestDecimal(double value);

// The decimal separator of the system's number settings (the environment's
// locale). The program itself always formats with a period.
std::string systemDecimalSeparator();

}  // namespace tavrin
