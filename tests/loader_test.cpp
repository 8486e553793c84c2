#include "core/loader.h"
#include "runtime/numbered_file.h"
#include "runtime/dates.h"
#include "runtime/paths.h"
#include "runtime/utf8.h"
#include "support/temp_folder.h"

#include <vector>

namespace {

std::string U8(TextView text) { return TextToUtf8(text); }

class loader : public TempFolder {
 protected:
  void TearDown() override {
    CloseAllNumberedFiles();
    TempFolder::TearDown();
  }
  LoadResult load(TextView name, std::string_view bytes) {
    writeFile(name, bytes);
    return loadProjectFile(project, path(name)).result;
  }
  std::vector<std::string> lines() const {
    std::vector<std::string> result;
    for (std::int64_t i = 0; i < project.lineCount(); ++i) result.push_back(U8(project.lines.at(i)));
    return result;
  }
  ProjectData project;
};

using Lines = std::vector<std::string>;

}  // namespace

TEST_F(loader, records_the_file_facts) {
  ASSERT_EQ(load(u"Song.rpp", "<REAPER_PROJECT\n"), LoadResult::Loaded);
  EXPECT_EQ(U8(project.info.projectPath), U8(path(u"Song.rpp")));
  EXPECT_EQ(U8(project.info.projectName), "Song");
  EXPECT_EQ(U8(project.info.projectFolder), U8(folder()));
  EXPECT_EQ(project.info.projectDate.size(), 16u);
  EXPECT_EQ(U8(project.info.projectDate), U8(FileDateText(path(u"Song.rpp"))));
}

TEST_F(loader, the_name_loses_its_last_four_characters_whatever_they_are) {
  load(u"x.rpp", "");
  EXPECT_EQ(U8(project.info.projectName), "x");
  load(u"Mix.RPP-bak", "");
  EXPECT_EQ(U8(project.info.projectName), "Mix.RPP");
  load(u"abcd", "");
  EXPECT_EQ(U8(project.info.projectName), "");
  load(u"\u00e9t\u00e9 \u3042.rpp", "");
  EXPECT_EQ(U8(project.info.projectName), "\u00e9t\u00e9 \u3042");
}

TEST_F(loader, leading_spaces_go_and_everything_else_stays) {
  load(u"a.rpp", "<REAPER_PROJECT\n  <TRACK\n\tNAME tab\n    \n  a  b  \n \t x\n");
  EXPECT_EQ(lines(), (Lines{"<REAPER_PROJECT", "<TRACK", "\tNAME tab", "", "a  b  ", "\t x"}));
}

TEST_F(loader, a_project_with_nothing_but_its_first_line_leaves_the_initial_model) {
  load(u"full.rpp", "<REAPER_PROJECT 0.1 \"7.0/x64\"\n<TRACK\n");
  ASSERT_EQ(load(u"bare.rpp", "<REAPER_PROJECT"), LoadResult::Loaded);
  EXPECT_EQ(project.lineCount(), 1);
  EXPECT_TRUE(project.tracks.empty());
  EXPECT_EQ(U8(project.info.reaperVersion), "");
  EXPECT_EQ(U8(project.info.projectName), "bare");
}

// A project's first line, without its leading spaces and tabs, opens with the
// word "<REAPER_PROJECT"; any other file is refused as no project, exactly as
// a file that cannot be opened: no project chosen, the previous content kept.
TEST_F(loader, a_file_that_is_not_a_project_is_refused_and_the_previous_content_stays) {
  const struct {
    std::string bytes;
    LoadResult result;
  } cases[] = {
      {"<REAPER_PROJECT 0.1 \"7.0/x64\" 1\n", LoadResult::Loaded},
      {" \t <REAPER_PROJECT\tx\n", LoadResult::Loaded},
      {"\xEF\xBB\xBF<REAPER_PROJECT 0.1\r\n", LoadResult::Loaded},
      {std::string("\xFF\xFE<\0R\0E\0A\0P\0E\0R\0_\0P\0R\0O\0J\0E\0C\0T\0\n\0", 34), LoadResult::Loaded},
      {"", LoadResult::NotAProject},
      {"\n<REAPER_PROJECT 0.1\n", LoadResult::NotAProject},
      {"notes\n<REAPER_PROJECT 0.1\n", LoadResult::NotAProject},
      {"<REAPER_PROJECTS 0.1\n", LoadResult::NotAProject},
      {"<reaper_project 0.1\n", LoadResult::NotAProject},
      {"REAPER_PROJECT 0.1\n", LoadResult::NotAProject},
      {std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16), LoadResult::NotAProject},
      {"\xFF\xFE<\0T\0R\0A\0C\0K\0", LoadResult::NotAProject},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.bytes));
    ASSERT_EQ(load(u"first.rpp", "<REAPER_PROJECT\nTEMPO 99 4 4\n<TRACK\n"), LoadResult::Loaded);
    writeFile(u"other.rpp", c.bytes);
    const LoadOutcome outcome = loadProjectFile(project, path(u"other.rpp"));
    const Text& reason = outcome.reason;
    EXPECT_EQ(outcome.result, c.result);
    if (c.result == LoadResult::Loaded) {
      EXPECT_EQ(U8(reason), "");
      EXPECT_EQ(project.info.tempo, 0);
      continue;
    }
    EXPECT_EQ(U8(reason), "not a REAPER project");
    EXPECT_EQ(U8(project.info.projectPath), "");
    EXPECT_EQ(U8(project.info.projectName), "other");
    EXPECT_EQ(project.info.tempo, 99);
    EXPECT_EQ(project.lineCount(), 3);
    EXPECT_EQ(project.tracks.size(), 1u);
  }
}

TEST_F(loader, a_file_that_cannot_be_opened_leaves_no_project_chosen) {
  ASSERT_EQ(load(u"first.rpp", "<REAPER_PROJECT\nTEMPO 99 4 4\n<TRACK\nNAME one\n"), LoadResult::Loaded);
  EXPECT_EQ(loadProjectFile(project, path(u"missing.rpp")).result, LoadResult::CannotOpen);
  EXPECT_EQ(U8(project.info.projectPath), "");  // Export then says there is no data
  EXPECT_EQ(U8(project.info.projectName), "missing");
  EXPECT_EQ(U8(project.info.projectFolder), U8(folder()));
  EXPECT_EQ(U8(project.info.projectDate), "01/01/1970 00:00");
  EXPECT_EQ(project.info.tempo, 99);  // the previous content stays
  EXPECT_EQ(project.lineCount(), 4);
  ASSERT_EQ(project.tracks.size(), 1u);
}

TEST_F(loader, a_file_held_open_elsewhere_cannot_be_loaded) {
  writeFile(u"busy.rpp", "<REAPER_PROJECT\nTEMPO 99 4 4\n");
  ASSERT_NE(OpenFileForReading(5, path(u"busy.rpp")), 0);
  EXPECT_EQ(loadProjectFile(project, path(u"busy.rpp")).result, LoadResult::CannotOpen);
  CloseNumberedFile(5);
  EXPECT_EQ(loadProjectFile(project, path(u"busy.rpp")).result, LoadResult::Loaded);
}

TEST_F(loader, a_second_project_replaces_the_first_and_reloading_is_stable) {
  load(u"a.rpp", "<REAPER_PROJECT\n<MASTERFXLIST\nBYPASS 0\n<MASTERPLAYSPEEDENV\n<TRACK\nNAME a1\n<TRACK\nNAME a2\n");
  load(u"b.rpp", "<REAPER_PROJECT\n<TRACK\nNAME b1\n");
  ASSERT_EQ(project.tracks.size(), 1u);
  EXPECT_EQ(U8(project.tracks[0].name), "b1");
  EXPECT_TRUE(project.master.plugins.empty());
  const Lines once = lines();
  loadProjectFile(project, path(u"b.rpp"));
  EXPECT_EQ(lines(), once);
  EXPECT_EQ(project.tracks.size(), 1u);
}

TEST_F(loader, utf8_without_a_mark_is_read_as_utf8) {
  load(u"u.rpp", "<REAPER_PROJECT\n<TRACK\nNAME \"Caf\xC3\xA9 \xE3\x83\x9C\xE3\x83\xBC\xE3\x82\xAB\xE3\x83\xAB\"\n");
  ASSERT_EQ(project.tracks.size(), 1u);
  EXPECT_EQ(U8(project.tracks[0].name), "\"Caf\u00e9 \u30dc\u30fc\u30ab\u30eb\"");
}

TEST_F(loader, bytes_that_are_not_utf8_are_read_in_the_ansi_code_page) {
  // Valid UTF-8 on the first line, a Windows-1252 byte much later: the whole
  // file is read again as ANSI.
  std::string bytes = "<REAPER_PROJECT\n<TRACK\nNAME \xC3\xA9t\xC3\xA9\n";
  for (int i = 0; i < 2000; ++i) bytes += "  filler line " + std::to_string(i) + "\n";
  bytes += "<TRACK\nNAME caf\xE9\n";
  load(u"ansi.rpp", bytes);
  ASSERT_EQ(project.tracks.size(), 2u);
  EXPECT_EQ(U8(project.tracks[0].name), "\u00c3\u00a9t\u00c3\u00a9");
  EXPECT_EQ(U8(project.tracks[1].name), "caf\u00e9");
  EXPECT_EQ(project.lineCount(), 2005);
}

TEST_F(loader, marks_choose_the_encoding) {
  load(u"bom.rpp", "\xEF\xBB\xBF<REAPER_PROJECT\n<TRACK\nNAME \xC3\xA9\n");
  EXPECT_EQ(U8(project.tracks.at(0).name), "\u00e9");
  load(u"wide.rpp", std::string("\xFF\xFE<\0R\0E\0A\0P\0E\0R\0_\0P\0R\0O\0J\0E\0C\0T\0\n\0"
                                "<\0T\0R\0A\0C\0K\0\r\0\n\0N\0A\0M\0E\0 \0\xE9\0", 62));
  EXPECT_EQ(U8(project.tracks.at(0).name), "\u00e9");
}

TEST_F(loader, the_project_file_is_left_exactly_as_it_was) {
  const std::string bytes = "<REAPER_PROJECT 0.1 \"7.0/x64\"\r\n  <TRACK\r\n    NAME x\r\n";
  writeFile(u"keep.rpp", bytes);
  const Timestamp before = FileTimestamp(path(u"keep.rpp"), TimestampKind::Modified);
  ASSERT_EQ(loadProjectFile(project, path(u"keep.rpp")).result, LoadResult::Loaded);
  EXPECT_EQ(ReadBytes(path(u"keep.rpp")), bytes);
  EXPECT_EQ(FileTimestamp(path(u"keep.rpp"), TimestampKind::Modified), before);
}
