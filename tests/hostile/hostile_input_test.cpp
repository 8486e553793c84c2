// Damaged, odd and huge project files: each loads, scans and exports, gives
// the lines the reading rules say, and leaves the project file as it was.
#include "reference_reader.h"

#include "core/loader.h"
#include "report/export.h"
#include "runtime/numbered_file.h"
#include "runtime/utf8.h"
#include "support/temp_folder.h"

#include <chrono>
#include <filesystem>
#include <fstream>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>
#endif
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;

std::string U8(TextView text) { return TextToUtf8(text); }

// A whole file at once (the reports here run to tens of megabytes).
std::string Slurp(TextView path) {
  std::ifstream in(fs::path(std::u16string(path)), std::ios::binary);
  in.seekg(0, std::ios::end);
  std::string bytes(static_cast<std::size_t>(in.tellg()), '\0');
  in.seekg(0);
  in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return bytes;
}

class hostile : public TempFolder {
 protected:
  void TearDown() override {
    CloseAllNumberedFiles();
    TempFolder::TearDown();
  }
  // Loads the bytes as a project, exports its report and checks that the
  // lines are those of the plain reading (huge inputs only count them).
  // Bytes that are not a project by the reading are refused as such, the
  // model left as it was; they are then loaded behind a project's first line,
  // which lines(), line() and lineCount() leave out.
  void loadAndExport(std::string_view given, bool compareLines = true) {
    std::string bytes(given);
    headed_ = !ReferenceIsProject(ReferenceLoadLines(bytes));
    if (headed_) {
      writeFile(u"p.rpp", bytes);
      const std::int64_t before = project.lineCount();
      ASSERT_EQ(loadProjectFile(project, path(u"p.rpp")).result, LoadResult::NotAProject);
      ASSERT_EQ(project.lineCount(), before);
      bytes = WithProjectHeader(bytes);
    }
    writeFile(u"p.rpp", bytes);
    ASSERT_EQ(loadProjectFile(project, path(u"p.rpp")).result, LoadResult::Loaded);
    if (compareLines) compareWithReference(bytes);
    ASSERT_EQ(exportReportTo(project, path(u"p.html")).result, ExportResult::Written);
    report = Slurp(path(u"p.html"));
    ASSERT_NE(report.find("</html>\r\n"), std::string::npos);
  }
  void compareWithReference(std::string_view bytes) {
    const std::vector<Text> expected = ReferenceLoadLines(bytes);
    ASSERT_EQ(project.lineCount(), static_cast<std::int64_t>(expected.size()));
    for (std::int64_t i = 0; i < project.lineCount(); ++i)
      ASSERT_EQ(project.lines.at(i), expected[static_cast<std::size_t>(i)]) << "line " << i;
  }
  std::int64_t lineCount() const { return project.lineCount() - (headed_ ? 1 : 0); }
  Text line(std::int64_t index) const { return project.lines.at(index + (headed_ ? 1 : 0)); }
  std::vector<std::string> lines() const {
    std::vector<std::string> result;
    for (std::int64_t i = 0; i < lineCount(); ++i) result.push_back(U8(line(i)));
    return result;
  }
  bool reportHas(std::string_view piece) const { return report.find(piece) != std::string::npos; }

  ProjectData project;
  std::string report;
  bool headed_ = false;  // the last bytes loaded were given a project's first line
};

using Lines = std::vector<std::string>;

const std::string kUtf8Mark = "\xEF\xBB\xBF";
const std::string kUtf16Mark = "\xFF\xFE";

std::string Utf16(std::u16string_view text) {
  std::string bytes;
  for (char16_t unit : text) {
    bytes.push_back(static_cast<char>(unit & 0xFF));
    bytes.push_back(static_cast<char>(unit >> 8));
  }
  return bytes;
}

}  // namespace

TEST_F(hostile, every_mark_with_nothing_after_it_gives_no_lines) {
  for (std::string mark : {"\xEF\xBB\xBF"s, "\xFF\xFE"s, "\xFE\xFF"s, "\xFF\xFE\x00\x00"s, "\x00\x00\xFE\xFF"s}) {
    SCOPED_TRACE(testing::PrintToString(mark));
    loadAndExport(mark);
    EXPECT_EQ(lineCount(), 0);
    EXPECT_TRUE(reportHas("Number of Tracks : 0<br>"));
  }
}

TEST_F(hostile, marks_cut_short_are_text) {
  loadAndExport("\xEF\xBB");  // a UTF-8 sequence cut by the end: read again as ANSI
  EXPECT_EQ(lines(), (Lines{"\xC3\xAF\xC2\xBB"}));
  loadAndExport("\x00\x00\xFE"s);
  EXPECT_EQ(lines(), (Lines{"", "", "\xC3\xBE"}));
}

TEST_F(hostile, utf16_of_odd_length_drops_the_last_byte) {
  loadAndExport(kUtf16Mark + Utf16(u"ab") + "c");
  EXPECT_EQ(lines(), (Lines{"ab"}));
  // After a CR the lone byte is no unit either: no empty line follows.
  loadAndExport(kUtf16Mark + Utf16(u"a\r") + "x");
  EXPECT_EQ(lines(), (Lines{"a"}));
  loadAndExport(kUtf16Mark + "x");
  EXPECT_EQ(lines(), (Lines{""}));
}

TEST_F(hostile, a_utf8_sequence_cut_by_the_end_of_the_file) {
  loadAndExport(kUtf8Mark + "ab\xE2\x82");
  EXPECT_EQ(lines(), (Lines{"ab"}));
  // Without the mark the file is not UTF-8, so it is read in the ANSI code page.
  loadAndExport("ab\xE2\x82");
  EXPECT_EQ(lines(), (Lines{"ab\xC3\xA2\xE2\x80\x9A"}));
}

TEST_F(hostile, a_lead_byte_takes_the_lf_after_it) {
  loadAndExport(kUtf8Mark + "a\xC3\nb\nc");
  EXPECT_EQ(lines(), (Lines{"a\xEF\xBF\xBD\nb", "c"}));
  loadAndExport("a\xC3\nb");
  EXPECT_EQ(lines(), (Lines{"a\xC3\x83", "b"}));
}

TEST_F(hostile, nul_bytes_end_lines_everywhere) {
  loadAndExport("\0\0TEMPO 90 4 4\0 b\0\0"s);
  EXPECT_EQ(lines(), (Lines{"", "", "TEMPO 90 4 4", "b", ""}));
  EXPECT_EQ(project.info.tempo, 90);
  loadAndExport(std::string(10000, '\0'));
  EXPECT_EQ(lineCount(), 10000);
  loadAndExport(kUtf16Mark + Utf16(u"a"s + u'\0' + u"b"));
  EXPECT_EQ(lines(), (Lines{"a", "b"}));
  // A NUL taken as the second byte of a UTF-8 sequence stays in the line.
  loadAndExport(kUtf8Mark + "x\xC3"s + '\0' + "y");
  EXPECT_EQ(lineCount(), 1);
}

TEST_F(hostile, a_cr_at_the_end_adds_no_line) {
  loadAndExport("abc\r");
  EXPECT_EQ(lines(), (Lines{"abc"}));
  loadAndExport(kUtf16Mark + Utf16(u"abc\r"));
  EXPECT_EQ(lines(), (Lines{"abc"}));
  loadAndExport("a\r\r\n\r");
  EXPECT_EQ(lines(), (Lines{"a", "", ""}));
}

TEST_F(hostile, lines_around_the_buffer_size_come_back_whole) {
  for (std::size_t length : {0u, 1u, 4095u, 4096u, 4097u, 8191u, 8192u}) {
    SCOPED_TRACE(length);
    const std::string line(length, 'x');
    loadAndExport(line + "\nTEMPO 121 4 4\n");
    EXPECT_EQ(lines(), (Lines{line, "TEMPO 121 4 4"}));
    EXPECT_EQ(project.info.tempo, 121);
    // Leading spaces that fill whole buffers are stripped all the same.
    loadAndExport(std::string(length, ' ') + "TEMPO 122 4 4\r\n" + std::string(length, ' '));
    EXPECT_EQ(lines(), (length == 0 ? Lines{"TEMPO 122 4 4"} : Lines{"TEMPO 122 4 4", ""}));
    EXPECT_EQ(project.info.tempo, 122);
    // With a non-ASCII character at the end the line is decoded whole.
    loadAndExport(kUtf8Mark + line + "\xC3\xA9\n");
    EXPECT_EQ(lines(), (Lines{line + "\xC3\xA9"}));
  }
}

TEST_F(hostile, a_line_of_ten_million_bytes) {
  std::string name = "  NAME " + std::string(10'000'000, 'n');
  loadAndExport("<TRACK\n" + name + "\n>", false);
  EXPECT_EQ(line(1), u"NAME " + Text(10'000'000, u'n'));
  ASSERT_EQ(project.tracks.size(), 1u);
  EXPECT_EQ(project.tracks[0].name.size(), 10'000'000u);
  EXPECT_TRUE(reportHas("Track Name : nnnn"));
}

TEST_F(hostile, a_long_name_is_read_as_a_short_one_is) {
  // Long names are taken out of the line's storage; a name that reads like a
  // plug-in line must still describe no plug-in, whatever its length.
  for (std::size_t pad : {std::size_t{10}, std::size_t{100'000}, std::size_t{3'000'000}}) {
    SCOPED_TRACE(pad);
    const std::string name = "<VST \"VST: Evil\" " + std::string(pad, 'n');
    loadAndExport("<TRACK\n<FXCHAIN\nBYPASS 0 0\nNAME " + name + "\nNAME second\nVOLPAN 0.5 0 -1\n", false);
    ASSERT_EQ(project.tracks.size(), 1u);
    EXPECT_EQ(U8(project.tracks[0].name), name);
    EXPECT_EQ(project.tracks[0].volume, 0.5f);
    ASSERT_EQ(project.tracks[0].plugins.size(), 1u);
    EXPECT_EQ(U8(project.tracks[0].plugins[0].kind), "");
    EXPECT_EQ(U8(project.tracks[0].plugins[0].name), "");
    EXPECT_EQ(U8(line(3)), "NAME " + name);  // the line table keeps the line
    EXPECT_TRUE(reportHas("Track Name : &lt;VST &quot;VST: Evil&quot; nnnn"));
  }
}

TEST_F(hostile, odd_numbers_in_every_numeric_field) {
  struct Case {
    std::string text;
    std::int64_t tempo;
    std::string volume;  // as the report writes it
    std::string pan;
  };
  const std::string digits(10000, '9');
  const std::string tiny = "0." + std::string(10000, '0') + "1";
  const std::vector<Case> cases = {
      {"nan", 0, "NaN", "NaN"},
      {"inf", INT64_MAX, "+Infinity", "+Infinity"},
      {"-inf", INT64_MIN, "-Infinity", "-Infinity"},
      {"infin", 0, "0", "0"},
      {"Infinity", INT64_MAX, "+Infinity", "+Infinity"},
      {"1e999", INT64_MAX, "+Infinity", "+Infinity"},
      {"-0", 0, "0", "0"},
      {"0x1p3", 8, "8", "800"},
      {"1,5", 1, "1", "100"},
      {"", 0, "0", "0"},
      {digits, INT64_MAX, "+Infinity", "+Infinity"},
      {tiny, 0, "0", "0"},
      {"-" + digits, INT64_MIN, "-Infinity", "-Infinity"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text.substr(0, 20));
    loadAndExport("TEMPO " + c.text + " 4 4\nMASTER_VOLUME " + c.text + " 0\n<TRACK\nVOLPAN " + c.text + " " +
                  c.text + " 0\n");
    EXPECT_EQ(project.info.tempo, c.tempo);
    EXPECT_TRUE(reportHas("Master Volume : " + c.volume + "<br>"));
    EXPECT_TRUE(reportHas("Track Volume : " + c.volume + "<br>"));
    EXPECT_TRUE(reportHas("Track Pan : " + c.pan + "<br>"));
  }
}

TEST_F(hostile, damaged_headers_give_parts_of_the_header_line) {
  // Whatever the quotes and slashes, version and platform are the pieces the
  // header rule cuts out of the line: between the first quote and the first
  // "/", and from there to the next quote; a version alone in its quotes has
  // no platform.
  const struct {
    std::string header, version, platform;
  } cases[] = {
      {"<REAPER_PROJECT 0.1 \"7.22/win64\" 1", "7.22", "win64"},
      {"<REAPER_PROJECT 0.1 \"7/22/x\" 1", "7", "22/x"},
      {"<REAPER_PROJECT 0.1 7.22/win64 1", "<REAPER_PROJECT 0.1 7.22", ""},
      {"<REAPER_PROJECT /", "<REAPER_PROJECT ", ""},
      {"<REAPER_PROJECT 0.1 \"7.22win64\" 1", "7.22win64", ""},
      {"<REAPER_PROJECT 0.1 \"7.22/win64 1", "7.22", ""},
      {"<REAPER_PROJECT 0.1 7.22/win64\" 1", " 1", ""},
      {"<REAPER_PROJECT \"a\"/\"b\"/\"c\"", "a", ""},
      {"<REAPER_PROJECT ////\"\"\"\"", "", ""},
      {"<REAPER_PROJECT", "", ""},
      {"<REAPER_PROJECT \"", "", ""},
      {"<REAPER_PROJECT \"/\"", "", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.header);
    loadAndExport(c.header + "\n");
    EXPECT_EQ(U8(project.info.reaperVersion), c.version);
    EXPECT_EQ(U8(project.info.reaperPlatform), c.platform);
  }
}

TEST_F(hostile, descriptions_and_presets_without_their_closing_quote) {
  loadAndExport(
      "<MASTERFXLIST\nBYPASS 0 0\n<VST \"VST: Open (Vendor)\nPRESETNAME \"Master open\n<MASTERPLAYSPEEDENV\n"
      "<TRACK\n<FXCHAIN\nBYPASS 0 0\n<VST \"VST3: Half\nPRESETNAME \"Half preset\nBYPASS 0 0\n<CLAP \"CLAPi: \n"
      "PRESETNAME \"\nBYPASS 1 0\n<VST \"\nPRESETNAME\n");
  ASSERT_EQ(project.master.plugins.size(), 1u);
  EXPECT_EQ(U8(project.master.plugins[0].kind), "VST2 effect");
  EXPECT_EQ(U8(project.master.plugins[0].name), "");
  EXPECT_EQ(U8(project.master.plugins[0].presetName), "\"Master open");
  ASSERT_EQ(project.tracks.size(), 1u);
  const auto& plugins = project.tracks[0].plugins;
  ASSERT_EQ(plugins.size(), 3u);
  EXPECT_EQ(U8(plugins[0].kind), "VST3 effect");
  EXPECT_EQ(U8(plugins[0].name), "");
  EXPECT_EQ(U8(plugins[0].presetName), "Half preset");
  EXPECT_EQ(U8(plugins[1].kind), "CLAP instrument");
  EXPECT_EQ(U8(plugins[1].presetName), "");
  EXPECT_EQ(U8(plugins[2].kind), "");
  EXPECT_EQ(U8(plugins[2].state), "bypass");
}

TEST_F(hostile, short_lines_inside_the_master_fx_list) {
  // Lines shorter than the VST3 test's position, one to eleven characters.
  std::string bytes = "<MASTERFXLIST\nBYPASS 0 0\n";
  for (std::size_t n = 0; n <= 11; ++n) bytes += std::string("<VST \"VST3:", n) + "\n";
  loadAndExport(bytes + "<VST \"VST3: Last\"\n");
  ASSERT_EQ(project.master.plugins.size(), 1u);
  EXPECT_EQ(U8(project.master.plugins[0].name), "Last");
}

TEST_F(hostile, two_hundred_thousand_tracks) {
  std::string bytes = "<REAPER_PROJECT 0.1 \"7.22/win64\" 1\n";
  for (int t = 0; t < 200'000; ++t) bytes += "  <TRACK\n    NAME T\n    VOLPAN 0.5 -0.25 -1\n  >\n";
  loadAndExport(bytes, false);
  EXPECT_EQ(lineCount(), 800'001);
  ASSERT_EQ(project.tracks.size(), 200'000u);
  EXPECT_EQ(project.tracks.back().pan, -25.0f);
  EXPECT_TRUE(reportHas("Number of Tracks : 200000<br>"));
  EXPECT_TRUE(reportHas("\tTrack 200000<br>\r\n"));
}

TEST_F(hostile, a_hundred_thousand_plugins_in_one_chain) {
  std::string bytes = "<TRACK\nNAME Big\n<FXCHAIN\n";
  for (int p = 0; p < 100'000; ++p) bytes += "BYPASS 0 0 0\n<VST \"VST: Gain\" gain.so 0\nPRESETNAME P\n>\n";
  loadAndExport(bytes, false);
  EXPECT_EQ(lineCount(), 400'003);
  ASSERT_EQ(project.tracks.size(), 1u);
  ASSERT_EQ(project.tracks[0].plugins.size(), 100'000u);
  EXPECT_EQ(U8(project.tracks[0].plugins.back().name), "Gain");
  EXPECT_TRUE(reportHas("\tTrack 1 Plugin 100000 (online)<br>\r\n"));
}

TEST_F(hostile, the_project_file_is_opened_read_only_and_never_changed) {
  const std::string bytes = kUtf8Mark + "<REAPER_PROJECT 0.1 \"7.22/win64\" 1\n  TEMPO 120 4 4\n<TRACK\nNAME A\n";
  writeFile(u"song.rpp", bytes);
  const fs::path file(std::u16string(path(u"song.rpp")));
  const auto past = fs::last_write_time(file) - std::chrono::hours(49);
  fs::last_write_time(file, past);
  fs::permissions(file, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);

  ASSERT_EQ(loadProjectFile(project, path(u"song.rpp")).result, LoadResult::Loaded);
  ASSERT_EQ(exportReport(project, folder()), ExportResult::Written);
  ASSERT_EQ(loadProjectFile(project, path(u"song.rpp")).result, LoadResult::Loaded);
  ASSERT_EQ(exportReport(project, folder()), ExportResult::Written);

  EXPECT_EQ(ReadBytes(path(u"song.rpp")), bytes);
  EXPECT_EQ(fs::last_write_time(file), past);
  EXPECT_TRUE(FileExists(path(u"song.html")));
  EXPECT_EQ(project.tracks.size(), 1u);
  fs::permissions(file, fs::perms::owner_write, fs::perm_options::add);  // so that it can be removed
}

#ifndef _WIN32
TEST_F(hostile, a_report_to_a_device_that_another_program_has_locked) {
  // Locks on a device do not keep us out: every program shares /dev/null.
  const int held = ::open("/dev/null", O_WRONLY);
  ASSERT_GE(held, 0);
  ASSERT_EQ(::flock(held, LOCK_EX | LOCK_NB), 0);
  writeFile(u"p.rpp", "<REAPER_PROJECT\nTEMPO 99 4 4\n");
  ASSERT_EQ(loadProjectFile(project, path(u"p.rpp")).result, LoadResult::Loaded);
  EXPECT_EQ(exportReportTo(project, u"/dev/null").result, ExportResult::Written);
  ::close(held);
}

TEST_F(hostile, an_endless_device_is_not_a_project) {
  // Its lines would never end: it cannot be opened, like a missing file.
  EXPECT_EQ(loadProjectFile(project, u"/dev/zero").result, LoadResult::CannotOpen);
  EXPECT_EQ(loadProjectFile(project, u"/dev/urandom").result, LoadResult::CannotOpen);
  EXPECT_EQ(project.lineCount(), 0);
}
#endif
