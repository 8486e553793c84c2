// The commands as the user reaches them: Load (requester, cancel, a missing
// file), Export (its messages, the report it writes and opens), the export
// folder following the loaded project, and the About box.
#include "shell_test_support.h"

#include "support/file_size_limit.h"
#include "support/memory_limit.h"

#include "core/loader.h"
#include "report/export.h"
#include "runtime/paths.h"

#include <filesystem>
#include <string>

namespace {

// The one message box shown, as "caption|text".
std::string OnlyMessage() {
  const auto& boxes = ui::headless::MessageBoxes();
  if (boxes.size() != 1) return "message boxes: " + std::to_string(boxes.size());
  return Utf8(boxes[0].caption) + "|" + Utf8(boxes[0].text);
}

}  // namespace

TEST_F(shell, load_shows_the_requester_in_the_current_directory_and_a_cancel_changes_nothing) {
  ui::headless::ScriptClick(LoadButton);
  ui::headless::ScriptCancelRequester();
  RunProgram();
  const auto& requesters = ui::headless::Requesters();
  ASSERT_EQ(requesters.size(), 1u);
  EXPECT_EQ(Utf8(requesters[0].title), "Load Reaper project...");
  EXPECT_EQ(Utf8(requesters[0].initialPath), Utf8(CurrentDirectory()));
  EXPECT_EQ(Utf8(requesters[0].patterns), "Reaper project (*.rpp)|*.rpp");
  EXPECT_EQ(requesters[0].patternIndex, 0);
  EXPECT_TRUE(records().project.info.projectPath.empty());
  EXPECT_TRUE(records().project.info.projectName.empty());
  EXPECT_EQ(records().project.lineCount(), 0);
  EXPECT_TRUE(ui::headless::MessageBoxes().empty());
  EXPECT_EQ(Utf8(options().exportFolder), Utf8(CurrentDirectory()));
}

TEST_F(shell, open_menu_entry_loads_like_the_button) {
  const Text project = CopyProject(kProject, folder(), u"Song.rpp");
  ui::headless::ScriptMenu(MenuOpen);
  ui::headless::ScriptChooseFile(project);
  RunProgram();
  EXPECT_EQ(ui::headless::Requesters().size(), 1u);
  EXPECT_EQ(Utf8(records().project.info.projectPath), Utf8(project));
  EXPECT_EQ(Utf8(records().project.info.projectName), "Song");
  EXPECT_EQ(Utf8(records().project.info.projectFolder), Utf8(folder()));
  EXPECT_GT(records().project.lineCount(), 0);
  EXPECT_FALSE(records().project.tracks.empty());
  EXPECT_TRUE(ui::headless::MessageBoxes().empty());
}

TEST_F(shell, export_before_any_load_says_there_is_no_data) {
  ui::headless::ScriptClick(ExportButton);
  RunProgram();
  EXPECT_EQ(OnlyMessage(), "Information|No data to export !");
  EXPECT_TRUE(ui::headless::OpenedDocuments().empty());
}

TEST_F(shell, a_missing_file_cannot_be_opened_and_leaves_nothing_to_export) {
  const Text missing = path(u"Missing.rpp");
  ui::headless::ScriptClick(LoadButton);
  ui::headless::ScriptChooseFile(missing);
  ui::headless::ScriptClick(ExportButton);
  RunProgram();
  const auto& boxes = ui::headless::MessageBoxes();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(Utf8(boxes[0].caption), "Information");
  EXPECT_EQ(Utf8(boxes[0].text), "Couldn't open the file!");
  EXPECT_EQ(Utf8(boxes[1].caption), "Information");
  EXPECT_EQ(Utf8(boxes[1].text), "No data to export !");
  EXPECT_TRUE(ui::headless::OpenedDocuments().empty());
  EXPECT_FALSE(FileExists(path(u"Missing.html")));
  EXPECT_FALSE(FileExists(CurrentDirectory() + u"Missing.html"));
}

TEST_F(shell, cancel_after_a_load_keeps_the_project_but_leaves_nothing_to_export) {
  const Text project = CopyProject(kProject, folder(), u"Song.rpp");
  ui::headless::ScriptClick(LoadButton);
  ui::headless::ScriptChooseFile(project);
  ui::headless::ScriptClick(LoadButton);
  ui::headless::ScriptCancelRequester();
  ui::headless::ScriptClick(ProjectFolderOption);
  ui::headless::ScriptClick(ExportButton);
  RunProgram();
  EXPECT_TRUE(records().project.info.projectPath.empty());
  EXPECT_EQ(Utf8(records().project.info.projectName), "Song");
  EXPECT_GT(records().project.lineCount(), 0);
  EXPECT_EQ(OnlyMessage(), "Information|No data to export !");
  EXPECT_FALSE(FileExists(path(u"Song.html")));
  EXPECT_TRUE(ui::headless::OpenedDocuments().empty());
}

TEST_F(shell, load_and_export_write_the_same_report_as_the_exporter_and_open_it) {
  const Text project = CopyProject(kProject, folder(), u"Vocal Guitar.rpp");
  ui::headless::ScriptClick(LoadButton);
  ui::headless::ScriptChooseFile(project);
  ui::headless::ScriptClick(ProjectFolderOption);
  ui::headless::ScriptClick(ExportButton);
  RunProgram();
  EXPECT_TRUE(ui::headless::MessageBoxes().empty());
  const Text report = path(u"Vocal Guitar.html");
  ASSERT_EQ(ui::headless::OpenedDocuments().size(), 1u);
  EXPECT_EQ(Utf8(ui::headless::OpenedDocuments()[0]), Utf8(report));

  ProjectData direct;
  ASSERT_EQ(loadProjectFile(direct, project), LoadResult::Loaded);
  const Text elsewhere = SubFolder(u"direct");
  ASSERT_EQ(exportReport(direct, elsewhere), ExportResult::Written);
  const std::string expected = ReadBytes(elsewhere + u"Vocal Guitar.html");
  ASSERT_FALSE(expected.empty());
  EXPECT_TRUE(ReadBytes(report) == expected) << "the window's report differs from the exporter's";
}

TEST_F(shell, exporting_twice_overwrites_the_report_and_opens_it_twice) {
  const Text project = CopyProject(kProject, folder(), u"Song.rpp");
  WriteBytes(path(u"Song.html"), std::string(100000, 'x'));  // longer than the report: must be truncated
  ui::headless::SetOpenDocumentFails(true);  // a failed opening is not reported
  ui::headless::ScriptClick(LoadButton);
  ui::headless::ScriptChooseFile(project);
  ui::headless::ScriptClick(ProjectFolderOption);
  ui::headless::ScriptClick(ExportButton);
  ui::headless::ScriptClick(ExportButton);
  RunProgram();
  EXPECT_TRUE(ui::headless::MessageBoxes().empty());
  ASSERT_EQ(ui::headless::OpenedDocuments().size(), 2u);
  EXPECT_EQ(Utf8(ui::headless::OpenedDocuments()[0]), Utf8(path(u"Song.html")));
  EXPECT_EQ(Utf8(ui::headless::OpenedDocuments()[1]), Utf8(path(u"Song.html")));
  const std::string report = ReadBytes(path(u"Song.html"));
  EXPECT_LT(report.size(), 100000u);
  EXPECT_EQ(report.find('x' + std::string(50, 'x')), std::string::npos);
}

TEST_F(shell, export_into_a_vanished_folder_cannot_create_the_file) {
  const Text gone = SubFolder(u"gone");
  const Text project = CopyProject(kProject, gone, u"Song.rpp");
  StartProgram();
  ui::headless::ScriptClick(LoadButton);
  ui::headless::ScriptChooseFile(project);
  Step();
  ui::headless::ScriptClick(ProjectFolderOption);
  Step();
  ASSERT_EQ(Utf8(options().exportFolder), Utf8(gone));
  std::filesystem::remove_all(std::filesystem::path(std::u16string(gone)));
  ui::headless::ScriptClick(ExportButton);
  Step();
  EXPECT_EQ(OnlyMessage(), "Information|may not create the file!");
  EXPECT_TRUE(ui::headless::OpenedDocuments().empty());
  EXPECT_FALSE(records().quitRequested);
}

TEST_F(shell, a_report_that_cannot_be_written_whole_is_reported_and_not_opened) {
  if (!FileSizeLimit::Supported()) GTEST_SKIP() << "cannot limit file sizes here";
  const Text project = CopyProject(kProject, folder(), u"Song.rpp");
  StartProgram();
  ui::headless::ScriptClick(LoadButton);
  ui::headless::ScriptChooseFile(project);
  Step();
  ui::headless::ScriptClick(ProjectFolderOption);
  Step();
  {
    FileSizeLimit diskAlmostFull(2000);
    ui::headless::ScriptClick(ExportButton);
    Step();
  }
  EXPECT_EQ(OnlyMessage(), "Information|Couldn't write the file!");
  EXPECT_TRUE(ui::headless::OpenedDocuments().empty());
  EXPECT_FALSE(FileExists(path(u"Song.html")));
}

TEST_F(shell, a_failed_export_leaves_the_previous_report_and_never_touches_the_project) {
  const Text project = CopyProject(kProject, folder(), u"Song.rpp");
  const std::string projectBytes = ReadBytes(project);
  WriteBytes(path(u"Song.html"), "previous report");
  StartProgram();
  ui::headless::ScriptClick(LoadButton);
  ui::headless::ScriptChooseFile(project);
  Step();
  ui::headless::ScriptClick(ProjectFolderOption);
  Step();
  if (FileSizeLimit::Supported()) {
    FileSizeLimit diskAlmostFull(2000);
    ui::headless::ScriptClick(ExportButton);
    Step();
    EXPECT_EQ(OnlyMessage(), "Information|Couldn't write the file!");
    EXPECT_EQ(ReadBytes(path(u"Song.html")), "previous report");
  }
  // The report's name leads to the project itself: refused, the project kept.
  std::filesystem::remove(std::filesystem::path(std::u16string(path(u"Song.html"))));
  std::filesystem::create_hard_link(std::filesystem::path(std::u16string(project)),
                                    std::filesystem::path(std::u16string(path(u"Song.html"))));
  ui::headless::ScriptClick(ExportButton);
  Step();
  const auto& boxes = ui::headless::MessageBoxes();
  ASSERT_FALSE(boxes.empty());
  EXPECT_EQ(Utf8(boxes.back().text), "may not create the file!");
  EXPECT_EQ(ReadBytes(project), projectBytes);
  EXPECT_TRUE(ui::headless::OpenedDocuments().empty());
}

TEST_F(shell, a_project_too_big_for_the_memory_keeps_the_previous_one) {
  if (!MemoryLimit::Supported()) GTEST_SKIP() << "cannot limit memory here";
  const Text small = CopyProject(kProject, folder(), u"Small.rpp");
  // 200 MB of NUL bytes: as many empty lines, more than the memory left.
  {
    std::filesystem::path huge(std::u16string(path(u"Huge.rpp")));
    WriteBytes(path(u"Huge.rpp"), "");
    std::filesystem::resize_file(huge, 200'000'000);
  }
  StartProgram();
  ui::headless::ScriptClick(LoadButton);
  ui::headless::ScriptChooseFile(small);
  Step();
  const std::int64_t lines = records().project.lineCount();
  const std::size_t tracks = records().project.tracks.size();
  ASSERT_GT(tracks, 0u);
  {
    MemoryLimit limit(64 << 20);
    ui::headless::ScriptClick(LoadButton);
    ui::headless::ScriptChooseFile(path(u"Huge.rpp"));
    Step();
  }
  EXPECT_EQ(OnlyMessage(), "Information|Couldn't open the file!");
  EXPECT_EQ(records().project.lineCount(), lines);
  EXPECT_EQ(records().project.tracks.size(), tracks);
  EXPECT_FALSE(records().quitRequested);
}

TEST_F(shell, project_folder_option_copies_the_loaded_projects_folder_when_clicked) {
  const Text first = CopyProject(kProject, SubFolder(u"a"), u"A.rpp");
  StartProgram();
  ui::headless::ScriptClick(LoadButton);
  ui::headless::ScriptChooseFile(first);
  Step();
  EXPECT_EQ(Utf8(options().exportFolder), Utf8(CurrentDirectory()));  // the option is not selected: no change
  ui::headless::ScriptClick(ProjectFolderOption);
  Step();
  EXPECT_EQ(Utf8(options().exportFolder), Utf8(path(u"a") + FolderSeparator()));
  ui::headless::ScriptClick(ApplicationFolderOption);
  Step();
  EXPECT_EQ(Utf8(options().exportFolder), Utf8(CurrentDirectory()));
  // Loading with "Application folder" selected leaves the folder alone.
  const Text second = CopyProject(kProject, SubFolder(u"b"), u"B.rpp");
  ui::headless::ScriptClick(LoadButton);
  ui::headless::ScriptChooseFile(second);
  Step();
  EXPECT_EQ(Utf8(options().exportFolder), Utf8(CurrentDirectory()));
  EXPECT_TRUE(ui::headless::MessageBoxes().empty());
}

TEST_F(shell, project_folder_option_follows_every_load_that_opens_its_file) {
  const Text folderA = SubFolder(u"a");
  const Text folderB = SubFolder(u"b");
  const Text projectA = CopyProject(kProject, folderA, u"A.rpp");
  const Text projectB = CopyProject(kOtherProject, folderB, u"B.rpp");
  StartProgram();
  ui::headless::ScriptClick(ProjectFolderOption);  // before any load: empty
  Step();
  EXPECT_EQ(Utf8(options().exportFolder), "");

  ui::headless::ScriptClick(LoadButton);  // the option is selected: the folder follows A
  ui::headless::ScriptChooseFile(projectA);
  Step();
  EXPECT_EQ(Utf8(options().exportFolder), Utf8(folderA));

  ui::headless::ScriptClick(LoadButton);  // ... and then B
  ui::headless::ScriptChooseFile(projectB);
  Step();
  EXPECT_EQ(Utf8(options().exportFolder), Utf8(folderB));

  ui::headless::ScriptClick(LoadButton);  // a cancel keeps B's folder
  ui::headless::ScriptCancelRequester();
  Step();
  EXPECT_EQ(Utf8(options().exportFolder), Utf8(folderB));

  ui::headless::ScriptClick(LoadButton);  // a file that cannot be opened keeps it too
  ui::headless::ScriptChooseFile(path(u"elsewhere/Missing.rpp"));
  Step();
  EXPECT_EQ(Utf8(options().exportFolder), Utf8(folderB));
  EXPECT_EQ(OnlyMessage(), "Information|Couldn't open the file!");

  ui::headless::ScriptClick(LoadButton);
  ui::headless::ScriptChooseFile(projectB);
  Step();
  ui::headless::ScriptClick(ExportButton);  // B's report lands beside B, not beside A
  Step();
  EXPECT_TRUE(FileExists(folderB + u"B.html"));
  EXPECT_FALSE(FileExists(folderA + u"B.html"));
  ASSERT_EQ(ui::headless::OpenedDocuments().size(), 1u);
  EXPECT_EQ(Utf8(ui::headless::OpenedDocuments()[0]), Utf8(folderB + u"B.html"));

  ui::headless::ScriptClick(ProjectFolderOption);  // clicking the selected option again copies it again
  Step();
  EXPECT_EQ(Utf8(options().exportFolder), Utf8(folderB));
}

TEST_F(shell, about_box_shows_five_lines) {
  ui::headless::ScriptMenu(MenuAbout);
  RunProgram();
  const auto& boxes = ui::headless::MessageBoxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(Utf8(boxes[0].caption), "About...");
  const std::string text = Utf8(boxes[0].text);
  const std::string expectedStart = "Quorvel (17/07/2025)\n\n";
  const std::string expectedEnd = "\n\nVelmorn : quorvel@example.org";
  ASSERT_GT(text.size(), expectedStart.size() + expectedEnd.size());
  EXPECT_EQ(text.substr(0, expectedStart.size()), expectedStart);
  EXPECT_EQ(text.substr(text.size() - expectedEnd.size()), expectedEnd);
  const std::string description =
      text.substr(expectedStart.size(), text.size() - expectedStart.size() - expectedEnd.size());
  EXPECT_EQ(description.find('\n'), std::string::npos);
  EXPECT_NE(description.find("HTML report"), std::string::npos);
  EXPECT_EQ(Utf8(boxes[0].text), Utf8(aboutText()));
  EXPECT_EQ(ui::headless::ScriptRunOuts(), 1);  // the loop went on until the script ended
}
