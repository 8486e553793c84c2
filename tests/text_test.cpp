#include "runtime/text.h"
#include "runtime/codepage.h"
#include "runtime/utf8.h"
#include "support/system_utf8.h"

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
  // As "%lf" reads them: "inf" and "infinity" whatever follows, a word cut
  // between the two is no number.
  struct Word { TextView text; float value; };
  const float inf = std::numeric_limits<float>::infinity();
  for (const Word& w : {Word{u"infx", inf}, Word{u"infinityx", inf}, Word{u"INFINITYz", inf}, Word{u"inf 4", inf},
                        Word{u"infi", 0.0f}, Word{u"infin", 0.0f}, Word{u"INFINI", 0.0f}, Word{u"infinit", 0.0f},
                        Word{u"-infi", 0.0f}, Word{u"infinit 5", 0.0f}})
    EXPECT_EQ(TextToFloat(w.text), w.value) << TextToUtf8(w.text);
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

// The reader decodes UTF-8 with these rules on every platform; they are the
// rules of the Windows conversion, which the same table is held against
// wherever the system has it.
TEST(utf8, decoding_follows_the_windows_conversion) {
  const struct {
    std::string_view bytes;
    Text text;
  } cases[] = {
      {"\xC3\xA9", u"\u00e9"},
      {"\xE3\x81\x82z", u"\u3042z"},
      {"\xF0\x9F\x8E\xB5", u"\U0001F3B5"},
      {"\xC2\x80\xDF\xBF", u"\u0080\u07ff"},
      {"\xED\x9F\xBF\xEE\x80\x80", u"\ud7ff\ue000"},
      {"\xEF\xBF\xBF\xEF\xBF\xBE", u"\uffff\ufffe"},
      {"a\xFF" "b", u"a\uFFFDb"},
      {"\x80\xBF", u"\uFFFD\uFFFD"},               // stray continuation bytes, one each
      {"\xF5\x80", u"\uFFFD\uFFFD"},
      {"\xC0\x80", u"\uFFFD\uFFFD"},               // overlong lead byte
      {"\xE0\x80\xAF", u"\uFFFD\uFFFD"},           // overlong: found at its second byte
      {"\xF0\x80\x80\x80", u"\uFFFD\uFFFD\uFFFD"},
      {"\xED\xA0\x80", u"\uFFFD\uFFFD"},           // a surrogate: found at its second byte
      {"\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD"},  // beyond U+10FFFF
      {"\xE2\x82" "x", u"\uFFFDx"},                 // a sequence broken off keeps what follows
      {"\xC3", u"\uFFFD"},                          // cut by the end: one replacement ...
      {"\xE2\x82", u"\uFFFD"},
      {"\xF0\x9F\x8E", u"\uFFFD"},
      {"\xE2x", u"\uFFFD"},                         // ... that takes the rest of the input with it
      {"ok\xF0\x9F" "a", u"ok\uFFFD"},
      {"ok\xF0\x9F" "ab", u"ok\uFFFDab"},          // long enough: broken off, not cut
  };
  for (const auto& c : cases) {
    const std::string bytes = testing::PrintToString(c.bytes);
    EXPECT_EQ(U8(TextFromUtf8(c.bytes)), U8(c.text)) << "bytes: " << bytes;
    Text appended = u"<";
    AppendUtf8Decoded(c.bytes, appended);
    EXPECT_EQ(U8(appended), U8(u"<" + c.text)) << "appended, bytes: " << bytes;
    if (SystemUtf8Available()) {
      EXPECT_EQ(U8(SystemUtf8Decoded(c.bytes)), U8(c.text)) << "system, bytes: " << bytes;
    }
  }
}

TEST(utf8, encoding_writes_pairs_whole_and_lone_surrogates_as_replacement) {
  const struct {
    Text text;
    std::string_view bytes;
  } cases[] = {
      {u"\u00e9", "\xC3\xA9"},
      {u"\u07ff\u0800\uffff", "\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF"},
      {u"\U0001F3B5", "\xF0\x9F\x8E\xB5"},
      {Text(1, char16_t(0xD800)), "\xEF\xBF\xBD"},
      {Text{char16_t(0xDC00), u'a'}, "\xEF\xBF\xBD" "a"},
      {Text{char16_t(0xD83C), char16_t(0xD83C), char16_t(0xDFB5)}, "\xEF\xBF\xBD\xF0\x9F\x8E\xB5"},
      {Text{u'x', char16_t(0xDFFF), char16_t(0xD83C), char16_t(0xDFB5)}, "x\xEF\xBF\xBD\xF0\x9F\x8E\xB5"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(TextToUtf8(c.text), c.bytes);
    if (SystemUtf8Available()) {
      EXPECT_EQ(SystemUtf8Encoded(c.text), c.bytes) << "system";
    }
  }
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

TEST(native_path, bytes_that_are_not_utf8_come_back_unchanged) {
  struct Case {
    std::string_view bytes;
    Text text;
  };
  const Case cases[] = {
      {"plain/name.rpp", u"plain/name.rpp"},
      {"caf\xC3\xA9 \xF0\x9F\x8E\xB5", u"caf\u00e9 \U0001F3B5"},
      {"caf\xE9.rpp", Text(u"caf") + char16_t(0xDCE9) + u".rpp"},           // Windows-1252 e acute
      {"\xC3", Text(1, char16_t(0xDCC3))},                                  // a sequence cut short
      {"\xC3(", Text{char16_t(0xDCC3), u'('}},                              // a lead byte without its follower
      {"\xED\xA0\x80", Text{char16_t(0xDCED), char16_t(0xDCA0), char16_t(0xDC80)}},  // an encoded surrogate
      {"\xC0\x80", Text{char16_t(0xDCC0), char16_t(0xDC80)}},                // overlong
      {"\x80\xFF", Text{char16_t(0xDC80), char16_t(0xDCFF)}},
      {"\xF0\x9F\x8E", Text{char16_t(0xDCF0), char16_t(0xDC9F), char16_t(0xDC8E)}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(std::string(c.bytes)));
    EXPECT_EQ(TextFromNativePath(c.bytes), c.text);
    EXPECT_EQ(NativePathFromText(c.text), c.bytes);
  }
  // Every single byte and every pair of bytes makes the round trip.
  for (int a = 0; a < 256; ++a)
    for (int b = 0; b < 256; ++b) {
      const std::string bytes{static_cast<char>(a), static_cast<char>(b)};
      ASSERT_EQ(NativePathFromText(TextFromNativePath(bytes)), bytes) << a << " " << b;
    }
}

TEST(native_path, surrogates_that_stand_for_no_byte_are_replaced) {
  // Only U+DC80..U+DCFF carry bytes; other lone surrogates cannot be named.
  EXPECT_EQ(NativePathFromText(Text{u'a', char16_t(0xD800)}), "a\xEF\xBF\xBD");
  EXPECT_EQ(NativePathFromText(Text{char16_t(0xDC7F)}), "\xEF\xBF\xBD");
  EXPECT_EQ(NativePathFromText(Text{char16_t(0xDD00)}), "\xEF\xBF\xBD");
  // A high surrogate before U+DC80 is a pair, not a carried byte.
  EXPECT_EQ(NativePathFromText(Text{char16_t(0xD83C), char16_t(0xDC80)}), TextToUtf8(Text{char16_t(0xD83C), char16_t(0xDC80)}));
}

TEST(generalized_utf8, lone_surrogates_keep_their_own_bytes_and_stray_bytes_read_as_latin1) {
  struct Case {
    Text text;
    std::string_view bytes;
  };
  const Case cases[] = {
      {u"caf\u00e9 \U0001F3B5", "caf\xC3\xA9 \xF0\x9F\x8E\xB5"},
      {Text(u"a") + char16_t(0xDCE9) + u".rpp", "a\xED\xB3\xA9.rpp"},  // a POSIX name's byte E9
      {Text{char16_t(0xD800), u'x'}, "\xED\xA0\x80x"},                 // a high surrogate alone
      {Text{char16_t(0xDBFF)}, "\xED\xAF\xBF"},                        // cut off at the end
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(std::string(c.bytes)));
    EXPECT_EQ(GeneralizedUtf8FromText(c.text), c.bytes);
    EXPECT_EQ(TextFromGeneralizedUtf8(c.bytes), c.text);
  }
  // Bytes it never writes come back one unit each.
  EXPECT_EQ(TextFromGeneralizedUtf8("caf\xE9\xC3"), (Text{u'c', u'a', u'f', char16_t(0xE9), char16_t(0xC3)}));
  EXPECT_EQ(TextFromGeneralizedUtf8("\xC0\x80"), (Text{char16_t(0xC0), char16_t(0x80)}));
}

TEST(codepage, ansi_is_windows_1252) {
  Text decoded;
  DecodeAnsi("\x80\x81\x8D\x8F\x90\x9D\x9F\xA0\xC3\xA9\xFF", decoded);
  EXPECT_EQ(decoded, (Text{0x20AC, 0x0081, 0x008D, 0x008F, 0x0090, 0x009D, 0x0178, 0x00A0, 0x00C3, 0x00A9, 0x00FF}));
  std::string encoded;
  EncodeAnsi(u"\u20ac\u00e9\u0416\u3042a", encoded);
  EXPECT_EQ(encoded, "\x80\xE9??a");
}
