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
  const auto& boxes = ui::scripted::MessageBoxes();
  if (boxes.size() != 1) return "message boxes: " + std::to_string(boxes.size());
  return Utf8(boxes[0].caption) + "|" + Utf8(boxes[0].text);
}

}  // namespace

TEST_F(shell, load_shows_the_requester_in_the_current_directory_and_a_cancel_changes_nothing) {
  ui::scripted::ScriptClick(LoadButton);
  ui::scripted::ScriptCancelRequester();
  runProgram();
  const auto& requesters = ui::scripted::Requesters();
  ASSERT_EQ(requesters.size(), 1u);
  EXPECT_EQ(Utf8(requesters[0].title), "Load Reaper project...");
  EXPECT_EQ(Utf8(requesters[0].initialPath), Utf8(CurrentDirectory()));
  EXPECT_EQ(Utf8(requesters[0].patterns), "Reaper project (*.rpp)|*.rpp");
  EXPECT_EQ(requesters[0].patternIndex, 0);
  EXPECT_TRUE(records().project.info.projectPath.empty());
  EXPECT_TRUE(records().project.info.projectName.empty());
  EXPECT_EQ(records().project.lineCount(), 0);
  EXPECT_TRUE(ui::scripted::MessageBoxes().empty());
  EXPECT_EQ(Utf8(options().exportFolder), Utf8(CurrentDirectory()));
}

TEST_F(shell, open_menu_entry_loads_like_the_button) {
  const Text project = copyProject(kProject, folder(), u"Song.rpp");
  ui::scripted::ScriptMenu(MenuOpen);
  ui::scripted::ScriptChooseFile(project);
  runProgram();
  EXPECT_EQ(ui::scripted::Requesters().size(), 1u);
  EXPECT_EQ(Utf8(records().project.info.projectPath), Utf8(project));
  EXPECT_EQ(Utf8(records().project.info.projectName), "Song");
  EXPECT_EQ(Utf8(records().project.info.projectFolder), Utf8(folder()));
  EXPECT_GT(records().project.lineCount(), 0);
  EXPECT_FALSE(records().project.tracks.empty());
  EXPECT_TRUE(ui::scripted::MessageBoxes().empty());
}

TEST_F(shell, export_before_any_load_says_there_is_no_data) {
  ui::scripted::ScriptClick(ExportButton);
  runProgram();
  EXPECT_EQ(OnlyMessage(), "Information|No data to export !");
  EXPECT_TRUE(ui::scripted::OpenedDocuments().empty());
}

TEST_F(shell, a_missing_file_cannot_be_opened_and_leaves_nothing_to_export) {
  const Text missing = path(u"Missing.rpp");
  ui::scripted::ScriptClick(LoadButton);
  ui::scripted::ScriptChooseFile(missing);
  ui::scripted::ScriptClick(ExportButton);
  runProgram();
  const auto& boxes = ui::scripted::MessageBoxes();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(Utf8(boxes[0].caption), "Information");
  EXPECT_EQ(Utf8(boxes[0].text), "Couldn't open the file!");
  EXPECT_EQ(Utf8(boxes[1].caption), "Information");
  EXPECT_EQ(Utf8(boxes[1].text), "No data to export !");
  EXPECT_TRUE(ui::scripted::OpenedDocuments().empty());
  EXPECT_FALSE(FileExists(path(u"Missing.html")));
  EXPECT_FALSE(FileExists(CurrentDirectory() + u"Missing.html"));
}

// A name longer than the system allows (more than 255 bytes on POSIX, a
// path of more than 259 units on Windows) cannot be opened: the requester's
// answer counts as a cancel, as it does for a requester that cannot hold it.
TEST_F(shell, a_path_beyond_the_systems_limits_from_the_requester_counts_as_a_cancel) {
  const Text project = copyProject(kProject, folder(), u"Song.rpp");
  ui::scripted::ScriptClick(LoadButton);
  ui::scripted::ScriptChooseFile(project);
  ui::scripted::ScriptClick(LoadButton);
  ui::scripted::ScriptChooseFile(folder() + Text(260, u'n') + u".rpp");
  ui::scripted::ScriptClick(ExportButton);
  runProgram();
  EXPECT_TRUE(records().project.info.projectPath.empty());
  EXPECT_EQ(Utf8(records().project.info.projectName), "Song") << "the earlier project stays";
  EXPECT_EQ(OnlyMessage(), "Information|No data to export !") << "no attempt to open it";
}

TEST_F(shell, cancel_after_a_load_keeps_the_project_but_leaves_nothing_to_export) {
  const Text project = copyProject(kProject, folder(), u"Song.rpp");
  ui::scripted::ScriptClick(LoadButton);
  ui::scripted::ScriptChooseFile(project);
  ui::scripted::ScriptClick(LoadButton);
  ui::scripted::ScriptCancelRequester();
  ui::scripted::ScriptClick(ProjectFolderOption);
  ui::scripted::ScriptClick(ExportButton);
  runProgram();
  EXPECT_TRUE(records().project.info.projectPath.empty());
  EXPECT_EQ(Utf8(records().project.info.projectName), "Song");
  EXPECT_GT(records().project.lineCount(), 0);
  EXPECT_EQ(OnlyMessage(), "Information|No data to export !");
  EXPECT_FALSE(FileExists(path(u"Song.html")));
  EXPECT_TRUE(ui::scripted::OpenedDocuments().empty());
}

TEST_F(shell, load_and_export_write_the_same_report_as_the_exporter_and_open_it) {
  const Text project = copyProject(kProject, folder(), u"Vocal Guitar.rpp");
  ui::scripted::ScriptClick(LoadButton);
  ui::scripted::ScriptChooseFile(project);
  ui::scripted::ScriptClick(ProjectFolderOption);
  ui::scripted::ScriptClick(ExportButton);
  runProgram();
  EXPECT_TRUE(ui::scripted::MessageBoxes().empty());
  const Text report = path(u"Vocal Guitar.html");
  ASSERT_EQ(ui::scripted::OpenedDocuments().size(), 1u);
  EXPECT_EQ(Utf8(ui::scripted::OpenedDocuments()[0]), Utf8(report));

  ProjectData direct;
  ASSERT_EQ(loadProjectFile(direct, project).result, LoadResult::Loaded);
  const Text elsewhere = subFolder(u"direct");
  ASSERT_EQ(exportReport(direct, elsewhere), ExportResult::Written);
  const std::string expected = ReadBytes(elsewhere + u"Vocal Guitar.html");
  ASSERT_FALSE(expected.empty());
  EXPECT_TRUE(ReadBytes(report) == expected) << "the window's report differs from the exporter's";
}

TEST_F(shell, exporting_twice_overwrites_the_report_and_opens_it_twice) {
  const Text project = copyProject(kProject, folder(), u"Song.rpp");
  WriteBytes(path(u"Song.html"), std::string(100000, 'x'));  // longer than the report: must be truncated
  ui::scripted::ScriptClick(LoadButton);
  ui::scripted::ScriptChooseFile(project);
  ui::scripted::ScriptClick(ProjectFolderOption);
  ui::scripted::ScriptClick(ExportButton);
  ui::scripted::ScriptClick(ExportButton);
  runProgram();
  EXPECT_TRUE(ui::scripted::MessageBoxes().empty());
  ASSERT_EQ(ui::scripted::OpenedDocuments().size(), 2u);
  EXPECT_EQ(Utf8(ui::scripted::OpenedDocuments()[0]), Utf8(path(u"Song.html")));
  EXPECT_EQ(Utf8(ui::scripted::OpenedDocuments()[1]), Utf8(path(u"Song.html")));
  const std::string report = ReadBytes(path(u"Song.html"));
  EXPECT_LT(report.size(), 100000u);
  EXPECT_EQ(report.find('x' + std::string(50, 'x')), std::string::npos);
}

// The report is written whatever happens when it is handed on; when no
// program took it, the user is told where it is and why, once that is known.
TEST_F(shell, a_report_that_no_program_opens_is_written_and_its_place_shown) {
  const Text project = copyProject(kProject, folder(), u"Song.rpp");
  const Text report = path(u"Song.html");
  struct Case {
    LaunchResult launch;
    const char16_t* reason;
    std::string told;  // after "The report was written to <report>"; empty: no message
  };
  for (const Case& c : {Case{LaunchResult::NoProgram, u"", ", but no program is set to open HTML files."},
                        Case{LaunchResult::Failed, u"xdg-open: the browser refused to start",
                             ", but it could not be opened: xdg-open: the browser refused to start."},
                        Case{LaunchResult::Started, u"", ""}}) {
    SCOPED_TRACE(static_cast<int>(c.launch));
    ui::scripted::ResetScriptedToolkit();
    resetShellRecords();
    std::filesystem::remove(std::filesystem::path(std::u16string(report)));
    ui::scripted::SetOpenDocumentResult(c.launch, c.reason);
    ui::scripted::ScriptClick(LoadButton);
    ui::scripted::ScriptChooseFile(project);
    ui::scripted::ScriptClick(ProjectFolderOption);
    ui::scripted::ScriptClick(ExportButton);
    runProgram();
    EXPECT_TRUE(FileExists(report));
    ASSERT_EQ(ui::scripted::OpenedDocuments().size(), 1u);
    EXPECT_EQ(Utf8(ui::scripted::OpenedDocuments()[0]), Utf8(report));
    if (!c.told.empty()) {
      EXPECT_EQ(OnlyMessage(), "Information|The report was written to " + Utf8(report) + c.told);
    } else {
      EXPECT_TRUE(ui::scripted::MessageBoxes().empty());
    }
  }
}

// Export does not wait for the opener: the window takes the user's next
// actions, and the failure is told when the opener's verdict comes.
TEST_F(shell, the_opener_verdict_comes_after_later_actions) {
  const Text project = copyProject(kProject, folder(), u"Song.rpp");
  ui::scripted::SetOpenDocumentResult(LaunchResult::Failed, u"status 4", 2);
  ui::scripted::ScriptClick(LoadButton);
  ui::scripted::ScriptChooseFile(project);
  ui::scripted::ScriptClick(ProjectFolderOption);
  ui::scripted::ScriptClick(ExportButton);
  ui::scripted::ScriptClick(TrackPanCheck);
  ui::scripted::ScriptMenu(MenuAbout);
  runProgram();
  ASSERT_EQ(ui::scripted::MessageBoxes().size(), 2u);
  EXPECT_EQ(Utf8(ui::scripted::MessageBoxes()[0].caption), "About...");
  EXPECT_EQ(Utf8(ui::scripted::MessageBoxes()[1].text),
            "The report was written to " + Utf8(path(u"Song.html")) + ", but it could not be opened: status 4.");
  EXPECT_EQ(ui::ReadControlState(TrackCheck), 0);  // the click was taken before the verdict
}

TEST_F(shell, export_into_a_vanished_folder_cannot_create_the_file) {
  const Text gone = subFolder(u"gone");
  const Text project = copyProject(kProject, gone, u"Song.rpp");
  startProgram();
  ui::scripted::ScriptClick(LoadButton);
  ui::scripted::ScriptChooseFile(project);
  step();
  ui::scripted::ScriptClick(ProjectFolderOption);
  step();
  ASSERT_EQ(Utf8(options().exportFolder), Utf8(gone));
  std::filesystem::remove_all(std::filesystem::path(std::u16string(gone)));
  ui::scripted::ScriptClick(ExportButton);
  step();
  EXPECT_EQ(OnlyMessage(), "Information|may not create the file!");
  EXPECT_TRUE(ui::scripted::OpenedDocuments().empty());
  EXPECT_FALSE(records().quitRequested);
}

TEST_F(shell, a_report_that_cannot_be_written_whole_is_reported_and_not_opened) {
  if (!FileSizeLimit::supported()) GTEST_SKIP() << "cannot limit file sizes here";
  const Text project = copyProject(kProject, folder(), u"Song.rpp");
  startProgram();
  ui::scripted::ScriptClick(LoadButton);
  ui::scripted::ScriptChooseFile(project);
  step();
  ui::scripted::ScriptClick(ProjectFolderOption);
  step();
  {
    FileSizeLimit diskAlmostFull(2000);
    ui::scripted::ScriptClick(ExportButton);
    step();
  }
  EXPECT_EQ(OnlyMessage(), "Information|Couldn't write the file!");
  EXPECT_TRUE(ui::scripted::OpenedDocuments().empty());
  EXPECT_FALSE(FileExists(path(u"Song.html")));
}

TEST_F(shell, a_failed_export_leaves_the_previous_report_and_never_touches_the_project) {
  const Text project = copyProject(kProject, folder(), u"Song.rpp");
  const std::string projectBytes = ReadBytes(project);
  WriteBytes(path(u"Song.html"), "previous report");
  startProgram();
  ui::scripted::ScriptClick(LoadButton);
  ui::scripted::ScriptChooseFile(project);
  step();
  ui::scripted::ScriptClick(ProjectFolderOption);
  step();
  if (FileSizeLimit::supported()) {
    FileSizeLimit diskAlmostFull(2000);
    ui::scripted::ScriptClick(ExportButton);
    step();
    EXPECT_EQ(OnlyMessage(), "Information|Couldn't write the file!");
    EXPECT_EQ(ReadBytes(path(u"Song.html")), "previous report");
  }
  // The report's name leads to the project itself: refused, the project kept.
  std::filesystem::remove(std::filesystem::path(std::u16string(path(u"Song.html"))));
  std::filesystem::create_hard_link(std::filesystem::path(std::u16string(project)),
                                    std::filesystem::path(std::u16string(path(u"Song.html"))));
  ui::scripted::ScriptClick(ExportButton);
  step();
  const auto& boxes = ui::scripted::MessageBoxes();
  ASSERT_FALSE(boxes.empty());
  EXPECT_EQ(Utf8(boxes.back().text), "may not create the file!");
  EXPECT_EQ(ReadBytes(project), projectBytes);
  EXPECT_TRUE(ui::scripted::OpenedDocuments().empty());
}

TEST_F(shell, a_project_too_big_for_the_memory_keeps_the_previous_one) {
  if (!MemoryLimit::supported()) GTEST_SKIP() << "cannot limit memory here";
  const Text small = copyProject(kProject, folder(), u"Small.rpp");
  // 200 MB of NUL bytes: as many empty lines, more than the memory left.
  {
    std::filesystem::path huge(std::u16string(path(u"Huge.rpp")));
    WriteBytes(path(u"Huge.rpp"), "");
    std::filesystem::resize_file(huge, 200'000'000);
  }
  startProgram();
  ui::scripted::ScriptClick(LoadButton);
  ui::scripted::ScriptChooseFile(small);
  step();
  const std::int64_t lines = records().project.lineCount();
  const std::size_t tracks = records().project.tracks.size();
  ASSERT_GT(tracks, 0u);
  {
    MemoryLimit limit(64 << 20);
    ui::scripted::ScriptClick(LoadButton);
    ui::scripted::ScriptChooseFile(path(u"Huge.rpp"));
    step();
  }
  EXPECT_EQ(OnlyMessage(), "Information|Couldn't open the file!");
  EXPECT_EQ(records().project.lineCount(), lines);
  EXPECT_EQ(records().project.tracks.size(), tracks);
  EXPECT_FALSE(records().quitRequested);
}

TEST_F(shell, project_folder_option_copies_the_loaded_projects_folder_when_clicked) {
  const Text first = copyProject(kProject, subFolder(u"a"), u"A.rpp");
  startProgram();
  ui::scripted::ScriptClick(LoadButton);
  ui::scripted::ScriptChooseFile(first);
  step();
  EXPECT_EQ(Utf8(options().exportFolder), Utf8(CurrentDirectory()));  // the option is not selected: no change
  ui::scripted::ScriptClick(ProjectFolderOption);
  step();
  EXPECT_EQ(Utf8(options().exportFolder), Utf8(path(u"a") + FolderSeparator()));
  ui::scripted::ScriptClick(ApplicationFolderOption);
  step();
  EXPECT_EQ(Utf8(options().exportFolder), Utf8(CurrentDirectory()));
  // Loading with "Application folder" selected leaves the folder alone.
  const Text second = copyProject(kProject, subFolder(u"b"), u"B.rpp");
  ui::scripted::ScriptClick(LoadButton);
  ui::scripted::ScriptChooseFile(second);
  step();
  EXPECT_EQ(Utf8(options().exportFolder), Utf8(CurrentDirectory()));
  EXPECT_TRUE(ui::scripted::MessageBoxes().empty());
}

TEST_F(shell, project_folder_option_follows_every_load_that_opens_its_file) {
  const Text folderA = subFolder(u"a");
  const Text folderB = subFolder(u"b");
  const Text projectA = copyProject(kProject, folderA, u"A.rpp");
  const Text projectB = copyProject(kOtherProject, folderB, u"B.rpp");
  startProgram();
  ui::scripted::ScriptClick(ProjectFolderOption);  // before any load: empty
  step();
  EXPECT_EQ(Utf8(options().exportFolder), "");

  ui::scripted::ScriptClick(LoadButton);  // the option is selected: the folder follows A
  ui::scripted::ScriptChooseFile(projectA);
  step();
  EXPECT_EQ(Utf8(options().exportFolder), Utf8(folderA));

  ui::scripted::ScriptClick(LoadButton);  // ... and then B
  ui::scripted::ScriptChooseFile(projectB);
  step();
  EXPECT_EQ(Utf8(options().exportFolder), Utf8(folderB));

  ui::scripted::ScriptClick(LoadButton);  // a cancel keeps B's folder
  ui::scripted::ScriptCancelRequester();
  step();
  EXPECT_EQ(Utf8(options().exportFolder), Utf8(folderB));

  ui::scripted::ScriptClick(LoadButton);  // a file that cannot be opened keeps it too
  ui::scripted::ScriptChooseFile(path(u"elsewhere/Missing.rpp"));
  step();
  EXPECT_EQ(Utf8(options().exportFolder), Utf8(folderB));
  EXPECT_EQ(OnlyMessage(), "Information|Couldn't open the file!");

  ui::scripted::ScriptClick(LoadButton);
  ui::scripted::ScriptChooseFile(projectB);
  step();
  ui::scripted::ScriptClick(ExportButton);  // B's report lands beside B, not beside A
  step();
  EXPECT_TRUE(FileExists(folderB + u"B.html"));
  EXPECT_FALSE(FileExists(folderA + u"B.html"));
  ASSERT_EQ(ui::scripted::OpenedDocuments().size(), 1u);
  EXPECT_EQ(Utf8(ui::scripted::OpenedDocuments()[0]), Utf8(folderB + u"B.html"));

  ui::scripted::ScriptClick(ProjectFolderOption);  // clicking the selected option again copies it again
  step();
  EXPECT_EQ(Utf8(options().exportFolder), Utf8(folderB));
}

TEST_F(shell, about_box_shows_five_lines) {
  ui::scripted::ScriptMenu(MenuAbout);
  runProgram();
  const auto& boxes = ui::scripted::MessageBoxes();
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
  EXPECT_EQ(ui::scripted::ScriptRunOuts(), 1);  // the loop went on until the script ended
}

// A project named on the command line (as a desktop's "Open with" passes it)
// loads before the first event, as if it had been chosen in the requester.
TEST_F(shell, a_project_named_on_the_command_line_loads_as_if_chosen) {
  const Text project = copyProject(kProject, subFolder(u"songs"), u"Song.rpp");
  ui::scripted::ScriptClick(ProjectFolderOption);
  ui::scripted::ScriptClick(ExportButton);
  runProgram(project);
  EXPECT_TRUE(ui::scripted::Requesters().empty());
  EXPECT_TRUE(ui::scripted::MessageBoxes().empty());
  EXPECT_EQ(Utf8(records().project.info.projectPath), Utf8(project));
  EXPECT_EQ(Utf8(records().project.info.projectName), "Song");
  EXPECT_FALSE(records().project.tracks.empty());
  // The first click already found the project's folder: it was loaded first.
  EXPECT_TRUE(FileExists(path(u"songs/Song.html")));
}

TEST_F(shell, a_relative_command_line_path_is_taken_from_the_current_directory) {
  copyProject(kProject, folder(), u"Here.rpp");
  const std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::current_path(std::filesystem::path(std::u16string(folder())));
  runProgram(u"Here.rpp");
  std::filesystem::current_path(previous);
  EXPECT_EQ(Utf8(records().project.info.projectPath), Utf8(folder() + u"Here.rpp"));
  EXPECT_EQ(Utf8(records().project.info.projectFolder), Utf8(folder()));
  EXPECT_TRUE(ui::scripted::MessageBoxes().empty());
}

TEST_F(shell, a_command_line_project_that_cannot_be_opened_shows_the_loads_message) {
  ui::scripted::ScriptClick(ExportButton);
  runProgram(path(u"absent.rpp"));
  const auto& boxes = ui::scripted::MessageBoxes();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(Utf8(boxes[0].caption) + "|" + Utf8(boxes[0].text), "Information|Couldn't open the file!");
  EXPECT_EQ(Utf8(boxes[1].text), "No data to export !");
  EXPECT_EQ(ui::scripted::Windows().size(), 1u) << "the window is open behind the message";
}

// A file that is not a REAPER project is refused as a file that cannot be
// opened: the message, and the project loaded before keeps its content.
TEST_F(shell, a_file_that_is_not_a_project_is_refused_and_the_previous_one_stays) {
  const Text project = copyProject(kProject, folder(), u"Song.rpp");
  writeFile(u"image.rpp", std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16));
  ui::scripted::ScriptClick(LoadButton);
  ui::scripted::ScriptChooseFile(project);
  ui::scripted::ScriptClick(LoadButton);
  ui::scripted::ScriptChooseFile(path(u"image.rpp"));
  ui::scripted::ScriptClick(ExportButton);
  runProgram();
  ASSERT_EQ(ui::scripted::MessageBoxes().size(), 2u);
  EXPECT_EQ(Utf8(ui::scripted::MessageBoxes()[0].text), "Couldn't open the file!");
  EXPECT_EQ(Utf8(ui::scripted::MessageBoxes()[1].text), "No data to export !");
  EXPECT_FALSE(records().project.tracks.empty());  // Song's tracks stay
  EXPECT_TRUE(ui::scripted::OpenedDocuments().empty());
}

