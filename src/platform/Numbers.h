#pragma once
// Locale-independent number parsing. The GUI switches the C locale to the user's,
// so atof/strtod/printf must not be used for numbers in files or dialogs.
#include <cstdint>
#include <string>
#include <string_view>

namespace vx {

// The whole text (surrounding blanks allowed) must be a number.
bool ParseDouble(std::string_view text, double& value);
bool ParseInt(std::string_view text, int& value);
bool ParseInt64(std::string_view text, int64_t& value);
// The same for a float, in fixed or exponent notation, as every number a user types is read:
// infinities, NaN and numbers beyond the largest float are refused, so that they never stand
// in for another number; a number too small for a float reads as 0 or the nearest tiny float.
bool ParseFloat(std::string_view text, float& value);
// Like atof/atoi: the longest leading number after blanks, 0 when there is none.
double LeadingDouble(std::string_view text);
int LeadingInt(std::string_view text);

// Truncation toward zero that stays defined for NaN (0) and values outside the int
// range (the nearest end of the range).
int TruncateToInt(double value);

// Shortest text that reads back as the same double ("0.1", "1e+20", "-3").
std::string FormatDouble(double value);
// Fixed notation with the given decimals ("%.*f" without the locale).
std::string FormatFixed(double value, int decimals);
// As a text stream writes numbers by default: 6 significant digits, fixed or exponent
// notation, trailing zeros dropped ("%g" without the locale).
std::string FormatGeneral(double value);

// Numbers as a text stream with its show-sign and show-point flags writes them, for the
// text exports: integers with their sign ("+0", "-3"); floating-point numbers with their
// sign, six significant digits and the point always shown ("+1.50000", "-0.00123000",
// "+1.00000e+20").
std::string FormatSignedInt(long long value);
std::string FormatSignedFloat(double value);

}  // namespace vx
