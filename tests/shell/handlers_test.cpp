// The event loop's handlers: quitting, ignored events, the export-folder
// options and the consistency of the "Data to export ?" check boxes.
#include "shell_test_support.h"

#include "runtime/paths.h"

#include <random>
#include <string>

namespace {

std::int32_t CountChecked(std::initializer_list<std::int32_t> ids) {
  std::int32_t n = 0;
  for (std::int32_t id : ids) n += ui::ReadControlState(id);
  return n;
}

}  // namespace

TEST_F(shell, quit_menu_entry_ends_the_loop_before_later_actions) {
  ui::scripted::ScriptMenu(MenuQuit);
  ui::scripted::ScriptClick(ExportButton);
  runProgram();
  EXPECT_TRUE(records().quitRequested);
  EXPECT_EQ(ui::scripted::DeliveredEvents().size(), 1u);
  EXPECT_EQ(ui::scripted::PendingActions(), 1u);
  EXPECT_EQ(ui::scripted::ScriptRunOuts(), 0);
  EXPECT_TRUE(ui::scripted::MessageBoxes().empty());
  EXPECT_EQ(ui::scripted::ShutdownCount(), 1);
  EXPECT_EQ(ui::scripted::CallLog().back(), "ShutdownToolkit");
}

TEST_F(shell, quit_button_ends_the_loop) {
  ui::scripted::ScriptClick(QuitButton);
  ui::scripted::ScriptMenu(MenuAbout);
  runProgram();
  EXPECT_EQ(ui::scripted::DeliveredEvents().size(), 1u);
  EXPECT_EQ(ui::scripted::PendingActions(), 1u);
  EXPECT_EQ(ui::scripted::ScriptRunOuts(), 0);
  EXPECT_TRUE(ui::scripted::MessageBoxes().empty());
}

TEST_F(shell, close_box_ends_the_loop_even_with_a_project_loaded_and_not_exported) {
  const Text project = copyProject(kProject, folder(), u"Song.rpp");
  ui::scripted::ScriptClick(LoadButton);
  ui::scripted::ScriptChooseFile(project);
  ui::scripted::ScriptCloseBox();
  ui::scripted::ScriptClick(ExportButton);
  runProgram();
  EXPECT_EQ(Utf8(records().project.info.projectPath), Utf8(project));
  EXPECT_EQ(ui::scripted::DeliveredEvents().size(), 2u);
  EXPECT_EQ(ui::scripted::DeliveredEvents().back().kind, ui::CloseWindowEvent);
  EXPECT_EQ(ui::scripted::PendingActions(), 1u);
  EXPECT_EQ(ui::scripted::ScriptRunOuts(), 0);
  EXPECT_TRUE(ui::scripted::MessageBoxes().empty());
  EXPECT_TRUE(ui::scripted::OpenedDocuments().empty());
  EXPECT_FALSE(FileExists(path(u"Song.html")));
}

TEST_F(shell, ignores_unknown_events_menu_entries_and_controls) {
  ui::scripted::ScriptEvent(4242, LoadButton);            // an unknown kind
  ui::scripted::ScriptEvent(ui::MenuEvent, 2);            // there is no menu entry 2
  ui::scripted::ScriptEvent(ui::MenuEvent, 99);
  for (std::int32_t id : {3, 4, 5, 8, 9, 22, -1}) ui::scripted::ScriptEvent(ui::ControlEvent, id);
  ui::scripted::ScriptClick(DestinationLabel);            // labels and panels raise nothing
  ui::scripted::ScriptClick(DataPanel);
  ui::scripted::ScriptMenu(2);
  runProgram();
  EXPECT_EQ(ui::scripted::DeliveredEvents().size(), 11u);  // 10 scripted + the closing one
  EXPECT_EQ(ui::scripted::ScriptRunOuts(), 1);
  EXPECT_TRUE(ui::scripted::MessageBoxes().empty());
  EXPECT_TRUE(ui::scripted::Requesters().empty());
  EXPECT_EQ(Utf8(options().exportFolder), Utf8(CurrentDirectory()));
  EXPECT_EQ(options().masterCheckedCount, 2);
  EXPECT_EQ(options().trackCheckedCount, 5);
  for (const auto& change : ui::scripted::StateChanges()) EXPECT_FALSE(change.byUser) << change.id;
}

TEST_F(shell, data_options_and_common_data_change_nothing_but_themselves) {
  startProgram();
  ui::scripted::ScriptClick(PluginsListOnlyOption);
  step();
  EXPECT_EQ(stateOf(PluginsListOnlyOption), 1);
  EXPECT_EQ(stateOf(SelectedOption), 0);
  ui::scripted::ScriptClick(CommonDataCheck);
  step();
  EXPECT_EQ(stateOf(CommonDataCheck), 0);
  ui::scripted::ScriptClick(SelectedOption);
  step();
  EXPECT_EQ(stateOf(PluginsListOnlyOption), 0);
  EXPECT_EQ(stateOf(SelectedOption), 1);
  for (std::int32_t id = MasterCheck; id <= TrackPluginsCheck; ++id) EXPECT_EQ(stateOf(id), 1) << id;
  EXPECT_EQ(stateOf(ApplicationFolderOption), 1);
  EXPECT_EQ(options().masterCheckedCount, 2);
  EXPECT_EQ(options().trackCheckedCount, 5);
  EXPECT_EQ(Utf8(options().exportFolder), Utf8(CurrentDirectory()));
  EXPECT_FALSE(records().quitRequested);
}

TEST_F(shell, master_box_follows_its_two_sub_boxes) {
  startProgram();
  ui::scripted::ScriptClick(MasterCheck);  // uncheck: both sub-boxes follow
  step();
  EXPECT_EQ(stateOf(MasterCheck), 0);
  EXPECT_EQ(stateOf(MasterVolumeCheck), 0);
  EXPECT_EQ(stateOf(MasterPluginsCheck), 0);
  EXPECT_EQ(options().masterCheckedCount, 0);

  ui::scripted::ScriptClick(MasterVolumeCheck);  // one of two: Master stays unchecked
  step();
  EXPECT_EQ(stateOf(MasterVolumeCheck), 1);
  EXPECT_EQ(stateOf(MasterCheck), 0);
  EXPECT_EQ(options().masterCheckedCount, 1);

  ui::scripted::ScriptClick(MasterPluginsCheck);  // both: Master checked
  step();
  EXPECT_EQ(stateOf(MasterCheck), 1);
  EXPECT_EQ(options().masterCheckedCount, 2);

  ui::scripted::ScriptClick(MasterPluginsCheck);
  step();
  EXPECT_EQ(stateOf(MasterCheck), 0);
  ui::scripted::ScriptClick(MasterCheck);  // check: both sub-boxes follow
  step();
  EXPECT_EQ(stateOf(MasterVolumeCheck), 1);
  EXPECT_EQ(stateOf(MasterPluginsCheck), 1);
  EXPECT_EQ(options().masterCheckedCount, 2);
  // The Track boxes are not touched.
  EXPECT_EQ(CountChecked({TrackCheck, TrackVolumeCheck, TrackPanCheck, TrackMuteCheck, TrackSoloCheck,
                          TrackPluginsCheck}),
            6);
}

TEST_F(shell, track_box_follows_its_five_sub_boxes) {
  startProgram();
  ui::scripted::ScriptClick(TrackPanCheck);  // one of five unchecked: Track unchecked
  step();
  EXPECT_EQ(stateOf(TrackPanCheck), 0);
  EXPECT_EQ(stateOf(TrackCheck), 0);
  EXPECT_EQ(options().trackCheckedCount, 4);

  ui::scripted::ScriptClick(TrackCheck);  // checking Track checks all five again
  step();
  EXPECT_EQ(stateOf(TrackCheck), 1);
  for (std::int32_t id : kTrackSubBoxes) EXPECT_EQ(stateOf(id), 1) << id;
  EXPECT_EQ(options().trackCheckedCount, 5);

  ui::scripted::ScriptClick(TrackCheck);  // unchecking Track unchecks all five, in order
  const std::size_t before = ui::scripted::StateChanges().size();
  step();
  for (std::int32_t id : kTrackSubBoxes) EXPECT_EQ(stateOf(id), 0) << id;
  EXPECT_EQ(options().trackCheckedCount, 0);
  const auto& changes = ui::scripted::StateChanges();
  ASSERT_EQ(changes.size(), before + 6);
  EXPECT_EQ(changes[before].id, TrackCheck);
  for (std::size_t i = 0; i < 5; ++i) {
    EXPECT_EQ(changes[before + 1 + i].id, kTrackSubBoxes[i]);
    EXPECT_FALSE(changes[before + 1 + i].byUser);
  }

  for (std::int32_t id : {TrackVolumeCheck, TrackPanCheck, TrackMuteCheck, TrackSoloCheck}) {
    ui::scripted::ScriptClick(id);
    step();
    EXPECT_EQ(stateOf(TrackCheck), 0) << id;
  }
  ui::scripted::ScriptClick(TrackPluginsCheck);
  step();
  EXPECT_EQ(stateOf(TrackCheck), 1);
  EXPECT_EQ(options().trackCheckedCount, 5);
  EXPECT_EQ(CountChecked({MasterCheck, MasterVolumeCheck, MasterPluginsCheck}), 3);
}

TEST_F(shell, check_box_invariants_hold_over_long_random_click_sequences) {
  for (std::uint32_t seed : {1u, 7u, 2025u}) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    ui::scripted::ResetScriptedToolkit();
    resetShellRecords();
    startProgram();
    std::mt19937 random(seed);
    // Every option and check box; never Load, Export or Quit, nor the labels
    // and panels, which raise no event.
    const std::int32_t clickable[] = {ProjectFolderOption, ApplicationFolderOption, SelectedOption,
                                      CommonDataCheck, MasterCheck, MasterVolumeCheck, MasterPluginsCheck,
                                      TrackCheck, TrackVolumeCheck, TrackPanCheck, TrackMuteCheck,
                                      TrackSoloCheck, TrackPluginsCheck, PluginsListOnlyOption};
    std::uniform_int_distribution<std::size_t> pick(0, std::size(clickable) - 1);
    for (int click = 0; click < 3000; ++click) {
      const std::int32_t id = clickable[pick(random)];
      ui::scripted::ScriptClick(id);
      step();
      const std::int32_t master = CountChecked({MasterVolumeCheck, MasterPluginsCheck});
      const std::int32_t track =
          CountChecked({TrackVolumeCheck, TrackPanCheck, TrackMuteCheck, TrackSoloCheck, TrackPluginsCheck});
      ASSERT_EQ(options().masterCheckedCount, master) << "after click " << click << " on " << id;
      ASSERT_EQ(options().trackCheckedCount, track) << "after click " << click << " on " << id;
      ASSERT_EQ(stateOf(MasterCheck), master == 2 ? 1 : 0) << "after click " << click << " on " << id;
      ASSERT_EQ(stateOf(TrackCheck), track == 5 ? 1 : 0) << "after click " << click << " on " << id;
      ASSERT_EQ(stateOf(ApplicationFolderOption) + stateOf(ProjectFolderOption), 1);
      ASSERT_EQ(stateOf(PluginsListOnlyOption) + stateOf(SelectedOption), 1);
    }
    EXPECT_FALSE(records().quitRequested);
    EXPECT_EQ(ui::scripted::ScriptRunOuts(), 0);
    EXPECT_TRUE(ui::scripted::MessageBoxes().empty());
  }
}

TEST_F(shell, folder_options_before_any_load) {
  startProgram();
  ui::scripted::ScriptClick(ProjectFolderOption);  // no project: the folder is empty
  step();
  EXPECT_EQ(stateOf(ProjectFolderOption), 1);
  EXPECT_EQ(stateOf(ApplicationFolderOption), 0);
  EXPECT_EQ(Utf8(options().exportFolder), "");
  ui::scripted::ScriptClick(ApplicationFolderOption);
  step();
  EXPECT_EQ(stateOf(ApplicationFolderOption), 1);
  EXPECT_EQ(stateOf(ProjectFolderOption), 0);
  EXPECT_EQ(Utf8(options().exportFolder), Utf8(CurrentDirectory()));
  ASSERT_FALSE(options().exportFolder.empty());
  EXPECT_EQ(options().exportFolder.back(), FolderSeparator());
}
