#include "runtime/text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>

namespace {

std::int64_t Clamp(std::int64_t n, std::int64_t length) {
  return n < 0 ? 0 : (n > length ? length : n);
}

bool IsSpace(char16_t c) {
  return c == u' ' || c == u'\t' || c == u'\n' || c == u'\v' || c == u'\f' || c == u'\r';
}

char16_t Lower(char16_t c) { return (c >= u'A' && c <= u'Z') ? char16_t(c + 32) : c; }

bool EqualsIgnoringCase(TextView a, std::string_view lowerAscii) {
  if (a.size() != lowerAscii.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (Lower(a[i]) != char16_t(lowerAscii[i])) return false;
  return true;
}

// Whether `text` holds `lowerAscii` at `pos`, letters compared without regard to case.
bool StartsWithIgnoringCase(TextView text, std::size_t pos, std::string_view lowerAscii) {
  if (text.size() - pos < lowerAscii.size()) return false;
  return EqualsIgnoringCase(text.substr(pos, lowerAscii.size()), lowerAscii);
}

bool IsDigit(char16_t c) { return c >= u'0' && c <= u'9'; }
bool IsHexDigit(char16_t c) {
  return IsDigit(c) || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

// The longest number at the start of `text`: digits with an optional point and
// an exponent that is taken only when digits follow it.
std::size_t ScanDigitsWithPoint(TextView text, std::size_t i, bool hex, bool& anyDigit) {
  auto digit = hex ? IsHexDigit : IsDigit;
  while (i < text.size() && digit(text[i])) { ++i; anyDigit = true; }
  if (i < text.size() && text[i] == u'.') {
    ++i;
    while (i < text.size() && digit(text[i])) { ++i; anyDigit = true; }
  }
  return i;
}

std::size_t ScanExponent(TextView text, std::size_t i, char16_t mark) {
  if (i >= text.size() || Lower(text[i]) != mark) return i;
  std::size_t j = i + 1;
  if (j < text.size() && (text[j] == u'+' || text[j] == u'-')) ++j;
  if (j >= text.size() || !IsDigit(text[j])) return i;
  while (j < text.size() && IsDigit(text[j])) ++j;
  return j;
}

float DoubleToFloat(double d) {
  // Beyond the float range the conversion itself is undefined: round by hand.
  constexpr double kFloatMax = std::numeric_limits<float>::max();
  constexpr double kOverflow = 3.4028235677973366e38;  // halfway to the next power of two
  if (std::isnan(d)) return std::numeric_limits<float>::quiet_NaN();
  double m = std::fabs(d);
  if (m > kFloatMax) {
    float r = m >= kOverflow ? std::numeric_limits<float>::infinity() : std::numeric_limits<float>::max();
    return d < 0 ? -r : r;
  }
  return static_cast<float>(d);
}

double ParseNumber(TextView text) {
  std::size_t i = 0;
  while (i < text.size() && IsSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) negative = text[i++] == u'-';
  const double sign = negative ? -1.0 : 1.0;

  if (StartsWithIgnoringCase(text, i, "inf")) {
    // "inf" and "infinity" are infinity; a word that goes on from "inf" into
    // "infinity" and stops short of it is no number at all, as for "%lf".
    const bool intoInfinity = i + 3 < text.size() && Lower(text[i + 3]) == u'i';
    if (intoInfinity && !StartsWithIgnoringCase(text, i, "infinity")) return 0.0;
    return sign * std::numeric_limits<double>::infinity();
  }
  if (StartsWithIgnoringCase(text, i, "nan")) return std::numeric_limits<double>::quiet_NaN();

  bool hex = i + 1 < text.size() && text[i] == u'0' && Lower(text[i + 1]) == u'x';
  std::size_t start = hex ? i + 2 : i;
  bool anyDigit = false;
  std::size_t end = ScanDigitsWithPoint(text, start, hex, anyDigit);
  if (!anyDigit) {
    if (hex) return sign * 0.0;  // "0x" alone reads as the zero before the x
    return 0.0;
  }
  end = ScanExponent(text, end, hex ? u'p' : u'e');

  // The characters are ASCII by construction; narrow them for from_chars.
  std::string ascii(end - start, '\0');
  for (std::size_t k = start; k < end; ++k) ascii[k - start] = static_cast<char>(text[k]);
  double value = 0.0;
  auto format = hex ? std::chars_format::hex : std::chars_format::general;
  auto [ptr, ec] = std::from_chars(ascii.data(), ascii.data() + ascii.size(), value, format);
  if (ec == std::errc::result_out_of_range) {
    // from_chars leaves the value alone here; strtod tells overflow from
    // underflow (the numeric locale is always "C").
    value = std::strtod((hex ? "0x" + ascii : ascii).c_str(), nullptr);
  } else if (ec != std::errc()) {
    value = 0.0;
  }
  (void)ptr;
  return sign * value;
}

}  // namespace

std::int64_t TextLength(TextView text) { return static_cast<std::int64_t>(text.size()); }

TextView TextHead(TextView text, std::int64_t count) {
  return text.substr(0, static_cast<std::size_t>(Clamp(count, TextLength(text))));
}

TextView TextTail(TextView text, std::int64_t count) {
  auto n = static_cast<std::size_t>(Clamp(count, TextLength(text)));
  return text.substr(text.size() - n);
}

TextView TextSlice(TextView text, std::int64_t start, std::int64_t count) {
  const std::int64_t length = TextLength(text);
  if (count < 0) return {};
  if (start < 1) start = 1;
  if (start > length) return {};
  const std::int64_t rest = length - (start - 1);
  return text.substr(static_cast<std::size_t>(start - 1), static_cast<std::size_t>(std::min(count, rest)));
}

std::int64_t TextFind(TextView text, TextView needle) { return TextFindFrom(text, needle, 1); }

std::int64_t TextFindFrom(TextView text, TextView needle, std::int64_t start) {
  if (text.empty() || needle.empty()) return 0;
  if (start < 1) start = 1;
  if (start > TextLength(text)) return 0;
  auto pos = text.find(needle, static_cast<std::size_t>(start - 1));
  return pos == TextView::npos ? 0 : static_cast<std::int64_t>(pos) + 1;
}

bool TextEquals(TextView a, TextView b) { return a == b; }

Text IntegerToText(std::int64_t value) {
  char buffer[24];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return AsciiText(std::string_view(buffer, static_cast<std::size_t>(result.ptr - buffer)));
}

Text FloatToText(float value) {
  if (std::isinf(value)) return AsciiText(value > 0 ? "+Infinity" : "-Infinity");
  if (std::isnan(value)) return AsciiText("NaN");
  if (value == 0.0f) value = 0.0f;  // drops the sign of -0
  // Exact decimal expansion, rounded like "%.10f" and independent of the locale.
  char buffer[64];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, static_cast<double>(value),
                              std::chars_format::fixed, 10);
  std::string_view digits(buffer, static_cast<std::size_t>(result.ptr - buffer));
  if (digits.find('.') != std::string_view::npos) {
    while (digits.back() == '0') digits.remove_suffix(1);
    if (digits.back() == '.') digits.remove_suffix(1);
  }
  return AsciiText(digits);
}

float TextToFloat(TextView text) {
  if (EqualsIgnoringCase(text, "+infinity")) return std::numeric_limits<float>::infinity();
  if (EqualsIgnoringCase(text, "-infinity")) return -std::numeric_limits<float>::infinity();
  if (EqualsIgnoringCase(text, "nan")) return std::numeric_limits<float>::quiet_NaN();
  return DoubleToFloat(ParseNumber(text));
}

std::int64_t RoundToInteger(float value) {
  if (std::isnan(value)) return 0;
  // 2^63 is exactly representable; everything at or beyond it saturates.
  constexpr float kLimit = 9223372036854775808.0f;
  if (value >= kLimit) return std::numeric_limits<std::int64_t>::max();
  if (value < -kLimit) return std::numeric_limits<std::int64_t>::min();
  return static_cast<std::int64_t>(std::nearbyint(value));
}

Text AsciiText(std::string_view ascii) { return Text(ascii.begin(), ascii.end()); }
