// Start-up: the main window's placement, its menu bar, the 21 controls with
// their layout and option groups, and the states they open with.
#include "shell_test_support.h"

#include "runtime/paths.h"

#include <algorithm>
#include <string>
#include <vector>

namespace {

using ui::scripted::ControlRecord;
using ui::scripted::kInWindow;

constexpr auto kLabel = ui::scripted::ControlKind::Label;
constexpr auto kPanel = ui::scripted::ControlKind::Panel;
constexpr auto kOption = ui::scripted::ControlKind::OptionButton;

// The toolkit call each kind of row must become.
ui::scripted::ControlKind RecordedKind(ControlKind kind) {
  switch (kind) {
    case ControlKind::PushButton: return ui::scripted::ControlKind::PushButton;
    case ControlKind::Panel: return kPanel;
    case ControlKind::Label: return kLabel;
    case ControlKind::Option: return kOption;
    case ControlKind::CheckBox: return ui::scripted::ControlKind::CheckBox;
  }
  return kLabel;
}

std::size_t IndexOf(const std::vector<std::string>& log, const std::string& line) {
  const auto it = std::find(log.begin(), log.end(), line);
  return static_cast<std::size_t>(it - log.begin());
}

}  // namespace

TEST_F(shell, creates_the_twenty_one_controls_of_the_table_in_order) {
  startProgram();
  const auto& controls = ui::scripted::Controls();
  ASSERT_EQ(controls.size(), 21u);
  ASSERT_EQ(controls.size(), std::size(kMainControls));
  for (std::size_t i = 0; i < controls.size(); ++i) {
    const ControlSpec& want = kMainControls[i];
    const ControlRecord& got = controls[i];
    SCOPED_TRACE("control #" + std::to_string(i) + " id " + std::to_string(want.id));
    EXPECT_EQ(got.id, want.id);
    EXPECT_EQ(got.kind, RecordedKind(want.kind));
    EXPECT_EQ(got.parent, want.parent == kWindowParent ? kInWindow : want.parent);
    EXPECT_EQ(got.x, want.x);
    EXPECT_EQ(got.y, want.y);
    EXPECT_EQ(got.width, want.width);
    EXPECT_EQ(got.height, want.height);
    EXPECT_EQ(Utf8(got.label), Utf8(want.label));
    EXPECT_EQ(got.order, static_cast<std::int32_t>(i));
  }
  EXPECT_EQ(ui::scripted::FindControl(3), nullptr);
}

TEST_F(shell, controls_fit_the_window_and_their_panels_and_focus_follows_creation_order) {
  startProgram();
  std::vector<std::int32_t> focusOrder;
  std::int32_t lowest = 0;
  std::int32_t rightmost = 0;
  for (const ControlRecord& control : ui::scripted::Controls()) {
    if (control.kind != kLabel && control.kind != kPanel) focusOrder.push_back(control.id);
    if (control.parent == kInWindow) {
      lowest = std::max(lowest, control.y + control.height);
      rightmost = std::max(rightmost, control.x + control.width);
      continue;
    }
    const ControlRecord* panel = ui::scripted::FindControl(control.parent);
    ASSERT_NE(panel, nullptr);
    // The table lets the second-level boxes (x 60, width 150) reach 10 units
    // past the panel's right edge, where the panel clips them; vertically
    // every child lies inside its panel.
    EXPECT_LE(control.x + control.width, panel->width + 10) << control.id;
    EXPECT_LE(control.y + control.height, panel->height) << control.id;
  }
  // The right margin is the left one; the bottom one leaves the menu bar its room.
  EXPECT_EQ(kMainWindowWidth - rightmost, kMainControls[0].x);
  EXPECT_EQ(kMainWindowHeight - lowest, 40);
  std::vector<std::int32_t> expectedFocus;
  for (const ControlSpec& spec : kMainControls)
    if (spec.kind != ControlKind::Label && spec.kind != ControlKind::Panel) expectedFocus.push_back(spec.id);
  EXPECT_EQ(focusOrder, expectedFocus);
}

TEST_F(shell, option_buttons_form_one_group_per_panel) {
  startProgram();
  const ControlRecord* application = ui::scripted::FindControl(ApplicationFolderOption);
  const ControlRecord* project = ui::scripted::FindControl(ProjectFolderOption);
  const ControlRecord* pluginsOnly = ui::scripted::FindControl(PluginsListOnlyOption);
  const ControlRecord* selected = ui::scripted::FindControl(SelectedOption);
  ASSERT_TRUE(application && project && pluginsOnly && selected);
  EXPECT_NE(application->group, ui::scripted::kNoGroup);
  EXPECT_EQ(application->group, project->group);
  EXPECT_EQ(pluginsOnly->group, selected->group);
  EXPECT_NE(application->group, selected->group);
  for (const ControlRecord& control : ui::scripted::Controls()) {
    if (control.kind == kOption) continue;
    EXPECT_EQ(control.group, ui::scripted::kNoGroup) << control.id;
  }
}

TEST_F(shell, opens_with_the_initial_states_and_counts_without_raising_events) {
  startProgram();
  EXPECT_EQ(stateOf(ApplicationFolderOption), 1);
  EXPECT_EQ(stateOf(ProjectFolderOption), 0);
  EXPECT_EQ(stateOf(PluginsListOnlyOption), 0);
  EXPECT_EQ(stateOf(SelectedOption), 1);
  for (std::int32_t id = CommonDataCheck; id <= TrackPluginsCheck; ++id) EXPECT_EQ(stateOf(id), 1) << id;
  // The counts agree with the boxes the window shows checked.
  const auto checked = [](const auto& subBoxes) {
    std::int64_t count = 0;
    for (std::int32_t id : subBoxes) count += stateOf(id);
    return count;
  };
  EXPECT_EQ(options().masterCheckedCount, checked(kMasterSubBoxes));
  EXPECT_EQ(options().trackCheckedCount, checked(kTrackSubBoxes));
  EXPECT_EQ(Utf8(options().exportFolder), Utf8(CurrentDirectory()));
  EXPECT_FALSE(records().quitRequested);
  EXPECT_TRUE(records().project.info.projectPath.empty());
  EXPECT_EQ(records().project.lineCount(), 0);
  EXPECT_TRUE(ui::scripted::DeliveredEvents().empty());
  EXPECT_TRUE(ui::scripted::MessageBoxes().empty());
}

TEST_F(shell, sets_the_initial_states_in_order_after_each_panel_is_closed) {
  startProgram();
  std::vector<std::pair<std::int32_t, std::int32_t>> changes;
  for (const auto& change : ui::scripted::StateChanges()) {
    EXPECT_FALSE(change.byUser);
    changes.emplace_back(change.id, change.state);
  }
  const std::vector<std::pair<std::int32_t, std::int32_t>> expected{
      {7, 1},  {21, 1}, {10, 1}, {21, 0}, {11, 1}, {12, 1}, {13, 1},
      {14, 1}, {15, 1}, {17, 1}, {18, 1}, {19, 1}, {16, 1}, {20, 1}};
  EXPECT_EQ(changes, expected);

  const auto& log = ui::scripted::CallLog();
  const std::size_t firstEnd = IndexOf(log, "EndPanel");
  const std::size_t selectApplication = IndexOf(log, "WriteControlState 7 1");
  const std::size_t secondPanel = IndexOf(log, "BeginPanel 8");
  const std::size_t lastCheck = IndexOf(log, "AddCheckBox 20");
  const std::size_t selectPluginsOnly = IndexOf(log, "WriteControlState 21 1");
  ASSERT_LT(secondPanel, log.size());
  EXPECT_LT(firstEnd, selectApplication);
  EXPECT_LT(selectApplication, secondPanel);
  EXPECT_LT(lastCheck, selectPluginsOnly);
  EXPECT_EQ(log[selectPluginsOnly - 1], "EndPanel");
}

TEST_F(shell, opens_the_main_window_centred_on_display_zero) {
  ui::scripted::SetDisplays({{0, 0, 1920, 1080}, {-800, 0, 800, 600}});
  startProgram();
  const auto& windows = ui::scripted::Windows();
  ASSERT_EQ(windows.size(), 1u);
  EXPECT_EQ(windows[0].number, kMainWindow);
  EXPECT_EQ(windows[0].x, (1920 - kMainWindowWidth) / 2);
  EXPECT_EQ(windows[0].y, (1080 - kMainWindowHeight) / 2);
  EXPECT_EQ(windows[0].width, kMainWindowWidth);
  EXPECT_EQ(windows[0].height, kMainWindowHeight);
  EXPECT_EQ(Utf8(windows[0].title), "Quorvel");
  // The toolkit comes up before the window; the displays are asked before it opens.
  const auto& log = ui::scripted::CallLog();
  EXPECT_EQ(log.front(), "InitializeToolkit");
  EXPECT_EQ(log[1], "CreateTopWindow 0");
}

TEST_F(shell, centres_the_window_at_every_screen_scale) {
  // 1920 x 1080 pixels at 144 dots per inch are 1280 x 720 units.
  ui::scripted::SetDisplays({{0, 0, 1920, 1080}});
  ui::scripted::SetScreenDotsPerInch(144);
  startProgram();
  ASSERT_EQ(ui::scripted::Windows().size(), 1u);
  EXPECT_EQ(ui::scripted::Windows()[0].x, (1280 - kMainWindowWidth) / 2);
  EXPECT_EQ(ui::scripted::Windows()[0].y, (720 - kMainWindowHeight) / 2);
  EXPECT_EQ(mainWindowPlacement(0, 0, 1280, 800, 120).x, (1024 - kMainWindowWidth) / 2);  // 1024 units wide
}

// The primary display need not stand at (0, 0), and panels and docks take
// part of it: the window is centred on what is left, where it is.
TEST_F(shell, centres_the_window_on_the_primary_displays_area_wherever_it_stands) {
  struct Case {
    ui::DisplayRect area;
    std::int32_t dotsPerInch;
    std::int32_t x, y;
  };
  // The window's offset on a display of 1920 x 1080 and of 1280 x 1024 units.
  constexpr std::int32_t kWideX = (1920 - kMainWindowWidth) / 2;
  constexpr std::int32_t kWideY = (1080 - kMainWindowHeight) / 2;
  constexpr std::int32_t kSquareX = (1280 - kMainWindowWidth) / 2;
  constexpr std::int32_t kSquareY = (1024 - kMainWindowHeight) / 2;
  const Case cases[] = {
      {{1920, 0, 1920, 1080}, 96, 1920 + kWideX, kWideY},     // the right one of two screens
      {{0, 1080, 1280, 1024}, 96, kSquareX, 1080 + kSquareY},  // below another one
      {{-1280, -200, 1280, 1024}, 96, -1280 + kSquareX, -200 + kSquareY},
      {{0, 32, 1920, 1048}, 96, kWideX, 32 + (1048 - kMainWindowHeight) / 2},  // a top bar of 32 pixels
      {{2880, 0, 2880, 1620}, 144, 1920 + kWideX, kWideY},  // at 144 dots per inch: units throughout
  };
  for (const Case& c : cases) {
    const WindowPlacement placement =
        mainWindowPlacement(c.area.x, c.area.y, c.area.width, c.area.height, c.dotsPerInch);
    EXPECT_EQ(placement.x, c.x) << c.area.x << "," << c.area.y;
    EXPECT_EQ(placement.y, c.y) << c.area.x << "," << c.area.y;
  }
  ui::scripted::SetDisplays({{1920, 0, 1920, 1080}, {0, 0, 1920, 1080}});
  startProgram();
  ASSERT_EQ(ui::scripted::Windows().size(), 1u);
  EXPECT_EQ(ui::scripted::Windows()[0].x, 1920 + (1920 - kMainWindowWidth) / 2)
      << "display 0, the primary one, not the one at (0, 0)";
  EXPECT_EQ(ui::scripted::Windows()[0].y, (1080 - kMainWindowHeight) / 2);
}

TEST_F(shell, places_the_window_at_negative_positions_on_a_small_display) {
  ui::scripted::SetDisplays({{0, 0, kMainWindowWidth - 59, kMainWindowHeight - 140}});
  startProgram();
  ASSERT_EQ(ui::scripted::Windows().size(), 1u);
  EXPECT_EQ(ui::scripted::Windows()[0].x, -29);   // -59 / 2, truncated toward zero
  EXPECT_EQ(ui::scripted::Windows()[0].y, -70);

  const WindowPlacement odd = mainWindowPlacement(0, 0, kMainWindowWidth + 1, kMainWindowHeight + 1);
  EXPECT_EQ(odd.x, 0);
  EXPECT_EQ(odd.y, 0);
  const WindowPlacement none = mainWindowPlacement(0, 0, 0, 0);
  EXPECT_EQ(none.x, -kMainWindowWidth / 2);
  EXPECT_EQ(none.y, -kMainWindowHeight / 2);
  EXPECT_EQ(none.width, kMainWindowWidth);
  EXPECT_EQ(none.height, kMainWindowHeight);
}

TEST_F(shell, without_any_display_the_window_still_opens) {
  ui::scripted::SetDisplays({});
  startProgram();
  ASSERT_EQ(ui::scripted::Windows().size(), 1u);
  EXPECT_EQ(ui::scripted::Windows()[0].x, -kMainWindowWidth / 2);
  EXPECT_EQ(ui::scripted::Windows()[0].y, -kMainWindowHeight / 2);
}

TEST_F(shell, builds_the_file_and_help_menus) {
  startProgram();
  ASSERT_TRUE(ui::scripted::Windows()[0].hasMenuBar);
  const auto& entries = ui::scripted::MenuEntries();
  ASSERT_EQ(entries.size(), 4u);
  EXPECT_EQ(Utf8(entries[0].heading), "File");
  EXPECT_EQ(entries[0].id, MenuOpen);
  EXPECT_EQ(Utf8(entries[0].text), "&Open...");
  EXPECT_EQ(entries[0].controlKey, u'O');
  EXPECT_EQ(Utf8(entries[1].heading), "File");
  EXPECT_TRUE(entries[1].separator);
  EXPECT_EQ(Utf8(entries[2].heading), "File");
  EXPECT_EQ(entries[2].id, MenuQuit);
  EXPECT_EQ(Utf8(entries[2].text), "&Quit");
  EXPECT_EQ(entries[2].controlKey, u'Q');
  EXPECT_EQ(Utf8(entries[3].heading), "Help");
  EXPECT_EQ(entries[3].id, MenuAbout);
  EXPECT_EQ(Utf8(entries[3].text), "&About...");
  EXPECT_EQ(entries[3].controlKey, 0);
  EXPECT_FALSE(entries[0].separator || entries[2].separator || entries[3].separator);
}

TEST_F(shell, without_a_menu_bar_the_buttons_still_work) {
  ui::scripted::SetMenuBarFails(true);
  ui::scripted::ScriptMenu(MenuAbout);  // no menu: nothing happens
  ui::scripted::ScriptClick(ExportButton);
  ui::scripted::ScriptClick(QuitButton);
  ui::scripted::ScriptClick(ExportButton);
  runProgram();
  EXPECT_TRUE(ui::scripted::MenuEntries().empty());
  EXPECT_EQ(ui::scripted::Controls().size(), 21u);
  ASSERT_EQ(ui::scripted::MessageBoxes().size(), 1u);
  EXPECT_EQ(Utf8(ui::scripted::MessageBoxes()[0].text), "No data to export !");
  EXPECT_EQ(ui::scripted::PendingActions(), 1u);
  EXPECT_EQ(ui::scripted::ScriptRunOuts(), 0);
}

TEST_F(shell, a_window_that_cannot_open_ends_the_program_at_once) {
  ui::scripted::SetWindowCreationFails(true);
  ui::scripted::ScriptClick(LoadButton);
  runProgram();
  EXPECT_TRUE(ui::scripted::Controls().empty());
  EXPECT_TRUE(ui::scripted::MenuEntries().empty());
  EXPECT_TRUE(ui::scripted::DeliveredEvents().empty());
  EXPECT_TRUE(ui::scripted::MessageBoxes().empty());
  EXPECT_EQ(ui::scripted::ShutdownCount(), 1);
  EXPECT_FALSE(ui::scripted::Initialized());
  EXPECT_EQ(ui::scripted::PendingActions(), 1u);
}

TEST_F(shell, a_toolkit_that_cannot_start_ends_the_program_without_a_window) {
  ui::scripted::SetInitializeFails(true);
  EXPECT_EQ(runQuorvel(u"song.rpp"), ShellEnd::NoUserInterface);
  EXPECT_TRUE(ui::scripted::Windows().empty());
  EXPECT_TRUE(ui::scripted::MessageBoxes().empty());
  EXPECT_TRUE(records().project.info.projectPath.empty()) << "nothing is loaded without a window";
  EXPECT_TRUE(ui::scripted::DeliveredEvents().empty());
  EXPECT_EQ(ui::scripted::ShutdownCount(), 1);
}
