// The byte layer under both readers of project files: the mark, the line
// ends found 64 bytes at a time and the runs of blanks, against a plain look
// at one byte after another, and the UTF-8 check fed in pieces.
#include "runtime/text_bytes.h"
#include "runtime/utf8.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

bool IsEnd(unsigned char b) { return b == 0 || b == '\n' || b == '\r'; }

TEST(text_bytes, the_mark_gives_the_format_and_is_skipped) {
  struct Case {
    std::string bytes;
    TextFormat format;
    std::size_t length;
  } cases[] = {
      {"\xEF\xBB\xBFx", TextFormat::Utf8, 3},
      {"\xFF\xFEx\0", TextFormat::Utf16Le, 2},
      {std::string("\xFF\xFE\0\0", 4), TextFormat::Utf32Le, 4},
      {"\xFE\xFF", TextFormat::Utf16Be, 2},
      {std::string("\0\0\xFE\xFF", 4), TextFormat::Utf32Be, 4},
      {"\xEF\xBB", TextFormat::Ansi, 0},  // a mark cut by the end of the file is none
      {"<REA", TextFormat::Ansi, 0},
      {"", TextFormat::Ansi, 0},
  };
  for (const Case& c : cases) {
    const ByteOrderMark mark =
        DetectByteOrderMark(reinterpret_cast<const unsigned char*>(c.bytes.data()), c.bytes.size());
    EXPECT_EQ(mark.format, c.format) << testing::PrintToString(c.bytes);
    EXPECT_EQ(mark.length, c.length) << testing::PrintToString(c.bytes);
  }
}

// Random buffers of every length up to three blocks, with line ends, high
// bytes and angles in the slack after them that no scan may report.
TEST(text_bytes, scans_find_what_a_byte_by_byte_look_finds) {
  const unsigned char alphabet[] = {' ', ' ', '\t', 'a', 'a', '<', '>', '\n', '\r', 0, 0xC3, 0x80};
  std::mt19937 random(17);
  for (int round = 0; round < 3000; ++round) {
    const std::size_t n = random() % 200;
    std::vector<unsigned char> buffer(n + kScanSlack);
    for (std::size_t i = 0; i < n; ++i) buffer[i] = alphabet[random() % std::size(alphabet)];
    for (std::size_t i = n; i < buffer.size(); ++i) buffer[i] = "\n\x80<  \t"[i % 6];
    const unsigned char* p = buffer.data();
    const unsigned char* end = p + n;
    SCOPED_TRACE(testing::PrintToString(std::string(p, end)));
    for (std::size_t from = 0; from <= n; ++from) {
      std::size_t stop = from, ascii = from, spaces = from, blanks = from;
      while (stop < n && !IsEnd(p[stop])) ++stop;
      std::size_t stopOrHigh = from;
      while (stopOrHigh < n && !IsEnd(p[stopOrHigh]) && p[stopOrHigh] < 0x80) ++stopOrHigh;
      while (ascii < n && p[ascii] < 0x80) ++ascii;
      while (spaces < n && p[spaces] == ' ') ++spaces;
      while (blanks < n && (p[blanks] == ' ' || p[blanks] == '\t')) ++blanks;
      ASSERT_EQ(FindLineStop(p + from, end, false) - p, static_cast<std::ptrdiff_t>(stop)) << from;
      ASSERT_EQ(FindLineStop(p + from, end, true) - p, static_cast<std::ptrdiff_t>(stopOrHigh)) << from;
      ASSERT_EQ(SkipAscii(p + from, end) - p, static_cast<std::ptrdiff_t>(ascii)) << from;
      ASSERT_EQ(SkipSpaces(p + from, end) - p, static_cast<std::ptrdiff_t>(spaces)) << from;
      ASSERT_EQ(SkipBlanks(p + from, end) - p, static_cast<std::ptrdiff_t>(blanks)) << from;
    }
    // Every end, handed out in order; with the high bytes when asked; and
    // those before a position left out.
    for (bool withHigh : {false, true}) {
      const std::size_t from = n / 3;
      std::vector<std::size_t> expected, found;
      for (std::size_t i = from; i < n; ++i)
        if (IsEnd(p[i]) || (withHigh && p[i] >= 0x80)) expected.push_back(i);
      LineStops stops;
      stops.restart(0);
      std::size_t at;
      std::uint64_t high;
      for (;;) {
        if (stops.next(from, at)) found.push_back(at);
        else if (!stops.scan(p, n, high, withHigh)) break;
      }
      EXPECT_EQ(found, expected) << withHigh;
    }
    for (std::size_t block = 0; block < n; block += 64) {
      std::uint64_t angles = 0, highs = 0;
      for (std::size_t i = block; i < std::min(n, block + 64); ++i) {
        angles |= static_cast<std::uint64_t>(p[i] == '<' || p[i] == '>') << (i - block);
        highs |= static_cast<std::uint64_t>(p[i] >= 0x80) << (i - block);
      }
      std::uint64_t high;
      const std::uint64_t valid = LowBits(n - block);
      EXPECT_EQ(ScanAngleBits(p + block, high) & valid, angles);
      EXPECT_EQ(high & valid, highs);
    }
  }
}

// Fed in two pieces split anywhere, the check gives the verdict of the whole,
// and once it has said no it looks at nothing more.
TEST(utf8, the_check_in_pieces_gives_the_verdict_of_the_whole) {
  struct Case {
    std::string bytes;
    bool wellFormed;  // every byte fits
    bool complete;    // and no sequence is cut short at the end
  } cases[] = {
      {"plain", true, true},
      {"\xE3\x81\x82\xF0\x9F\x8E\xB5\xC3\xA9", true, true},
      {"\xF4\x8F\xBF\xBFz", true, true},      // U+10FFFF
      {"ab\xE3\x81", true, false},             // cut short
      {"\xC1\xBF", false, false},              // overlong
      {"\xE0\x80\xAF", false, false},          // overlong
      {"\xED\xA0\x80", false, false},          // a surrogate
      {"\xF4\x90\x80\x80", false, false},      // beyond U+10FFFF
      {"\xC3\n", false, false},                // a line end inside a sequence
      {"caf\xE9 ok", false, false},            // Windows-1252
  };
  for (const Case& c : cases) {
    const auto* p = reinterpret_cast<const unsigned char*>(c.bytes.data());
    EXPECT_EQ(IsWellFormedUtf8(c.bytes), c.complete) << testing::PrintToString(c.bytes);
    for (std::size_t split = 0; split <= c.bytes.size(); ++split) {
      Utf8Check check;
      const bool first = check.feed(p, p + split);
      check.feed(p + split, p + c.bytes.size());
      EXPECT_EQ(check.wellFormed(), c.wellFormed) << testing::PrintToString(c.bytes) << " split " << split;
      EXPECT_EQ(check.complete(), c.complete) << testing::PrintToString(c.bytes) << " split " << split;
      if (!first) {
        EXPECT_FALSE(check.feed(reinterpret_cast<const unsigned char*>("ok"), reinterpret_cast<const unsigned char*>("ok") + 2));
      }
    }
  }
}

}  // namespace
