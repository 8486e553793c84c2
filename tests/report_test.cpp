#include "core/loader.h"
#include "report/export.h"
#include "report/html_writer.h"
#include "runtime/numbered_file.h"
#include "runtime/paths.h"
#include "support/file_size_limit.h"
#include "support/golden.h"
#include "support/memory_limit.h"
#include "support/temp_folder.h"

#include <algorithm>
#include <filesystem>
#include <new>
#include <optional>

namespace {

// The report's bytes in memory; refuses everything after `limit` bytes.
struct StringSink : ByteSink {
  std::string bytes;
  std::size_t limit = std::string::npos;
  std::size_t writes = 0;
  bool write(std::string_view piece) override {
    ++writes;
    if (bytes.size() + piece.size() > limit) return false;
    bytes += piece;
    return true;
  }
};

class report : public TempFolder {
 protected:
  void TearDown() override {
    CloseAllNumberedFiles();
    TempFolder::TearDown();
  }
  // The report of a project kept beside the tests, with the facts that depend
  // on where and when it was copied fixed.
  std::string reportOf(std::string_view name) {
    ProjectData project;
    EXPECT_EQ(loadProjectFile(project, TestData(name)).result, LoadResult::Loaded);
    project.info.projectFolder = u"C:\\Music\\";
    project.info.projectDate = u"17/07/2025 09:05";
    EXPECT_EQ(exportReport(project, folder()), ExportResult::Written);
    return ReadBytes(path(project.info.projectName + u".html"));
  }
};

}  // namespace

TEST_F(report, whole_document_matches_the_expected_file) {
  EXPECT_TRUE(MatchesGolden("basic.html", reportOf("basic.rpp")));
}

TEST_F(report, project_without_tracks_or_master_plugins) {
  EXPECT_TRUE(MatchesGolden("empty-master.html", reportOf("empty-master.rpp")));
}

// The expected reports are golden files: compared, and rewritten only when asked.
TEST_F(report, golden_files_are_compared_and_rewritten_only_on_request) {
  const Text golden = path(u"golden.html");
  const std::string kept = "line 1\r\nline 2\r\nline 3\r\n";
  WriteBytes(golden, kept);
  EXPECT_TRUE(MatchesGoldenFile(golden, kept, false));
  const testing::AssertionResult differs = MatchesGoldenFile(golden, "line 1\r\nline two\r\nline 3\r\n", false);
  EXPECT_FALSE(differs);
  EXPECT_NE(std::string(differs.message()).find("first difference in line 2"), std::string::npos) << differs.message();
  EXPECT_NE(std::string(differs.message()).find("line two"), std::string::npos) << differs.message();
  EXPECT_FALSE(MatchesGoldenFile(golden, kept + "line 4\r\n", false));
  EXPECT_EQ(ReadBytes(golden), kept);  // comparing never writes

  EXPECT_TRUE(MatchesGoldenFile(golden, "new\r\n", true));
  EXPECT_EQ(ReadBytes(golden), "new\r\n");
  EXPECT_FALSE(MatchesGoldenFile(golden, "", true));  // no output is never written
  EXPECT_EQ(ReadBytes(golden), "new\r\n");

  const Text missing = path(u"missing.html");
  EXPECT_FALSE(MatchesGoldenFile(missing, "x", false));
  EXPECT_FALSE(FileExists(missing));
  EXPECT_TRUE(MatchesGoldenFile(missing, "x", true));
  EXPECT_EQ(ReadBytes(missing), "x");
}

TEST_F(report, an_empty_model_still_writes_every_section) {
  ProjectData project;
  StringSink sink;
  ASSERT_TRUE(writeReport(project, sink));
  const std::string& html = sink.bytes;
  EXPECT_NE(html.find("\tMaster Plugins ()<br>\r\n\tQuorvel<br>\r\n"), std::string::npos);
  EXPECT_NE(html.find("\tNumber of Tracks : 0<br>\r\n"), std::string::npos);
  EXPECT_EQ(html.substr(html.size() - 18), "</body>\r\n</html>\r\n");
}

TEST_F(report, text_from_the_project_is_escaped_and_fixed_text_is_not) {
  ProjectData project;
  project.info.projectName = u"a<b>&\"c\"";
  project.info.projectPath = u"x";
  TrackRecord& track = project.addTrack();
  track.name = u"<script>alert(1)</script>";
  addPlugin(track.plugins, u"online").kind = u"VST2 effect";
  track.plugins[0].presetName = u"R&B";
  ASSERT_EQ(exportReportTo(project, path(u"escaped.html")).result, ExportResult::Written);
  const std::string html = ReadBytes(path(u"escaped.html"));
  EXPECT_NE(html.find("<title>Reaper Project : a&lt;b&gt;&amp;&quot;c&quot;</title>"), std::string::npos);
  EXPECT_NE(html.find("Track Name : &lt;script&gt;alert(1)&lt;/script&gt;<br>"), std::string::npos);
  EXPECT_NE(html.find("Plugin Preset : R&amp;B<br><br>"), std::string::npos);
  EXPECT_EQ(html.find("<script>"), std::string::npos);
}

TEST_F(report, no_project_chosen_writes_nothing) {
  ProjectData project;
  EXPECT_EQ(exportReport(project, folder()), ExportResult::NoData);
  EXPECT_FALSE(FileExists(path(u".html")));
}

TEST_F(report, a_folder_that_does_not_exist_cannot_take_the_report) {
  ProjectData project;
  project.info.projectPath = u"x.rpp";
  project.info.projectName = u"x";
  EXPECT_EQ(exportReport(project, path(u"missing") + Text(1, FolderSeparator())), ExportResult::CannotCreate);
  EXPECT_EQ(exportMessage(ExportResult::CannotCreate), u"may not create the file!");
}

TEST_F(report, exporting_twice_overwrites_the_same_file) {
  ProjectData project;
  ASSERT_EQ(loadProjectFile(project, TestData("basic.rpp")).result, LoadResult::Loaded);
  ASSERT_EQ(exportReport(project, folder()), ExportResult::Written);
  const std::string first = ReadBytes(path(u"basic.html"));
  // The project changes between the two exports, and its second report is
  // shorter: the file must hold exactly the second one.
  project.tracks.clear();
  project.info.tempo = 77;
  const Text elsewhere = path(u"elsewhere") + FolderSeparator();
  std::filesystem::create_directories(std::filesystem::path(std::u16string(elsewhere)));
  ASSERT_EQ(exportReport(project, elsewhere), ExportResult::Written);
  const std::string second = ReadBytes(elsewhere + u"basic.html");
  ASSERT_LT(second.size(), first.size());
  ASSERT_EQ(exportReport(project, folder()), ExportResult::Written);
  EXPECT_EQ(ReadBytes(path(u"basic.html")), second);
}

TEST_F(report, a_report_that_cannot_be_written_whole_is_removed) {
  if (!FileSizeLimit::supported()) GTEST_SKIP() << "cannot limit file sizes here";
  ProjectData project;
  ASSERT_EQ(loadProjectFile(project, TestData("basic.rpp")).result, LoadResult::Loaded);
  FileSizeLimit limit(2000);
  EXPECT_EQ(exportReport(project, folder()), ExportResult::WriteFailed);
  EXPECT_FALSE(FileExists(path(u"basic.html")));
  EXPECT_EQ(exportMessage(ExportResult::WriteFailed), u"Couldn't write the file!");
}

// Takes every block the heap still has free, while the object lives (each
// block holds the address of the one taken before it).
class Hoard {
 public:
  Hoard() {
    for (std::size_t size : {std::size_t{64} << 10, std::size_t{4} << 10, std::size_t{64}})
      while (void* block = ::operator new(size, std::nothrow)) {
        *static_cast<void**>(block) = last_;
        last_ = block;
      }
  }
  ~Hoard() {
    while (last_) {
      void* before = *static_cast<void**>(last_);
      ::operator delete(last_);
      last_ = before;
    }
  }
  Hoard(const Hoard&) = delete;
  Hoard& operator=(const Hoard&) = delete;

 private:
  void* last_ = nullptr;
};

// A track name of 16 MB once escaped, written with less and less memory left:
// each time the report is either complete or not written at all, the earlier
// report whole and nothing else left in the folder; never an abort.
TEST_F(report, running_out_of_memory_while_writing_keeps_the_old_report) {
  if (!MemoryLimit::supported()) GTEST_SKIP() << "cannot limit memory here";
  ProjectData project;
  ASSERT_EQ(loadProjectFile(project, TestData("basic.rpp")).result, LoadResult::Loaded);
  ASSERT_EQ(exportReport(project, folder()), ExportResult::Written);
  const std::string old = ReadBytes(path(u"basic.html"));
  ASSERT_FALSE(project.tracks.empty());
  project.tracks[0].name.assign(4'000'000, u'<');
  const Text whole = path(u"whole") + FolderSeparator();
  std::filesystem::create_directories(std::filesystem::path(std::u16string(whole)));
  ASSERT_EQ(exportReport(project, whole), ExportResult::Written);
  const std::string complete = ReadBytes(whole + u"basic.html");
  std::filesystem::remove_all(std::filesystem::path(std::u16string(whole)));
  ASSERT_GT(complete.size(), 16'000'000u);

  int failures = 0;
  // -1: none left, and none free in the heap either.
  for (std::int64_t left : {std::int64_t{-1}, std::int64_t{0}, std::int64_t{4} << 10, std::int64_t{64} << 10,
                            std::int64_t{1} << 20}) {
    ExportOutcome outcome;
    {
      MemoryLimit limit(std::max<std::int64_t>(left, 0));
      std::optional<Hoard> hoard;
      if (left < 0) hoard.emplace();
      outcome = exportReportTo(project, path(u"basic.html"));
    }
    const std::string now = ReadBytes(path(u"basic.html"));
    if (outcome.result == ExportResult::Written) {
      EXPECT_TRUE(now == complete) << left << " bytes left: a report of " << now.size() << " bytes";
    } else {
      ++failures;
      EXPECT_TRUE(now == old) << left << " bytes left: " << now.size() << " bytes in place of the old report";
      EXPECT_FALSE(outcome.reason.empty()) << left;
    }
    std::size_t files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::path(std::u16string(folder())))) {
      (void)entry;
      ++files;
    }
    EXPECT_EQ(files, 1u) << left << " bytes left: something besides the report in the folder";
  }
  // With no memory to spare at all, not even the output can be made.
  EXPECT_GE(failures, 1);
}
