// The buffered reader finds, decodes and stores lines in bulk; the plain
// reference reading takes them one unit at a time as the rules say. Over the
// real corpus, generated projects and random bytes, in every format, both
// must give exactly the same lines.
#include "reference_reader.h"

#include "core/loader.h"
#include "runtime/numbered_file.h"
#include "runtime/utf8.h"
#include "support/temp_folder.h"

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace {

using namespace std::string_literals;

constexpr std::int64_t kNumber = 5;

// A whole file at once.
std::string Slurp(TextView path) {
  std::ifstream in(std::filesystem::path(std::u16string(path)), std::ios::binary);
  in.seekg(0, std::ios::end);
  std::string bytes(static_cast<std::size_t>(in.tellg()), '\0');
  in.seekg(0);
  in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return bytes;
}

const std::int32_t kFormats[] = {
    static_cast<std::int32_t>(TextFormat::Ansi),    static_cast<std::int32_t>(TextFormat::Utf8),
    static_cast<std::int32_t>(TextFormat::Utf16Le), static_cast<std::int32_t>(TextFormat::Utf8) | kCheckUtf8,
    0,                                              static_cast<std::int32_t>(TextFormat::Utf16Be),
};

std::vector<Text> Stripped(std::vector<Text> lines) {
  for (Text& line : lines) {
    std::size_t spaces = 0;
    while (spaces < line.size() && line[spaces] == u' ') ++spaces;
    line.erase(0, spaces);
  }
  return lines;
}

// The index of the first line that differs, or -1.
std::int64_t FirstDifference(const std::vector<Text>& expected, const LineTable& table) {
  const auto n = static_cast<std::int64_t>(expected.size());
  for (std::int64_t i = 0; i < std::min(n, table.count()); ++i)
    if (table.at(i) != expected[static_cast<std::size_t>(i)]) return i;
  return n == table.count() ? -1 : std::min(n, table.count());
}

std::int64_t FirstDifference(const std::vector<Text>& expected, const std::vector<Text>& actual) {
  for (std::size_t i = 0; i < std::min(expected.size(), actual.size()); ++i)
    if (expected[i] != actual[i]) return static_cast<std::int64_t>(i);
  return expected.size() == actual.size() ? -1 : static_cast<std::int64_t>(std::min(expected.size(), actual.size()));
}

class reading_equivalence : public TempFolder {
 protected:
  void TearDown() override {
    CloseAllNumberedFiles();
    TempFolder::TearDown();
  }

  // Loading, and with `everyFormat` reading in each format line by line and
  // in bulk, give the reference's lines. Bytes that are not a project by the
  // reference are refused, and loaded behind a project's first line.
  void check(const std::string& bytes, bool everyFormat = true) {
    const Text file = path(u"in.rpp");
    const bool isProject = ReferenceIsProject(ReferenceLoadLines(bytes));
    const std::string loadable = isProject ? bytes : WithProjectHeader(bytes);
    ProjectData project;
    if (!isProject) {
      writeFile(u"in.rpp", bytes);
      ASSERT_EQ(loadProjectFile(project, file).result, LoadResult::NotAProject);
    }
    writeFile(u"in.rpp", loadable);
    ASSERT_EQ(loadProjectFile(project, file).result, LoadResult::Loaded);
    ASSERT_EQ(FirstDifference(ReferenceLoadLines(loadable), project.lines), -1) << "loading";
    writeFile(u"in.rpp", bytes);
    if (!everyFormat) return;

    std::size_t start = 0;
    ReferenceDetectFormat(bytes, start);
    for (std::int32_t flags : kFormats) {
      SCOPED_TRACE(flags);
      bool malformed = false;
      const std::vector<Text> expected = ReferenceReadLines(bytes, start, flags, &malformed);

      ASSERT_NE(OpenFileForReading(kNumber, file), 0);
      DetectTextFormat(kNumber);
      std::vector<Text> read;
      while (!AtEndOfFile(kNumber)) {
        read.push_back(ReadTextLine(kNumber, flags));
        if ((flags & kCheckUtf8) && NumberedFileSawMalformedUtf8(kNumber)) break;
      }
      EXPECT_EQ(NumberedFileSawMalformedUtf8(kNumber), malformed);
      EXPECT_EQ(FirstDifference(expected, read), -1) << "line by line";

      ASSERT_NE(OpenFileForReading(kNumber, file), 0);
      DetectTextFormat(kNumber);
      LineTable table;
      ReadLinesWithoutLeadingSpaces(kNumber, flags, table.arena());
      EXPECT_EQ(NumberedFileSawMalformedUtf8(kNumber), malformed);
      std::vector<Text> inBulk = Stripped(expected);
      if (malformed) inBulk.pop_back();  // in bulk the line that is not UTF-8 is not stored
      EXPECT_EQ(FirstDifference(inBulk, table), -1) << "in bulk";
      CloseNumberedFile(kNumber);
    }
  }
};

std::string Utf16(TextView text) {
  std::string bytes;
  for (char16_t unit : text) {
    bytes.push_back(static_cast<char>(unit & 0xFF));
    bytes.push_back(static_cast<char>(unit >> 8));
  }
  return bytes;
}

// A project-like text: indented keyword lines, names with accents, CJK and
// emoji, long base64-like runs, every terminator.
class ProjectText {
 public:
  explicit ProjectText(unsigned seed) : random_(seed) {}

  // UTF-8 text.
  std::string make(std::size_t lines) {
    static const char* const kWords[] = {"<TRACK", "NAME", "VOLPAN 1 0 -1", "MUTESOLO 0 0 0", "<FXCHAIN",
                                         "BYPASS 0 0", "<VST \"VST: Gain (Co)\" g.so", "PRESETNAME \"x\"",
                                         "TEMPO 120 4 4", "MASTER_VOLUME 1 0", ">", "E 120 90 3c 60", "PT 1 0.5 0"};
    static const char* const kNames[] = {"Caf\xC3\xA9", "\xE6\x97\xA5\xE6\x9C\xAC", "\xF0\x9F\x8E\xB5",
                                         "na\xC3\xAFve", "plain"};
    static const char* const kEnds[] = {"\n", "\r\n", "\r", "\0"};
    std::string text;
    for (std::size_t i = 0; i < lines; ++i) {
      text.append(pick(12), ' ');
      if (pick(40) == 0) text.append(pick(9000), 'A' + static_cast<char>(pick(26)));
      else text += kWords[pick(std::size(kWords))];
      if (pick(4) == 0) text += " "s + kNames[pick(std::size(kNames))];
      if (pick(8) == 0) text.append(pick(3), ' ');
      const char* end = kEnds[pick(10) < 7 ? 0 : pick(std::size(kEnds))];
      text.append(end, *end ? std::char_traits<char>::length(end) : 1);
    }
    return text;
  }

 private:
  std::size_t pick(std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(random_); }
  std::mt19937 random_;
};

// Windows-1252 bytes for a UTF-8 text (characters it lacks become "?").
std::string Cp1252(const std::string& utf8) {
  std::string bytes;
  for (char16_t unit : TextFromUtf8(utf8)) bytes.push_back(unit < 0x100 ? static_cast<char>(unit) : '?');
  return bytes;
}

}  // namespace

TEST_F(reading_equivalence, the_real_corpus_in_every_encoding) {
  QUORVEL_SKIP_WITHOUT_CORPUS();
  for (const Text& file : CorpusFiles()) {
    SCOPED_TRACE(TextToUtf8(file));
    const std::string bytes = Slurp(file);
    // The big files are loaded as they are; the small ones are also read in
    // every format and re-encoded (the generated projects cover big ones so).
    const bool small = bytes.size() < 150'000;
    check(bytes, small);
    if (!small) continue;
    check("\xEF\xBB\xBF" + bytes, false);
    check("\xFF\xFE" + Utf16(TextFromUtf8(bytes)));
  }
}

TEST_F(reading_equivalence, generated_projects_in_every_encoding) {
  for (unsigned seed = 1; seed <= 12; ++seed) {
    SCOPED_TRACE(seed);
    const std::string text = ProjectText(seed).make(300 + seed * 40);
    check(text);
    check("\xEF\xBB\xBF" + text);
    check(Cp1252(text));
    check("\xFF\xFE" + Utf16(TextFromUtf8(text)));
  }
}

TEST_F(reading_equivalence, random_bytes) {
  // Bytes drawn mostly from those the reader treats specially, in files that
  // cross the 4096-byte buffer a few times, some starting with a mark.
  static const std::string kMarks[] = {"", "", "", "\xEF\xBB\xBF", "\xFF\xFE", "\xFE\xFF", "\xFF\xFE\x00\x00"s,
                                       "\x00\x00\xFE\xFF"s};
  static const unsigned char kBytes[] = {' ', ' ', ' ', 'a', 'b', '\n', '\r', 0, 0x80, 0xA9, 0xBF, 0xC3,
                                         0xE2, 0xED, 0xF0, 0xF4, 0xF8, 0xFF, 0xFE, '<', 'T', 0x0A, 0x0D};
  std::mt19937 random(20261207);
  for (int round = 0; round < 300; ++round) {
    std::string bytes = kMarks[random() % std::size(kMarks)];
    const std::size_t size = random() % (round < 200 ? 300 : 13000);
    const bool ascii = round % 5 == 0;  // long ASCII runs with few terminators
    for (std::size_t i = 0; i < size; ++i)
      bytes.push_back(ascii && random() % 50 != 0 ? static_cast<char>('a' + random() % 26)
                                                  : static_cast<char>(kBytes[random() % std::size(kBytes)]));
    SCOPED_TRACE(round);
    check(bytes);
    if (HasFailure()) break;
  }
}
