// Start-up: the main window's placement, its menu bar, the 21 controls with
// their layout and option groups, and the states they open with.
#include "shell_test_support.h"

#include "runtime/paths.h"

#include <algorithm>
#include <string>
#include <vector>

namespace {

using ui::headless::ControlKind;
using ui::headless::ControlRecord;
using ui::headless::kWindowParent;

struct ExpectedControl {
  std::int32_t id;
  ControlKind kind;
  std::int32_t parent;
  std::int32_t x, y, width, height;
  std::u16string_view label;
};

constexpr ControlKind Button = ControlKind::PushButton;
constexpr ControlKind Panel = ControlKind::Panel;
constexpr ControlKind Label = ControlKind::Label;
constexpr ControlKind Option = ControlKind::OptionButton;
constexpr ControlKind Check = ControlKind::CheckBox;

// In creation order.
const ExpectedControl kControlTable[] = {
    {LoadButton, Button, kWindowParent, 20, 20, 200, 60, u"Load Reaper Project *.RPP"},
    {ExportButton, Button, kWindowParent, 20, 100, 200, 60, u"Export HTML file"},
    {QuitButton, Button, kWindowParent, 20, 180, 200, 60, u"Quit"},
    {DestinationPanel, Panel, kWindowParent, 240, 20, 200, 80, u""},
    {DestinationLabel, Label, DestinationPanel, 10, 10, 150, 20, u"Where to export HTML file ?"},
    {ApplicationFolderOption, Option, DestinationPanel, 10, 30, 150, 20, u"Application folder"},
    {ProjectFolderOption, Option, DestinationPanel, 10, 50, 150, 20, u"Reaper File Project folder"},
    {DataPanel, Panel, kWindowParent, 240, 120, 200, 280, u""},
    {DataLabel, Label, DataPanel, 10, 10, 150, 20, u"Data to export ?"},
    {PluginsListOnlyOption, Option, DataPanel, 10, 30, 150, 20, u"Plugins list only !"},
    {SelectedOption, Option, DataPanel, 10, 50, 150, 20, u"Selected"},
    {CommonDataCheck, Check, DataPanel, 30, 70, 150, 20, u"Reaper common data"},
    {MasterCheck, Check, DataPanel, 30, 90, 150, 20, u"Master"},
    {MasterVolumeCheck, Check, DataPanel, 60, 110, 150, 20, u"Volume"},
    {MasterPluginsCheck, Check, DataPanel, 60, 130, 150, 20, u"Plugins"},
    {TrackCheck, Check, DataPanel, 30, 150, 150, 20, u"Track"},
    {TrackVolumeCheck, Check, DataPanel, 60, 170, 150, 20, u"Volume"},
    {TrackPanCheck, Check, DataPanel, 60, 190, 150, 20, u"Pan"},
    {TrackMuteCheck, Check, DataPanel, 60, 210, 150, 20, u"Mute"},
    {TrackSoloCheck, Check, DataPanel, 60, 230, 150, 20, u"Solo"},
    {TrackPluginsCheck, Check, DataPanel, 60, 250, 150, 20, u"Plugins"},
};

std::size_t IndexOf(const std::vector<std::string>& log, const std::string& line) {
  const auto it = std::find(log.begin(), log.end(), line);
  return static_cast<std::size_t>(it - log.begin());
}

}  // namespace

TEST_F(shell, creates_the_twenty_one_controls_of_the_table_in_order) {
  StartProgram();
  const auto& controls = ui::headless::Controls();
  ASSERT_EQ(controls.size(), std::size(kControlTable));
  for (std::size_t i = 0; i < controls.size(); ++i) {
    const ExpectedControl& want = kControlTable[i];
    const ControlRecord& got = controls[i];
    SCOPED_TRACE("control #" + std::to_string(i) + " id " + std::to_string(want.id));
    EXPECT_EQ(got.id, want.id);
    EXPECT_EQ(got.kind, want.kind);
    EXPECT_EQ(got.parent, want.parent);
    EXPECT_EQ(got.x, want.x);
    EXPECT_EQ(got.y, want.y);
    EXPECT_EQ(got.width, want.width);
    EXPECT_EQ(got.height, want.height);
    EXPECT_EQ(Utf8(got.label), Utf8(want.label));
    EXPECT_EQ(got.order, static_cast<std::int32_t>(i));
  }
  EXPECT_EQ(ui::headless::FindControl(3), nullptr);
}

TEST_F(shell, controls_fit_the_window_and_their_panels_and_focus_follows_creation_order) {
  StartProgram();
  std::vector<std::int32_t> focusOrder;
  std::int32_t lowest = 0;
  std::int32_t rightmost = 0;
  for (const ControlRecord& control : ui::headless::Controls()) {
    if (control.kind != Label && control.kind != Panel) focusOrder.push_back(control.id);
    if (control.parent == kWindowParent) {
      lowest = std::max(lowest, control.y + control.height);
      rightmost = std::max(rightmost, control.x + control.width);
      continue;
    }
    const ControlRecord* panel = ui::headless::FindControl(control.parent);
    ASSERT_NE(panel, nullptr);
    // The table lets the second-level boxes (x 60, width 150) reach 10 units
    // past the panel's right edge, where the panel clips them; vertically
    // every child lies inside its panel.
    EXPECT_LE(control.x + control.width, panel->width + 10) << control.id;
    EXPECT_LE(control.y + control.height, panel->height) << control.id;
  }
  EXPECT_EQ(lowest, 400);
  EXPECT_EQ(rightmost, 440);
  EXPECT_LE(lowest + 40, kMainWindowHeight);
  const std::vector<std::int32_t> expectedFocus{0, 1, 2, 7, 6, 21, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20};
  EXPECT_EQ(focusOrder, expectedFocus);
}

TEST_F(shell, option_buttons_form_one_group_per_panel) {
  StartProgram();
  const ControlRecord* application = ui::headless::FindControl(ApplicationFolderOption);
  const ControlRecord* project = ui::headless::FindControl(ProjectFolderOption);
  const ControlRecord* pluginsOnly = ui::headless::FindControl(PluginsListOnlyOption);
  const ControlRecord* selected = ui::headless::FindControl(SelectedOption);
  ASSERT_TRUE(application && project && pluginsOnly && selected);
  EXPECT_NE(application->group, ui::headless::kNoGroup);
  EXPECT_EQ(application->group, project->group);
  EXPECT_EQ(pluginsOnly->group, selected->group);
  EXPECT_NE(application->group, selected->group);
  for (const ControlRecord& control : ui::headless::Controls()) {
    if (control.kind == Option) continue;
    EXPECT_EQ(control.group, ui::headless::kNoGroup) << control.id;
  }
}

TEST_F(shell, opens_with_the_initial_states_and_counts_without_raising_events) {
  StartProgram();
  EXPECT_EQ(StateOf(ApplicationFolderOption), 1);
  EXPECT_EQ(StateOf(ProjectFolderOption), 0);
  EXPECT_EQ(StateOf(PluginsListOnlyOption), 0);
  EXPECT_EQ(StateOf(SelectedOption), 1);
  for (std::int32_t id = CommonDataCheck; id <= TrackPluginsCheck; ++id) EXPECT_EQ(StateOf(id), 1) << id;
  EXPECT_EQ(options().masterCheckedCount, 2);
  EXPECT_EQ(options().trackCheckedCount, 5);
  EXPECT_EQ(Utf8(options().exportFolder), Utf8(CurrentDirectory()));
  EXPECT_FALSE(records().quitRequested);
  EXPECT_TRUE(records().project.info.projectPath.empty());
  EXPECT_EQ(records().project.lineCount(), 0);
  EXPECT_TRUE(ui::headless::DeliveredEvents().empty());
  EXPECT_TRUE(ui::headless::MessageBoxes().empty());
}

TEST_F(shell, sets_the_initial_states_in_order_after_each_panel_is_closed) {
  StartProgram();
  std::vector<std::pair<std::int32_t, std::int32_t>> changes;
  for (const auto& change : ui::headless::StateChanges()) {
    EXPECT_FALSE(change.byUser);
    changes.emplace_back(change.id, change.state);
  }
  const std::vector<std::pair<std::int32_t, std::int32_t>> expected{
      {7, 1},  {21, 1}, {10, 1}, {21, 0}, {11, 1}, {12, 1}, {13, 1},
      {14, 1}, {15, 1}, {17, 1}, {18, 1}, {19, 1}, {16, 1}, {20, 1}};
  EXPECT_EQ(changes, expected);

  const auto& log = ui::headless::CallLog();
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
  ui::headless::SetDisplays({{1920, 1080}, {800, 600}});
  StartProgram();
  const auto& windows = ui::headless::Windows();
  ASSERT_EQ(windows.size(), 1u);
  EXPECT_EQ(windows[0].number, MainWindow);
  EXPECT_EQ(windows[0].x, 730);
  EXPECT_EQ(windows[0].y, 320);
  EXPECT_EQ(windows[0].width, 460);
  EXPECT_EQ(windows[0].height, 440);
  EXPECT_EQ(Utf8(windows[0].title), "Quorvel");
  // The toolkit comes up before the window; the displays are asked before it opens.
  const auto& log = ui::headless::CallLog();
  EXPECT_EQ(log.front(), "InitializeToolkit");
  EXPECT_EQ(log[1], "CreateTopWindow 0");
}

TEST_F(shell, centres_the_window_at_every_screen_scale) {
  // 1920 x 1080 pixels at 144 dots per inch are 1280 x 720 units.
  ui::headless::SetDisplays({{1920, 1080}});
  ui::headless::SetScreenDotsPerInch(144);
  StartProgram();
  ASSERT_EQ(ui::headless::Windows().size(), 1u);
  EXPECT_EQ(ui::headless::Windows()[0].x, 410);
  EXPECT_EQ(ui::headless::Windows()[0].y, 140);
  EXPECT_EQ(mainWindowPlacement(1280, 800, 120).x, 282);  // 1024 units wide
}

TEST_F(shell, places_the_window_at_negative_positions_on_a_small_display) {
  ui::headless::SetDisplays({{401, 300}});
  StartProgram();
  ASSERT_EQ(ui::headless::Windows().size(), 1u);
  EXPECT_EQ(ui::headless::Windows()[0].x, -29);   // -59 / 2, truncated toward zero
  EXPECT_EQ(ui::headless::Windows()[0].y, -70);

  const WindowPlacement odd = mainWindowPlacement(461, 441);
  EXPECT_EQ(odd.x, 0);
  EXPECT_EQ(odd.y, 0);
  const WindowPlacement none = mainWindowPlacement(0, 0);
  EXPECT_EQ(none.x, -230);
  EXPECT_EQ(none.y, -220);
  EXPECT_EQ(none.width, 460);
  EXPECT_EQ(none.height, 440);
}

TEST_F(shell, without_any_display_the_window_still_opens) {
  ui::headless::SetDisplays({});
  StartProgram();
  ASSERT_EQ(ui::headless::Windows().size(), 1u);
  EXPECT_EQ(ui::headless::Windows()[0].x, -230);
  EXPECT_EQ(ui::headless::Windows()[0].y, -220);
}

TEST_F(shell, builds_the_file_and_help_menus) {
  StartProgram();
  ASSERT_TRUE(ui::headless::Windows()[0].hasMenuBar);
  const auto& entries = ui::headless::MenuEntries();
  ASSERT_EQ(entries.size(), 4u);
  EXPECT_EQ(Utf8(entries[0].heading), "File");
  EXPECT_EQ(entries[0].id, MenuOpen);
  EXPECT_EQ(Utf8(entries[0].text), "&Open...");
  EXPECT_EQ(Utf8(entries[1].heading), "File");
  EXPECT_TRUE(entries[1].separator);
  EXPECT_EQ(Utf8(entries[2].heading), "File");
  EXPECT_EQ(entries[2].id, MenuQuit);
  EXPECT_EQ(Utf8(entries[2].text), "&Quit");
  EXPECT_EQ(Utf8(entries[3].heading), "Help");
  EXPECT_EQ(entries[3].id, MenuAbout);
  EXPECT_EQ(Utf8(entries[3].text), "&About...");
  EXPECT_FALSE(entries[0].separator || entries[2].separator || entries[3].separator);
}

TEST_F(shell, without_a_menu_bar_the_buttons_still_work) {
  ui::headless::SetMenuBarFails(true);
  ui::headless::ScriptMenu(MenuAbout);  // no menu: nothing happens
  ui::headless::ScriptClick(ExportButton);
  ui::headless::ScriptClick(QuitButton);
  ui::headless::ScriptClick(ExportButton);
  RunProgram();
  EXPECT_TRUE(ui::headless::MenuEntries().empty());
  EXPECT_EQ(ui::headless::Controls().size(), 21u);
  ASSERT_EQ(ui::headless::MessageBoxes().size(), 1u);
  EXPECT_EQ(Utf8(ui::headless::MessageBoxes()[0].text), "No data to export !");
  EXPECT_EQ(ui::headless::PendingActions(), 1u);
  EXPECT_EQ(ui::headless::ScriptRunOuts(), 0);
}

TEST_F(shell, a_window_that_cannot_open_ends_the_program_at_once) {
  ui::headless::SetWindowCreationFails(true);
  ui::headless::ScriptClick(LoadButton);
  RunProgram();
  EXPECT_TRUE(ui::headless::Controls().empty());
  EXPECT_TRUE(ui::headless::MenuEntries().empty());
  EXPECT_TRUE(ui::headless::DeliveredEvents().empty());
  EXPECT_TRUE(ui::headless::MessageBoxes().empty());
  EXPECT_EQ(ui::headless::ShutdownCount(), 1);
  EXPECT_FALSE(ui::headless::Initialized());
  EXPECT_EQ(ui::headless::PendingActions(), 1u);
}

TEST_F(shell, a_toolkit_that_cannot_start_ends_the_program_without_a_window) {
  ui::headless::SetInitializeFails(true);
  RunProgram();
  EXPECT_TRUE(ui::headless::Windows().empty());
  EXPECT_TRUE(ui::headless::DeliveredEvents().empty());
  EXPECT_EQ(ui::headless::ShutdownCount(), 1);
}
