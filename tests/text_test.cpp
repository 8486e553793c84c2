#include "runtime/text.h"
#include "runtime/codepage.h"
#include "runtime/utf8.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

// Text in test output reads better as UTF-8.
std::string U8(TextView text) { return TextToUtf8(text); }

}  // namespace

TEST(text, head_tail_and_slice_clamp_their_bounds) {
  EXPECT_EQ(U8(TextSlice(u"abcdef", 3, 2)), "cd");
  EXPECT_EQ(U8(TextSlice(u"abcdef", 0, 2)), "ab");
  EXPECT_EQ(U8(TextSlice(u"abcdef", -5, 2)), "ab");
  EXPECT_EQ(U8(TextSlice(u"abcdef", 7, 2)), "");
  EXPECT_EQ(U8(TextSlice(u"abcdef", 3, -1)), "");
  EXPECT_EQ(U8(TextSlice(u"abcdef", 5, 100)), "ef");
  EXPECT_EQ(U8(TextSlice(u"abcdef", 6, 1)), "f");
  EXPECT_EQ(U8(TextSlice(u"", 1, 1)), "");
  EXPECT_EQ(U8(TextHead(u"abc", 5)), "abc");
  EXPECT_EQ(U8(TextHead(u"abc", -1)), "");
  EXPECT_EQ(U8(TextHead(u"abc", 0)), "");
  EXPECT_EQ(U8(TextTail(u"abc", 2)), "bc");
  EXPECT_EQ(U8(TextTail(u"abc", 9)), "abc");
  EXPECT_EQ(U8(TextTail(u"abc", -3)), "");
  EXPECT_EQ(TextLength(u"\U0001F3B5x"), 3);  // a character above U+FFFF counts twice
}

TEST(text, find_counts_from_one_and_gives_zero_when_absent) {
  EXPECT_EQ(TextFind(u"abc", u""), 0);
  EXPECT_EQ(TextFind(u"", u"a"), 0);
  EXPECT_EQ(TextFind(u"abcb", u"b"), 2);
  EXPECT_EQ(TextFind(u"abcb", u"cb"), 3);
  EXPECT_EQ(TextFind(u"abcb", u"B"), 0);
  EXPECT_EQ(TextFindFrom(u"abcb", u"b", 3), 4);
  EXPECT_EQ(TextFindFrom(u"abcb", u"b", 5), 0);
  EXPECT_EQ(TextFindFrom(u"abcb", u"b", 0), 2);
  EXPECT_EQ(TextFindFrom(u"abcb", u"b", -7), 2);
  EXPECT_EQ(TextFindFrom(u"abcb", u"b", 4), 4);
  EXPECT_EQ(TextFindFrom(u"abcb", u"", 1), 0);
}

TEST(text, equality_is_exact) {
  EXPECT_TRUE(TextEquals(TextView(), u""));
  EXPECT_FALSE(TextEquals(u"Abc", u"abc"));
  EXPECT_FALSE(TextEquals(u"ab", u"ab "));
  EXPECT_TRUE(TextEquals(u"\u00e9", u"\u00e9"));
}

TEST(text, integers_print_in_plain_decimal) {
  EXPECT_EQ(U8(IntegerToText(0)), "0");
  EXPECT_EQ(U8(IntegerToText(120)), "120");
  EXPECT_EQ(U8(IntegerToText(-45)), "-45");
  EXPECT_EQ(U8(IntegerToText(std::numeric_limits<std::int64_t>::min())), "-9223372036854775808");
  EXPECT_EQ(U8(IntegerToText(std::numeric_limits<std::int64_t>::max())), "9223372036854775807");
}

TEST(text, floats_print_with_ten_decimals_trimmed) {
  EXPECT_EQ(U8(FloatToText(1.0f)), "1");
  EXPECT_EQ(U8(FloatToText(0.5f)), "0.5");
  EXPECT_EQ(U8(FloatToText(0.25f)), "0.25");
  EXPECT_EQ(U8(FloatToText(-2.25f)), "-2.25");
  EXPECT_EQ(U8(FloatToText(100.0f)), "100");
  EXPECT_EQ(U8(FloatToText(250.0f)), "250");
  EXPECT_EQ(U8(FloatToText(0.0f)), "0");
  EXPECT_EQ(U8(FloatToText(-0.0f)), "0");
  EXPECT_EQ(U8(FloatToText(0.1f)), "0.1000000015");
  EXPECT_EQ(U8(FloatToText(-1e-12f)), "-0");
  EXPECT_EQ(U8(FloatToText(1e-12f)), "0");
  EXPECT_EQ(U8(FloatToText(0.70794578438414f)), "0.7079457641");
  EXPECT_EQ(U8(FloatToText(std::numeric_limits<float>::max())), "340282346638528859811704183484516925440");
  EXPECT_EQ(U8(FloatToText(std::numeric_limits<float>::infinity())), "+Infinity");
  EXPECT_EQ(U8(FloatToText(-std::numeric_limits<float>::infinity())), "-Infinity");
  EXPECT_EQ(U8(FloatToText(std::numeric_limits<float>::quiet_NaN())), "NaN");
}

TEST(text, text_to_float_reads_the_leading_number) {
  EXPECT_EQ(TextToFloat(u"1,5"), 1.0f);
  EXPECT_EQ(TextToFloat(u""), 0.0f);
  EXPECT_EQ(TextToFloat(u"abc"), 0.0f);
  EXPECT_EQ(TextToFloat(u"  \t-2.5xyz"), -2.5f);
  EXPECT_EQ(TextToFloat(u"120.5"), 120.5f);
  EXPECT_EQ(TextToFloat(u"1e3"), 1000.0f);
  EXPECT_EQ(TextToFloat(u"1e"), 1.0f);
  EXPECT_EQ(TextToFloat(u"1e+"), 1.0f);
  EXPECT_EQ(TextToFloat(u".5"), 0.5f);
  EXPECT_EQ(TextToFloat(u"5."), 5.0f);
  EXPECT_EQ(TextToFloat(u"."), 0.0f);
  EXPECT_EQ(TextToFloat(u"-"), 0.0f);
  EXPECT_EQ(TextToFloat(u"0x1p3"), 8.0f);
  EXPECT_EQ(TextToFloat(u"0x10"), 16.0f);
  EXPECT_EQ(TextToFloat(u"0x"), 0.0f);
  EXPECT_EQ(TextToFloat(u"0.70794578438414"), 0.70794578438414f);
  EXPECT_TRUE(std::signbit(TextToFloat(u"-0")));
  EXPECT_EQ(TextToFloat(u"1e999"), std::numeric_limits<float>::infinity());
  EXPECT_EQ(TextToFloat(u"-1e999"), -std::numeric_limits<float>::infinity());
  EXPECT_EQ(TextToFloat(u"1e-999"), 0.0f);
  EXPECT_EQ(TextToFloat(u"1e39"), std::numeric_limits<float>::infinity());
  EXPECT_EQ(TextToFloat(u"inf"), std::numeric_limits<float>::infinity());
  EXPECT_EQ(TextToFloat(u"-Infinity"), -std::numeric_limits<float>::infinity());
  EXPECT_EQ(TextToFloat(u"+INFINITY"), std::numeric_limits<float>::infinity());
  EXPECT_TRUE(std::isnan(TextToFloat(u"nan")));
  EXPECT_TRUE(std::isnan(TextToFloat(u"NaN")));
  EXPECT_TRUE(std::isnan(TextToFloat(u"nAn(123)")));
  EXPECT_EQ(TextToFloat(Text(10000, u'9')), std::numeric_limits<float>::infinity());
  EXPECT_EQ(TextToFloat(u"0." + Text(10000, u'0') + u"1"), 0.0f);
  EXPECT_EQ(TextToFloat(Text(10000, u'0') + u"7"), 7.0f);
}

TEST(text, rounding_to_integer_halves_to_even_and_saturates) {
  EXPECT_EQ(RoundToInteger(120.5f), 120);
  EXPECT_EQ(RoundToInteger(121.5f), 122);
  EXPECT_EQ(RoundToInteger(90.75f), 91);
  EXPECT_EQ(RoundToInteger(-2.5f), -2);
  EXPECT_EQ(RoundToInteger(std::numeric_limits<float>::quiet_NaN()), 0);
  EXPECT_EQ(RoundToInteger(std::numeric_limits<float>::infinity()), std::numeric_limits<std::int64_t>::max());
  EXPECT_EQ(RoundToInteger(-1e30f), std::numeric_limits<std::int64_t>::min());
  EXPECT_EQ(RoundToInteger(9.3e18f), std::numeric_limits<std::int64_t>::max());
  EXPECT_EQ(RoundToInteger(9.2233715e18f), 9223371487098961920);  // the last float below 2^63
}

TEST(utf8, decoding_replaces_each_malformed_sequence) {
  auto decode = [](std::string_view bytes) { return TextFromUtf8(bytes); };
  EXPECT_EQ(decode("\xC3\xA9"), u"\u00e9");
  EXPECT_EQ(decode("\xF0\x9F\x8E\xB5"), u"\U0001F3B5");
  EXPECT_EQ(decode("a\xFF" "b"), u"a\uFFFDb");
  EXPECT_EQ(decode("\xC3"), u"\uFFFD");
  EXPECT_EQ(decode("\xE2\x82"), u"\uFFFD");
  EXPECT_EQ(decode("\xE2\x82" "x"), u"\uFFFDx");
  EXPECT_EQ(decode("\xC0\x80"), u"\uFFFD\uFFFD");
  EXPECT_EQ(decode("\xED\xA0\x80"), u"\uFFFD\uFFFD");        // a surrogate: found at its second byte
  EXPECT_EQ(decode("\xF4\x90\x80\x80"), u"\uFFFD\uFFFD\uFFFD");  // beyond U+10FFFF
  EXPECT_EQ(decode("\xE0\x80\xAF"), u"\uFFFD\uFFFD");        // overlong
  EXPECT_EQ(decode("\xF0\x80\x80\x80"), u"\uFFFD\uFFFD\uFFFD");
  EXPECT_EQ(decode("\xE2x"), u"\uFFFD");                    // cut by the end: takes the rest
  EXPECT_EQ(decode("\xF5\x80"), u"\uFFFD\uFFFD");
  EXPECT_EQ(decode("\x80\xBF"), u"\uFFFD\uFFFD");
}

TEST(utf8, encoding_writes_pairs_whole_and_lone_surrogates_as_replacement) {
  EXPECT_EQ(TextToUtf8(u"\u00e9"), "\xC3\xA9");
  EXPECT_EQ(TextToUtf8(u"\U0001F3B5"), "\xF0\x9F\x8E\xB5");
  EXPECT_EQ(TextToUtf8(Text(1, char16_t(0xD800))), "\xEF\xBF\xBD");
  EXPECT_EQ(TextToUtf8(Text{char16_t(0xDC00), u'a'}), "\xEF\xBF\xBD" "a");
  EXPECT_EQ(TextToUtf8(Text{char16_t(0xD83C), char16_t(0xD83C), char16_t(0xDFB5)}), "\xEF\xBF\xBD\xF0\x9F\x8E\xB5");
}

TEST(utf8, well_formedness_rejects_overlong_surrogates_and_cut_sequences) {
  EXPECT_TRUE(IsWellFormedUtf8("plain ascii"));
  EXPECT_TRUE(IsWellFormedUtf8("\xE3\x81\x82\xF0\x9F\x8E\xB5\xC3\xA9"));
  EXPECT_FALSE(IsWellFormedUtf8("\xC1\xBF"));
  EXPECT_FALSE(IsWellFormedUtf8("\xE0\x80\xAF"));
  EXPECT_FALSE(IsWellFormedUtf8("\xED\xB0\x80"));
  EXPECT_FALSE(IsWellFormedUtf8("\xF4\x90\x80\x80"));
  EXPECT_FALSE(IsWellFormedUtf8("abc\xE3\x81"));
  EXPECT_FALSE(IsWellFormedUtf8("caf\xE9"));  // Windows-1252 e acute
}

// The platform conversions: the same expectations hold on every platform.
TEST(codepage, platform_utf8_matches_the_portable_rules) {
  for (std::string_view bytes : {"\xC3\xA9", "a\xFF" "b", "\xC3", "\xE2\x82" "x", "\xC0\x80", "\xED\xA0\x80",
                                 "\xF4\x90\x80\x80", "\x80\xBF", "\xF0\x9F\x8E\xB5", "\xE3\x81\x82z",
                                 "\xE0\x80\xAF", "\xF0\x80\x80\x80", "\xE2x", "\xF5\x80", "\xF0\x9F\x8E",
                                 "\xEF\xBF\xBF\xEF\xBF\xBE", "\xED\x9F\xBF\xEE\x80\x80", "\xC2\x80\xDF\xBF"}) {
    Text platform;
    DecodeUtf8(bytes, platform);
    EXPECT_EQ(U8(platform), U8(TextFromUtf8(bytes))) << "bytes: " << testing::PrintToString(bytes);
  }
  std::string encoded;
  EncodeUtf8(Text{u'x', char16_t(0xDFFF), char16_t(0xD83C), char16_t(0xDFB5)}, encoded);
  EXPECT_EQ(encoded, "x\xEF\xBF\xBD\xF0\x9F\x8E\xB5");
}

TEST(codepage, ansi_is_windows_1252) {
  Text decoded;
  DecodeAnsi("\x80\x81\x8D\x8F\x90\x9D\x9F\xA0\xC3\xA9\xFF", decoded);
  EXPECT_EQ(decoded, (Text{0x20AC, 0x0081, 0x008D, 0x008F, 0x0090, 0x009D, 0x0178, 0x00A0, 0x00C3, 0x00A9, 0x00FF}));
  std::string encoded;
  EncodeAnsi(u"\u20ac\u00e9\u0416\u3042a", encoded);
  EXPECT_EQ(encoded, "\x80\xE9??a");
}
