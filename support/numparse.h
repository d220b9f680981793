// support/numparse.h - number conversion of text files' values.
//
// The interface files and the configuration files convert text the same way:
// integers with an optional sign and a base prefix ($ or 0x hexadecimal,
// % binary, & octal, decimal otherwise), and decimal floats with an optional
// fraction and exponent. A conversion succeeds only when the whole text is such
// a number; leading blanks and tabs are allowed, anything after the number
// (trailing blanks included) is not. The callers decide whether a failure reads
// as 0 (lenient) or is fatal (strict).
#pragma once

#include <cstdint>
#include <string_view>

// Whole-text integer; decimal values must fit int32, prefixed values may use
// all 32 bits (they wrap to the signed value). False when the text is no integer.
bool numparse_int(std::string_view text, int32_t& value);
// Whole-text decimal float, rounded to a 32-bit float. False when it is no number.
bool numparse_float(std::string_view text, float& value);
// Same as numparse_float with the result in extended precision.
bool numparse_double(std::string_view text, long double& value);

// Lenient forms: 0 when the text is not a number.
int32_t numparse_int_or_zero(std::string_view text);
float   numparse_float_or_zero(std::string_view text);
