// Text: the program's string type, a sequence of UTF-16 code units.
//
// Lengths and positions count code units; positions are 1-based. No operation
// here fails: counts and positions out of range are clamped, a needle that is
// not found gives position 0, and text that holds no number converts to 0.
// Operations that return a TextView return a view into their argument; the
// caller keeps the argument alive while it uses the view.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

using Text = std::u16string;
using TextView = std::u16string_view;

std::int64_t TextLength(TextView text);
TextView TextHead(TextView text, std::int64_t count);
TextView TextTail(TextView text, std::int64_t count);
TextView TextSlice(TextView text, std::int64_t start, std::int64_t count);
std::int64_t TextFind(TextView text, TextView needle);
std::int64_t TextFindFrom(TextView text, TextView needle, std::int64_t start);
bool TextEquals(TextView a, TextView b);

Text IntegerToText(std::int64_t value);
// Fixed point with ten decimals, trailing zeros and a bare point removed;
// "+Infinity", "-Infinity", "NaN" for the special values; -0 prints as "0".
Text FloatToText(float value);
// Reads the longest leading number (decimal, hexadecimal, inf, nan) after
// white space, always with "." as the decimal point; 0 when there is none.
float TextToFloat(TextView text);

// A float rounded to the nearest integer, halves to even; NaN gives 0 and
// values beyond the 64-bit range give the nearest end of the range.
std::int64_t RoundToInteger(float value);

// ASCII literal to Text, for fixed texts built at run time.
Text AsciiText(std::string_view ascii);
