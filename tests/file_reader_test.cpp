#include "runtime/line_arena.h"
#include "runtime/numbered_file.h"
#include "support/temp_folder.h"

#include <vector>

namespace {

class reader : public TempFolder {
 protected:
  void TearDown() override {
    CloseAllNumberedFiles();
    TempFolder::TearDown();
  }

  // Opens the bytes as file 0 and returns the detected format.
  TextFormat open(std::string_view bytes) {
    CloseNumberedFile(0);  // nobody may write a file this program holds open
    writeFile(u"in.txt", bytes);
    EXPECT_NE(OpenFileForReading(0, path(u"in.txt")), 0);
    return DetectTextFormat(0);
  }

  // Every line of the file, read in the given format until the end.
  static std::vector<Text> lines(TextFormat format) {
    std::vector<Text> result;
    while (!AtEndOfFile(0)) result.push_back(ReadTextLine(0, static_cast<std::int32_t>(format)));
    return result;
  }

  std::vector<Text> linesOf(std::string_view bytes) { return lines(open(bytes)); }
};

using Lines = std::vector<Text>;

}  // namespace

TEST_F(reader, every_terminator_ends_a_line_and_is_dropped) {
  EXPECT_EQ(linesOf(""), Lines{});
  EXPECT_EQ(linesOf("x"), Lines{u"x"});
  EXPECT_EQ(linesOf("a\r\nb\n"), (Lines{u"a", u"b"}));
  EXPECT_EQ(linesOf("a\rb"), (Lines{u"a", u"b"}));
  EXPECT_EQ(linesOf("a\n\rb"), (Lines{u"a", u"", u"b"}));
  EXPECT_EQ(linesOf("abc\r"), Lines{u"abc"});
  EXPECT_EQ(linesOf("a\r\r\nb"), (Lines{u"a", u"", u"b"}));
  EXPECT_EQ(linesOf(std::string_view("a\0b\0\0c", 6)), (Lines{u"a", u"b", u"", u"c"}));
  EXPECT_EQ(linesOf("\n\n"), (Lines{u"", u""}));
}

TEST_F(reader, empty_file_is_ansi_and_at_its_end_at_once) {
  EXPECT_EQ(open(""), TextFormat::Ansi);
  EXPECT_TRUE(AtEndOfFile(0));
  EXPECT_EQ(ReadTextLine(0, 0), u"");
}

TEST_F(reader, byte_order_marks_are_detected_and_skipped) {
  struct Case { std::string bytes; TextFormat format; std::int64_t position; };
  const Case cases[] = {
      {"x", TextFormat::Ansi, 0},
      {"\xEF\xBB\xBF", TextFormat::Utf8, 3},
      {"\xEF\xBB", TextFormat::Ansi, 0},
      {"\xFF\xFE", TextFormat::Utf16Le, 2},
      {std::string("\xFF\xFE\0\0", 4), TextFormat::Utf32Le, 4},
      {std::string("\xFF\xFE\0", 3), TextFormat::Utf16Le, 2},
      {"\xFE\xFF", TextFormat::Utf16Be, 2},
      {std::string("\0\0\xFE\xFF", 4), TextFormat::Utf32Be, 4},
      {"abcd", TextFormat::Ansi, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(open(c.bytes), c.format) << testing::PrintToString(c.bytes);
    EXPECT_EQ(NumberedFilePosition(0), c.position) << testing::PrintToString(c.bytes);
  }
}

TEST_F(reader, utf8_with_a_mark_decodes_and_ansi_reads_bytes_as_windows_1252) {
  EXPECT_EQ(linesOf("\xEF\xBB\xBF\xC3\xA9"), Lines{u"\u00e9"});
  open("\xC3\xA9");
  EXPECT_EQ(lines(TextFormat::Ansi), Lines{u"\u00c3\u00a9"});
  open("\x80 \x9D");
  EXPECT_EQ(lines(TextFormat::Ansi), Lines{u"\u20ac \u009d"});
}

TEST_F(reader, utf8_sequences_take_their_bytes_as_they_come) {
  open("\xC3\nb\n");  // the LF belongs to the sequence
  EXPECT_EQ(lines(TextFormat::Utf8), Lines{u"\uFFFD\nb"});
  open("a\x80" "b\xF8" "c");
  EXPECT_EQ(lines(TextFormat::Utf8), Lines{u"a?b?c"});
  open(std::string_view("a\xC3\0b\nc", 6));  // a NUL taken into a sequence ends the text
  EXPECT_EQ(lines(TextFormat::Utf8), (Lines{u"a\uFFFD", u"c"}));
  open("ab\xE3\x81");  // cut short by the end of the file: dropped
  EXPECT_EQ(lines(TextFormat::Utf8), Lines{u"ab"});
  open("\xF0\x9F\x8E\xB5\r\n\xE3\x81\x82");
  EXPECT_EQ(lines(TextFormat::Utf8), (Lines{u"\U0001F3B5", u"\u3042"}));
}

TEST_F(reader, checked_utf8_remembers_a_malformed_line) {
  open("caf\xC3\xA9\nok\n");
  EXPECT_EQ(lines(static_cast<TextFormat>(static_cast<int>(TextFormat::Utf8) | kCheckUtf8)),
            (Lines{u"caf\u00e9", u"ok"}));
  EXPECT_FALSE(NumberedFileSawMalformedUtf8(0));
  for (std::string_view bad : {"caf\xE9\n", "\xC0\x80", "\xED\xA0\x80", "x\xE3\x81", "\x80", "\xC3\n"}) {
    open(bad);
    lines(static_cast<TextFormat>(static_cast<int>(TextFormat::Utf8) | kCheckUtf8));
    EXPECT_TRUE(NumberedFileSawMalformedUtf8(0)) << testing::PrintToString(bad);
  }
}

TEST_F(reader, utf16_little_endian_splits_on_its_own_units) {
  const std::string text("\xFF\xFE" "a\0\r\0\n\0b\0\r\0c\0\0\0d\0\x42\x26", 20);
  EXPECT_EQ(linesOf(text), (Lines{u"a", u"b", u"c", u"d\u2642"}));
  EXPECT_EQ(linesOf(std::string("\xFF\xFE" "a\0b", 5)), Lines{u"a"});  // a last odd byte is dropped
  EXPECT_EQ(linesOf(std::string("\xFF\xFE" "\x00\xD8" "x\0", 6)), (Lines{Text{char16_t(0xD800), u'x'}}));
}

TEST_F(reader, big_endian_and_utf32_marks_read_the_rest_as_ansi) {
  EXPECT_EQ(linesOf(std::string("\xFE\xFF\0a", 4)), (Lines{u"", u"a"}));
  EXPECT_EQ(linesOf(std::string("\xFF\xFE\0\0" "ab", 6)), Lines{u"ab"});
}

TEST_F(reader, lines_cross_buffer_boundaries_whole) {
  const std::string longLine(10000, 'q');
  std::string bytes = longLine + "\r\n";
  bytes += std::string(4095 - bytes.size() % 4096, 'w');
  bytes += "\r\nafter";  // the CR is the last byte of a buffer, its LF the first of the next
  ASSERT_EQ((bytes.size() - 7) % 4096, 4095u);
  Lines read = linesOf(bytes);
  ASSERT_EQ(read.size(), 3u);
  EXPECT_EQ(read[0], Text(longLine.begin(), longLine.end()));
  EXPECT_EQ(read[1].size(), 4095 - 10002 % 4096);
  EXPECT_EQ(read[2], u"after");
}

TEST_F(reader, utf8_sequence_split_by_the_buffer_is_read_whole) {
  std::string bytes(4095, 'a');
  bytes += "\xE3\x81\x82";
  Lines read = linesOf("\xEF\xBB\xBF" + bytes);
  ASSERT_EQ(read.size(), 1u);
  EXPECT_EQ(read[0].substr(4092), u"aaa\u3042");
}

TEST_F(reader, numbers_without_a_file_read_as_empty) {
  EXPECT_EQ(DetectTextFormat(3), TextFormat::Ansi);
  EXPECT_EQ(ReadTextLine(3, 0), u"");
  EXPECT_TRUE(AtEndOfFile(3));
  EXPECT_TRUE(CloseNumberedFile(3));
  EXPECT_EQ(ReadTextLine(-1, 0), u"");
  EXPECT_EQ(OpenFileForReading(-1, path(u"x")), 0);
}

TEST_F(reader, the_table_grows_for_high_numbers) {
  writeFile(u"a.txt", "first\n");
  ASSERT_NE(OpenFileForReading(40, path(u"a.txt")), 0);
  EXPECT_EQ(ReadTextLine(40, 0), u"first");
  EXPECT_TRUE(CloseNumberedFile(40));
}

TEST_F(reader, a_file_open_here_cannot_be_opened_again) {
  writeFile(u"a.txt", "x");
  ASSERT_NE(OpenFileForReading(0, path(u"a.txt")), 0);
  EXPECT_EQ(OpenFileForReading(1, path(u"a.txt")), 0);
  EXPECT_EQ(CreateOutputFile(2, path(u"a.txt")), 0);
  CloseNumberedFile(0);
  EXPECT_EQ(ReadBytes(path(u"a.txt")), "x");  // the refused create truncated nothing
  EXPECT_NE(OpenFileForReading(1, path(u"a.txt")), 0);
}

TEST_F(reader, missing_files_and_folders_do_not_open) {
  EXPECT_EQ(OpenFileForReading(0, path(u"missing.rpp")), 0);
  EXPECT_EQ(OpenFileForReading(0, folder()), 0);
  EXPECT_EQ(OpenFileForReading(0, u""), 0);
  EXPECT_EQ(ReadTextLine(0, 0), u"");
}

TEST_F(reader, opening_a_number_again_closes_the_first_file) {
  writeFile(u"a.txt", "a\n");
  writeFile(u"b.txt", "b\n");
  ASSERT_NE(OpenFileForReading(0, path(u"a.txt")), 0);
  ASSERT_NE(OpenFileForReading(0, path(u"b.txt")), 0);
  EXPECT_EQ(ReadTextLine(0, 0), u"b");
  EXPECT_NE(OpenFileForReading(1, path(u"a.txt")), 0);  // released by the second open
}

TEST_F(reader, non_ascii_file_names_open) {
  const Text name = u"\u00e9t\u00e9 \u3042\u30a2 \U0001F3B5.rpp";
  writeFile(name, "ok\n");
  ASSERT_NE(OpenFileForReading(0, path(name)), 0);
  EXPECT_EQ(ReadTextLine(0, 0), u"ok");
}

// The line table's index: lines across its blocks, wide and narrow lines
// side by side, and lines far from their block's start, each read back as
// stored.
TEST(line_arena, every_line_reads_back_across_blocks_and_far_offsets) {
  for (std::uint32_t farFrom : {0x7FFFFFFFu, 1000u, 1u}) {
    SCOPED_TRACE(farFrom);
    LineArena arena(farFrom);
    std::vector<Text> expected;
    constexpr int kLines = 1'200'000;  // more than two index blocks
    for (int i = 0; i < kLines; ++i) {
      Text line;
      if (i % 100'000 == 7) line = Text(3000, u'x');            // long lines move the offsets far
      else if (i % 3 == 0) line = u"";                         // empty lines
      else if (i % 1000 == 1) line = u"wide \u3042" + IntegerToText(i);
      else line = IntegerToText(i);
      if (i % 2 == 0) {
        arena.append(line);
      } else {
        std::string bytes(line.begin(), line.end());
        if (line.find(u'\u3042') != Text::npos) arena.append(line);
        else {
          arena.addNarrow(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
          arena.endNarrowLine();
        }
      }
      expected.push_back(std::move(line));
    }
    ASSERT_EQ(arena.count(), kLines);
    for (int i = 0; i < kLines; ++i) {
      const std::string_view stored = arena.stored(i);
      Text got;
      if (arena.isWide(i)) got.assign(reinterpret_cast<const char16_t*>(stored.data()), stored.size() / 2);
      else got.assign(stored.begin(), stored.end());
      ASSERT_EQ(got, expected[static_cast<std::size_t>(i)]) << "line " << i;
    }
    // Moving hands everything over.
    LineArena moved = std::move(arena);
    EXPECT_EQ(moved.count(), kLines);
    EXPECT_EQ(arena.count(), 0);
    EXPECT_EQ(moved.stored(kLines - 1), "1199999");
  }
}

// The text's chunks: a chunk filled to its last byte, empty lines on the
// boundary, lines that move to the next chunk, lines that outgrow theirs, and
// lines pieced together: each reads back as written, and the chunks hold
// little more than the text.
TEST(line_arena, lines_read_back_across_chunk_boundaries_and_chunks_stay_near_the_text) {
  constexpr std::size_t kChunk = std::size_t{2} << 20;
  LineArena arena;
  std::vector<std::string> expected;
  std::size_t text = 0;
  auto add = [&](std::string line, bool inPieces = false) {
    if (inPieces) {
      for (std::size_t at = 0; at < line.size(); at += 100'000)
        arena.addNarrow(reinterpret_cast<const unsigned char*>(line.data()) + at, std::min<std::size_t>(100'000, line.size() - at));
      arena.endNarrowLine();
    } else {
      arena.append(Text(line.begin(), line.end()));
    }
    text += line.size();
    expected.push_back(std::move(line));
  };
  for (int i = 0; i < 2048; ++i) add(std::string(1023, static_cast<char>('a' + i % 26)) + "\n");  // exactly one chunk
  add("");
  add("");
  add(std::string(kChunk - 10, 'b'));                 // fills the next chunk but for ten bytes
  add(std::string(200'000, 'c'), true);                // moves on to a new chunk as it is pieced together
  add("");
  add(std::string(5 * kChunk + 3, 'd'), true);         // outgrows its chunk
  add("e");
  for (int i = 0; i < 40; ++i) add(std::string(300'000 + static_cast<std::size_t>(i), 'f'));  // longer than a line that moves
  ASSERT_EQ(arena.count(), static_cast<std::int64_t>(expected.size()));
  for (std::size_t i = 0; i < expected.size(); ++i) {
    ASSERT_FALSE(arena.isWide(static_cast<std::int64_t>(i)));
    ASSERT_EQ(arena.stored(static_cast<std::int64_t>(i)), expected[i]) << "line " << i;
  }
  EXPECT_LE(arena.chunkBytes(), text + text / 2 + kChunk);
}
