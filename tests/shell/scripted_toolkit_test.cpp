// The scripted toolkit backend itself: the grouping rule for option buttons, state
// operations, displays and the way the script is played.
#include "shell_test_support.h"
#include "runtime/utf8.h"

#include <string>

namespace {

using ui::scripted::ControlKind;

void OpenWindow() { ASSERT_TRUE(ui::CreateTopWindow(0, 0, 0, 300, 200, u"Test")); }

}  // namespace

TEST_F(shell, consecutive_options_of_one_parent_form_a_group_and_any_other_creation_ends_it) {
  OpenWindow();
  ui::AddOptionButton(1, 0, 0, 10, 10, u"a");
  ui::AddOptionButton(2, 0, 0, 10, 10, u"b");
  ui::AddCheckBox(3, 0, 0, 10, 10, u"c");           // ends the group
  ui::AddOptionButton(4, 0, 0, 10, 10, u"d");
  ui::BeginPanel(5, 0, 0, 100, 100);                 // a panel ends it too
  ui::AddOptionButton(6, 0, 0, 10, 10, u"e");
  ui::AddOptionButton(7, 0, 0, 10, 10, u"f");
  ui::EndPanel();
  ui::AddOptionButton(8, 0, 0, 10, 10, u"g");        // another parent: a new group
  const auto group = [](std::int32_t id) { return ui::scripted::FindControl(id)->group; };
  EXPECT_EQ(group(1), group(2));
  EXPECT_NE(group(2), group(4));
  EXPECT_NE(group(4), group(6));
  EXPECT_EQ(group(6), group(7));
  EXPECT_NE(group(7), group(8));
  EXPECT_EQ(ui::scripted::FindControl(6)->parent, 5);
  EXPECT_EQ(ui::scripted::FindControl(8)->parent, ui::scripted::kInWindow);

  ui::WriteControlState(1, 1);
  ui::WriteControlState(2, 7);  // any non-zero value selects
  EXPECT_EQ(ui::ReadControlState(1), 0);
  EXPECT_EQ(ui::ReadControlState(2), 1);
  ui::WriteControlState(4, 1);  // another group: 2 stays selected
  EXPECT_EQ(ui::ReadControlState(2), 1);
  ui::WriteControlState(2, 0);  // clearing touches only that option
  EXPECT_EQ(ui::ReadControlState(2), 0);
  EXPECT_EQ(ui::ReadControlState(4), 1);
  EXPECT_TRUE(ui::scripted::DeliveredEvents().empty());
}

TEST_F(shell, state_operations_on_buttons_labels_and_unknown_ids_do_nothing) {
  OpenWindow();
  ui::AddPushButton(1, 0, 0, 10, 10, u"push");
  ui::AddLabel(2, 0, 0, 10, 10, u"label");
  ui::WriteControlState(1, 1);
  ui::WriteControlState(2, 1);
  ui::WriteControlState(99, 1);
  EXPECT_EQ(ui::ReadControlState(1), 0);
  EXPECT_EQ(ui::ReadControlState(2), 0);
  EXPECT_EQ(ui::ReadControlState(99), 0);
  EXPECT_TRUE(ui::scripted::StateChanges().empty());
}

TEST_F(shell, controls_need_an_open_window) {
  ui::AddPushButton(1, 0, 0, 10, 10, u"orphan");
  EXPECT_FALSE(ui::AttachMenuBar(0));
  ui::scripted::ScriptClick(1);
  EXPECT_EQ(ui::NextEvent(), ui::CloseWindowEvent);  // the click found nothing; the script ran out
  EXPECT_TRUE(ui::scripted::Controls().empty());
  EXPECT_EQ(ui::scripted::ScriptRunOuts(), 1);
}

// What an index out of range gives is the real backends' to show
// (tests/gtk/toolkit_test.cpp); here only the scripted displays.
TEST_F(shell, displays_are_the_scripted_ones_until_reset) {
  ui::scripted::SetDisplays({{0, 0, 1024, 768}, {1024, 10, 800, 600}});
  EXPECT_EQ(ui::CountDisplays(), 2);
  EXPECT_EQ(ui::DisplayArea(1).x, 1024);
  EXPECT_EQ(ui::DisplayArea(1).y, 10);
  EXPECT_EQ(ui::DisplayArea(1).width, 800);
  EXPECT_EQ(ui::DisplayArea(1).height, 600);
  ui::scripted::ResetScriptedToolkit();
  EXPECT_EQ(ui::CountDisplays(), 1);
  EXPECT_EQ(ui::DisplayArea(0).width, 1920);
  EXPECT_EQ(ui::DisplayArea(0).height, 1080);
}

TEST_F(shell, clicks_flip_check_boxes_and_select_options_before_the_event) {
  OpenWindow();
  ui::AddCheckBox(1, 0, 0, 10, 10, u"check");
  ui::AddOptionButton(2, 0, 0, 10, 10, u"first");
  ui::AddOptionButton(3, 0, 0, 10, 10, u"second");
  ui::WriteControlState(2, 1);
  ui::scripted::ScriptClick(1);
  ui::scripted::ScriptClick(3);
  ui::scripted::ScriptClick(3);  // an option already selected still raises its event
  EXPECT_EQ(ui::NextEvent(), ui::ControlEvent);
  EXPECT_EQ(ui::EventOrigin(), 1);
  EXPECT_EQ(ui::ReadControlState(1), 1);
  EXPECT_EQ(ui::NextEvent(), ui::ControlEvent);
  EXPECT_EQ(ui::EventOrigin(), 3);
  EXPECT_EQ(ui::ReadControlState(3), 1);
  EXPECT_EQ(ui::ReadControlState(2), 0);
  EXPECT_EQ(ui::NextEvent(), ui::ControlEvent);
  EXPECT_EQ(ui::ReadControlState(3), 1);
  const auto& changes = ui::scripted::StateChanges();
  ASSERT_GE(changes.size(), 3u);
  EXPECT_FALSE(changes[0].byUser);
  EXPECT_TRUE(changes[1].byUser);
  EXPECT_TRUE(changes[2].byUser);
  EXPECT_EQ(ui::scripted::PendingActions(), 0u);
  EXPECT_EQ(ui::NextEvent(), ui::CloseWindowEvent);
  EXPECT_EQ(ui::NextEvent(), ui::CloseWindowEvent);  // and again: a loop under test always ends
  EXPECT_EQ(ui::scripted::ScriptRunOuts(), 2);
}

TEST_F(shell, requester_answers_must_meet_their_requester) {
  OpenWindow();
  ui::scripted::ScriptChooseFile(u"stray.rpp");  // reached by NextEvent: a script problem
  EXPECT_EQ(ui::NextEvent(), ui::CloseWindowEvent);
  ASSERT_EQ(ui::scripted::ScriptProblems().size(), 1u);
  EXPECT_NE(ui::scripted::ScriptProblems()[0].find("stray.rpp"), std::string::npos);

  // A requester without an answer is cancelled, and noted.
  EXPECT_EQ(Utf8(ui::ChooseFileToOpen(u"t", u"", u"", 0)), "");
  EXPECT_EQ(ui::scripted::ScriptProblems().size(), 2u);

  // Answers come back whole, however long: the shell checks the limits.
  ui::scripted::ScriptChooseFile(Text(5000, u'p'));
  EXPECT_EQ(ui::ChooseFileToOpen(u"t", u"", u"", 0).size(), 5000u);
  EXPECT_EQ(ui::scripted::Requesters().size(), 2u);
  EXPECT_EQ(ui::scripted::ScriptProblems().size(), 2u);
  ui::scripted::ResetScriptedToolkit();  // the problems above were intended
}

TEST_F(shell, menu_choices_need_an_entry_of_that_id) {
  OpenWindow();
  ASSERT_TRUE(ui::AttachMenuBar(0));
  ui::AddMenuEntry(9, u"before any heading");  // dropped
  ui::AddMenuHeading(u"H");
  ui::AddMenuEntry(1, u"&One");
  ui::AddMenuSeparator();
  ui::scripted::ScriptMenu(9);
  ui::scripted::ScriptMenu(0);  // the separator is not an entry
  ui::scripted::ScriptMenu(1);
  EXPECT_EQ(ui::NextEvent(), ui::MenuEvent);
  EXPECT_EQ(ui::EventOrigin(), 1);
  EXPECT_EQ(ui::scripted::MenuEntries().size(), 2u);
  EXPECT_EQ(ui::scripted::PendingActions(), 0u);
}
