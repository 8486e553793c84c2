#include "runtime/numbered_file.h"
#include "support/file_size_limit.h"
#include "support/temp_folder.h"

using namespace std::string_literals;

namespace {

class writer : public TempFolder {
 protected:
  void TearDown() override {
    CloseAllNumberedFiles();
    TempFolder::TearDown();
  }
  // Writes the lines to a new file and returns its bytes.
  std::string written(std::initializer_list<TextView> lines) {
    const Text file = path(u"out.html");
    EXPECT_NE(CreateOutputFile(0, file), 0);
    for (TextView line : lines) WriteTextLine(0, line);
    EXPECT_TRUE(CloseNumberedFile(0));
    return ReadBytes(file);
  }
};

}  // namespace

TEST_F(writer, lines_are_utf8_each_ended_by_cr_lf) {
  EXPECT_EQ(written({}), "");
  EXPECT_EQ(written({u""}), "\r\n");
  EXPECT_EQ(written({u"\u00e9"}), "\xC3\xA9\r\n");
  EXPECT_EQ(written({u"\U0001F3B5"}), "\xF0\x9F\x8E\xB5\r\n");
  EXPECT_EQ(written({u"a", u"b"}), "a\r\nb\r\n");
  EXPECT_EQ(written({Text(1, char16_t(0xDC00))}), "\xEF\xBF\xBD\r\n");
}

TEST_F(writer, an_existing_longer_file_keeps_only_the_new_content) {
  writeFile(u"out.html", std::string(10000, 'x'));
  EXPECT_EQ(written({u"new"}), "new\r\n");
}

TEST_F(writer, pending_bytes_reach_the_file_across_buffer_sizes) {
  const Text longLine(5000, u'L');     // bigger than the buffer: written straight through
  const Text nearFull(4093, u'n');     // with CR LF fills the buffer but one byte
  std::string expected = "start\r\n" + std::string(5000, 'L') + "\r\n" + std::string(4093, 'n') + "\r\n";
  std::string got = written({u"start", longLine, nearFull});
  EXPECT_EQ(got.size(), expected.size());
  EXPECT_EQ(got, expected);
}

TEST_F(writer, many_lines_arrive_in_order) {
  const Text file = path(u"many.txt");
  ASSERT_NE(CreateOutputFile(0, file), 0);
  std::string expected;
  for (int i = 0; i < 20000; ++i) {
    WriteTextLine(0, IntegerToText(i));
    expected += std::to_string(i) + "\r\n";
  }
  EXPECT_TRUE(CloseNumberedFile(0));
  EXPECT_EQ(ReadBytes(file), expected);
}

TEST_F(writer, writing_after_reading_continues_where_reading_stopped) {
  const Text file = path(u"mixed.txt");
  ASSERT_NE(CreateOutputFile(0, file), 0);
  WriteTextLine(0, u"hello");
  WriteTextLine(0, u"world");
  SetNumberedFilePosition(0, 0);
  EXPECT_EQ(ReadTextLine(0, 0), u"hello");
  WriteTextLine(0, u"WORLD");
  EXPECT_TRUE(CloseNumberedFile(0));
  EXPECT_EQ(ReadBytes(file), "hello\r\nWORLD\r\n");
}

TEST_F(writer, files_opened_for_reading_are_never_written) {
  writeFile(u"project.rpp", "keep\n");
  ASSERT_NE(OpenFileForReading(0, path(u"project.rpp")), 0);
  WriteTextLine(0, u"overwrite");
  EXPECT_EQ(WriteText(0, u"x", TextFormat::Utf8), 0);
  EXPECT_TRUE(CloseNumberedFile(0));
  EXPECT_EQ(ReadBytes(path(u"project.rpp")), "keep\n");
}

TEST_F(writer, other_formats_encode_as_asked) {
  const Text file = path(u"formats.txt");
  ASSERT_NE(CreateOutputFile(0, file), 0);
  EXPECT_EQ(WriteText(0, u"\u00e9\u20ac\u3042", TextFormat::Ansi), 3);
  EXPECT_EQ(WriteText(0, u"\u00e9", TextFormat::Utf16Le), 2);
  EXPECT_EQ(WriteText(0, u"", TextFormat::Utf8), 0);
  EXPECT_EQ(WriteText(0, u"\u00e9", static_cast<TextFormat>(0)), 2);  // the file's default, UTF-8
  EXPECT_TRUE(CloseNumberedFile(0));
  EXPECT_EQ(ReadBytes(file), "\xE9\x80?\xE9\x00\xC3\xA9"s);
}

TEST_F(writer, a_missing_folder_gives_no_file) {
  EXPECT_EQ(CreateOutputFile(0, path(u"no such folder/out.html")), 0);
  EXPECT_EQ(CreateOutputFile(0, u""), 0);
  WriteTextLine(0, u"nowhere");  // does nothing
  EXPECT_FALSE(NumberedFileFailed(0));
}

TEST_F(writer, a_write_the_disk_refuses_is_remembered) {
  if (!FileSizeLimit::supported()) GTEST_SKIP() << "cannot limit file sizes here";
  ASSERT_NE(CreateOutputFile(0, path(u"full.txt")), 0);
  FileSizeLimit limit(1000);
  WriteTextLine(0, u"small");  // still buffered
  EXPECT_FALSE(NumberedFileFailed(0));
  WriteTextLine(0, Text(5000, u'x'));  // flushes and writes through
  EXPECT_TRUE(NumberedFileFailed(0));
  EXPECT_FALSE(CloseNumberedFile(0));
}

TEST_F(writer, a_failed_final_flush_fails_the_close) {
  if (!FileSizeLimit::supported()) GTEST_SKIP() << "cannot limit file sizes here";
  ASSERT_NE(CreateOutputFile(0, path(u"full.txt")), 0);
  FileSizeLimit limit(10);
  WriteTextLine(0, u"only pending bytes, more than ten");
  EXPECT_FALSE(NumberedFileFailed(0));
  EXPECT_FALSE(CloseNumberedFile(0));
}
