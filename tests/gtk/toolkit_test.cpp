// The GTK toolkit backend on its own, under Xvfb: events, option groups,
// states, menus, message boxes, the file requester, displays and launching.
#include "app/controls.h"
#include "app/ui/toolkit.h"
#include "gtk_driver.h"
#include "runtime/paths.h"
#include "runtime/utf8.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <clocale>
#include <cstdio>
#include <filesystem>
#include <limits>

using namespace gtkdriver;

namespace {

// A window with two option groups split by a check box, one more group
// inside a panel, a push button that marks the end of a sequence of events,
// and a menu.
class gtk_toolkit : public TempFolder {
 protected:
  enum : std::int32_t {
    A1 = 1, A2 = 2, A3 = 3, Check = 4, B1 = 5, B2 = 6, Panel = 7, C1 = 8, C2 = 9, D1 = 10, Sentinel = 11, Label = 12
  };

  void SetUp() override {
    TempFolder::SetUp();
    InstallRecordingHandler();
    FailOnCriticals();
    ASSERT_TRUE(ui::InitializeToolkit());
    ASSERT_TRUE(ui::CreateTopWindow(0, 10, 20, kMainWindowWidth, kMainWindowHeight, u"Quorvel"));
    ui::AddOptionButton(A1, 10, 10, 100, 20, u"a1");
    ui::AddOptionButton(A2, 10, 30, 100, 20, u"a2");
    ui::AddOptionButton(A3, 10, 50, 100, 20, u"a3");
    ui::AddCheckBox(Check, 10, 70, 100, 20, u"check");
    ui::AddOptionButton(B1, 10, 90, 100, 20, u"b1");
    ui::AddOptionButton(B2, 10, 110, 100, 20, u"b2");
    ui::BeginPanel(Panel, 200, 10, 200, 100);
    ui::AddLabel(Label, 10, 10, 150, 20, u"label");
    ui::AddOptionButton(C1, 10, 30, 100, 20, u"c1");
    ui::AddOptionButton(C2, 10, 50, 100, 20, u"c2");
    ui::EndPanel();
    ui::AddOptionButton(D1, 10, 130, 100, 20, u"d1");
    ui::AddPushButton(Sentinel, 10, 200, 100, 40, u"sentinel");
  }
  void TearDown() override {
    ui::ShutdownToolkit();
    TempFolder::TearDown();
  }

  static void click(std::int32_t id) {
    GtkWidget* widget = ControlWidget(id);
    ASSERT_NE(widget, nullptr) << id;
    gtk_button_clicked(GTK_BUTTON(widget));
  }
  // The ids of the events queued before the sentinel's.
  static std::vector<std::int32_t> eventsUntilSentinel() {
    click(Sentinel);
    std::vector<std::int32_t> ids;
    for (int i = 0; i < 50; ++i) {
      std::int32_t kind = ui::NextEvent();
      EXPECT_EQ(kind, ui::ControlEvent);
      if (ui::EventOrigin() == Sentinel) return ids;
      ids.push_back(ui::EventOrigin());
    }
    ADD_FAILURE() << "the sentinel's event never came";
    return ids;
  }
  static std::vector<std::int32_t> states(std::initializer_list<std::int32_t> ids) {
    std::vector<std::int32_t> states;
    for (std::int32_t id : ids) states.push_back(ui::ReadControlState(id));
    return states;
  }
};

TEST_F(gtk_toolkit, option_groups_follow_creation_and_start_with_nothing_selected) {
  EXPECT_EQ(states({A1, A2, A3, B1, B2, C1, C2, D1, Check}), std::vector<std::int32_t>(9, 0));

  ui::WriteControlState(A2, 1);
  ui::WriteControlState(B1, 1);
  ui::WriteControlState(C2, 1);
  ui::WriteControlState(D1, 1);
  EXPECT_EQ(states({A1, A2, A3}), (std::vector<std::int32_t>{0, 1, 0}));
  EXPECT_EQ(states({B1, B2}), (std::vector<std::int32_t>{1, 0})) << "the check box ended group A";
  EXPECT_EQ(states({C1, C2}), (std::vector<std::int32_t>{0, 1})) << "the panel began a group of its own";
  EXPECT_EQ(ui::ReadControlState(D1), 1) << "the option after the panel is in a new group";

  ui::WriteControlState(A3, 1);
  EXPECT_EQ(states({A1, A2, A3, B1}), (std::vector<std::int32_t>{0, 0, 1, 1}));
  ui::WriteControlState(A3, 0);
  EXPECT_EQ(states({A1, A2, A3}), (std::vector<std::int32_t>{0, 0, 0})) << "clearing leaves none selected";
  ui::WriteControlState(B2, 7);
  EXPECT_EQ(states({B1, B2}), (std::vector<std::int32_t>{0, 1})) << "any non-zero state selects";
}

TEST_F(gtk_toolkit, program_set_states_raise_no_events) {
  ui::WriteControlState(A1, 1);
  ui::WriteControlState(A2, 1);
  ui::WriteControlState(A2, 0);
  ui::WriteControlState(Check, 1);
  ui::WriteControlState(Check, 0);
  ui::WriteControlState(C1, 1);
  ui::WriteControlState(C2, 1);
  EXPECT_TRUE(eventsUntilSentinel().empty());
}

TEST_F(gtk_toolkit, each_user_activation_gives_one_event_for_the_activated_control) {
  ui::WriteControlState(A1, 1);
  click(A3);  // clears A1, which must not report
  EXPECT_EQ(eventsUntilSentinel(), std::vector<std::int32_t>{A3});
  EXPECT_EQ(states({A1, A2, A3}), (std::vector<std::int32_t>{0, 0, 1}));

  click(A3);  // the selected option clicked again still reports, and stays selected
  EXPECT_EQ(eventsUntilSentinel(), std::vector<std::int32_t>{A3});
  EXPECT_EQ(ui::ReadControlState(A3), 1);

  click(B2);  // no option of group B was selected
  click(Check);
  EXPECT_EQ(eventsUntilSentinel(), (std::vector<std::int32_t>{B2, Check}));
  EXPECT_EQ(ui::ReadControlState(Check), 1) << "a clicked check box has flipped before its event";
  click(Check);
  EXPECT_EQ(eventsUntilSentinel(), std::vector<std::int32_t>{Check});
  EXPECT_EQ(ui::ReadControlState(Check), 0);
}

TEST_F(gtk_toolkit, arrow_keys_move_the_selection_within_the_group_only) {
  while (gtk_events_pending()) gtk_main_iteration();
  GtkWindow* window = TopWindow();
  ASSERT_NE(window, nullptr);
  ui::WriteControlState(A1, 1);
  gtk_widget_grab_focus(ControlWidget(A1));
  g_signal_emit_by_name(window, "move-focus", GTK_DIR_DOWN);
  EXPECT_EQ(gtk_window_get_focus(window), ControlWidget(A2));
  EXPECT_EQ(states({A1, A2, A3}), (std::vector<std::int32_t>{0, 1, 0}));
  EXPECT_EQ(eventsUntilSentinel(), std::vector<std::int32_t>{A2}) << "the newly selected option reports";

  gtk_widget_grab_focus(ControlWidget(A3));
  g_signal_emit_by_name(window, "move-focus", GTK_DIR_DOWN);
  EXPECT_EQ(gtk_window_get_focus(window), ControlWidget(A1)) << "wraps within the group, not to the check box";
  EXPECT_EQ(states({A1, A2, A3, B1, B2}), (std::vector<std::int32_t>{1, 0, 0, 0, 0}));
  EXPECT_EQ(eventsUntilSentinel(), std::vector<std::int32_t>{A1});

  g_signal_emit_by_name(window, "move-focus", GTK_DIR_UP);
  EXPECT_EQ(gtk_window_get_focus(window), ControlWidget(A3)) << "and backward";
  EXPECT_EQ(states({A1, A2, A3}), (std::vector<std::int32_t>{0, 0, 1}));
  EXPECT_EQ(eventsUntilSentinel(), std::vector<std::int32_t>{A3});
}

TEST_F(gtk_toolkit, unknown_ids_and_labels_read_as_zero_and_ignore_writes) {
  ui::WriteControlState(99, 1);
  ui::WriteControlState(Label, 1);
  ui::WriteControlState(Sentinel, 1);
  EXPECT_EQ(ui::ReadControlState(99), 0);
  EXPECT_EQ(ui::ReadControlState(Label), 0);
  EXPECT_EQ(ui::ReadControlState(Sentinel), 0);
  EXPECT_TRUE(eventsUntilSentinel().empty());
  GtkWidget* label = ControlWidget(Label);
  ASSERT_NE(label, nullptr);
  EXPECT_FALSE(gtk_widget_get_can_focus(label));
  EXPECT_FALSE(gtk_widget_get_can_focus(ControlWidget(Panel)));
}

// Mnemonics as the Windows menu has them ("&" marks one, a text without
// any answers to its first letter) and Ctrl shortcuts shown the GTK way.
TEST_F(gtk_toolkit, menu_entries_take_mnemonics_and_shortcuts_and_report_their_ids) {
  ASSERT_TRUE(ui::AttachMenuBar(0));
  EXPECT_FALSE(ui::AttachMenuBar(0)) << "one menu bar per window";
  EXPECT_FALSE(ui::AttachMenuBar(5)) << "no such window";
  ui::AddMenuHeading(u"&File");
  ui::AddMenuEntry(0, u"&Open...", u'O');
  ui::AddMenuSeparator();
  ui::AddMenuEntry(1, u"Save_as && more", u'Q');
  ui::AddMenuHeading(u"Help");
  ui::AddMenuEntry(3, u"&About...");

  GtkWidget* open = MenuEntryWidget(0);
  GtkWidget* odd = MenuEntryWidget(1);
  GtkWidget* about = MenuEntryWidget(3);
  ASSERT_TRUE(open != nullptr && odd != nullptr && about != nullptr);
  const auto label = [](GtkWidget* item) { return GTK_LABEL(gtk_bin_get_child(GTK_BIN(item))); };
  const auto heading = [](GtkWidget* item) { return gtk_menu_get_attach_widget(GTK_MENU(gtk_widget_get_parent(item))); };
  struct Row {
    GtkWidget* item;
    const char* markup;     // what GTK is given
    const char* shown;      // what the user reads
    guint mnemonic;
  };
  for (const Row& row : {Row{open, "_Open...", "Open...", GDK_KEY_o},
                         Row{odd, "_Save__as & more", "Save_as & more", GDK_KEY_s},
                         Row{heading(open), "_File", "File", GDK_KEY_f},
                         Row{heading(about), "_Help", "Help", GDK_KEY_h}}) {
    SCOPED_TRACE(row.markup);
    EXPECT_STREQ(gtk_menu_item_get_label(GTK_MENU_ITEM(row.item)), row.markup);
    EXPECT_TRUE(gtk_menu_item_get_use_underline(GTK_MENU_ITEM(row.item)));
    EXPECT_STREQ(gtk_label_get_text(label(row.item)), row.shown);
    EXPECT_EQ(gtk_label_get_mnemonic_keyval(label(row.item)), row.mnemonic);
  }
  struct Shortcut {
    GtkWidget* item;
    guint key;
  };
  for (const Shortcut& s : {Shortcut{open, GDK_KEY_o}, Shortcut{odd, GDK_KEY_q}, Shortcut{about, 0}}) {
    SCOPED_TRACE(gtk_menu_item_get_label(GTK_MENU_ITEM(s.item)));
    guint key = 0;
    guint modifiers = 0;
    GList* closures = gtk_widget_list_accel_closures(s.item);
    for (GList* c = closures; c != nullptr; c = c->next) {
      auto* closure = static_cast<GClosure*>(c->data);
      GtkAccelKey* found = gtk_accel_group_find(
          gtk_accel_group_from_accel_closure(closure),
          [](GtkAccelKey*, GClosure* candidate, gpointer wanted) -> gboolean { return candidate == wanted; }, closure);
      if (found != nullptr) {
        key = found->accel_key;
        modifiers = found->accel_mods;
      }
    }
    g_list_free(closures);
    EXPECT_EQ(key, s.key);
    EXPECT_EQ(modifiers, s.key != 0 ? guint{GDK_CONTROL_MASK} : 0u);
    // Shown at the entry's right edge.
    gtk_widget_show_all(gtk_widget_get_parent(s.item));
    int natural = 0;
    gtk_widget_get_preferred_width(GTK_WIDGET(label(s.item)), nullptr, &natural);
    EXPECT_EQ(gtk_accel_label_get_accel_width(GTK_ACCEL_LABEL(label(s.item))) > 0, s.key != 0);
  }

  gtk_menu_item_activate(GTK_MENU_ITEM(about));
  EXPECT_EQ(ui::NextEvent(), ui::MenuEvent);
  EXPECT_EQ(ui::EventOrigin(), 3);
  // The window's shortcut reaches the entry without its menu being open.
  ASSERT_TRUE(gtk_accel_groups_activate(G_OBJECT(TopWindow()), GDK_KEY_q, GDK_CONTROL_MASK));
  EXPECT_EQ(ui::NextEvent(), ui::MenuEvent);
  EXPECT_EQ(ui::EventOrigin(), 1);
}

TEST_F(gtk_toolkit, menu_bar_takes_its_height_from_the_inner_area) {
  ASSERT_TRUE(ui::AttachMenuBar(0));
  ui::AddMenuHeading(u"File");
  ui::AddMenuEntry(0, u"&Open...");
  while (gtk_events_pending()) gtk_main_iteration();
  GtkWindow* window = TopWindow();
  ASSERT_NE(window, nullptr);
  GtkWidget* box = gtk_bin_get_child(GTK_BIN(window));
  GtkAllocation all;
  gtk_widget_get_allocation(box, &all);
  EXPECT_EQ(all.width, kMainWindowWidth);
  EXPECT_EQ(all.height, kMainWindowHeight);
  EXPECT_FALSE(gtk_window_get_resizable(window));
}

TEST_F(gtk_toolkit, close_request_is_an_event_and_the_window_stays_open) {
  GtkWindow* window = TopWindow();
  ASSERT_NE(window, nullptr);
  gtk_window_close(window);  // what the close box does: a delete request
  EXPECT_EQ(ui::NextEvent(), ui::CloseWindowEvent);
  while (gtk_events_pending()) gtk_main_iteration();
  ASSERT_EQ(TopWindow(), window);
  EXPECT_TRUE(gtk_widget_get_visible(GTK_WIDGET(window)));
}

TEST_F(gtk_toolkit, message_box_shows_caption_and_text_with_one_ok_button) {
  Script script;
  script.then(AnswerMessage("Information", "No data to export !"), "the message box");
  script.start();
  ui::ShowMessageBox(u"Information", u"No data to export !");
  EXPECT_TRUE(script.finished());
  EXPECT_EQ(VisibleDialogCount(), 0);
}

TEST_F(gtk_toolkit, users_locale_except_for_numbers) {
  // The tests run with LANG=C.UTF-8: GTK would take it for numbers too.
  EXPECT_STREQ(std::setlocale(LC_NUMERIC, nullptr), "C");
  EXPECT_STREQ(std::setlocale(LC_CTYPE, nullptr), "C.UTF-8");
  char number[32];
  std::snprintf(number, sizeof number, "%.2f", 1.5);
  EXPECT_STREQ(number, "1.50");
}

TEST_F(gtk_toolkit, displays_come_from_the_screen) {
  // The tests run on a 1280 x 1024 Xvfb screen.
  ASSERT_EQ(ui::CountDisplays(), 1);
  const ui::DisplayRect area = ui::DisplayArea(0);
  EXPECT_EQ(area.x, 0);
  EXPECT_EQ(area.y, 0);
  EXPECT_EQ(area.width, 1280);
  EXPECT_EQ(area.height, 1024);
  // Out of range on either side: all zero, as the shell's placement expects.
  for (const std::int32_t index : {ui::CountDisplays(), -1, std::numeric_limits<std::int32_t>::max()}) {
    const ui::DisplayRect none = ui::DisplayArea(index);
    EXPECT_EQ(none.x, 0) << index;
    EXPECT_EQ(none.y, 0) << index;
    EXPECT_EQ(none.width, 0) << index;
    EXPECT_EQ(none.height, 0) << index;
  }
}

TEST_F(gtk_toolkit, window_stands_at_the_given_outer_position) {
  while (gtk_events_pending()) gtk_main_iteration();
  GtkWindow* window = TopWindow();
  ASSERT_NE(window, nullptr);
  GdkRectangle frame;
  gdk_window_get_frame_extents(gtk_widget_get_window(GTK_WIDGET(window)), &frame);
  EXPECT_EQ(frame.x, 10);
  EXPECT_EQ(frame.y, 20);
}

class gtk_requester : public gtk_toolkit {
 protected:
  std::string folderUtf8() const { return TextToUtf8(folder()); }
  Text choose(const std::string& answer, TextView initial, TextView patterns = u"Reaper project (*.rpp)|*.rpp",
              std::int32_t index = 0, std::function<void(GtkFileChooser*)> inspect = nullptr,
              std::function<bool(GtkFileChooser*)> ready = nullptr) {
    Script script;
    if (inspect)
      script.then(
          [inspect, ready] {
            GtkWidget* dialog = FindDialog("Load Reaper project...");
            if (dialog == nullptr || !gtk_widget_get_mapped(dialog)) return false;
            // The starting folder shows once the requester has loaded it.
            gchar* shown = gtk_file_chooser_get_current_folder(GTK_FILE_CHOOSER(dialog));
            if (shown == nullptr) return false;
            g_free(shown);
            if (ready && !ready(GTK_FILE_CHOOSER(dialog))) return false;
            inspect(GTK_FILE_CHOOSER(dialog));
            return true;
          },
          "inspecting the requester");
    script.then(AnswerChooser("Load Reaper project...", answer), "answering the requester");
    script.start();
    Text result = ui::ChooseFileToOpen(u"Load Reaper project...", initial, patterns, index);
    EXPECT_TRUE(script.finished());
    return result;
  }
  static bool matches(GtkFileFilter* filter, const char* name) {
    GtkFileFilterInfo info{};
    info.contains = static_cast<GtkFileFilterFlags>(GTK_FILE_FILTER_DISPLAY_NAME | GTK_FILE_FILTER_FILENAME);
    info.display_name = name;
    info.filename = name;
    return gtk_file_filter_filter(filter, &info);
  }
};

TEST_F(gtk_requester, starts_in_the_given_folder_with_the_filter_in_any_letter_case) {
  writeFile(u"Song.rpp", "x");
  std::string folder = folderUtf8();
  std::string before = TextToUtf8(CurrentDirectory());
  Text chosen = choose(folder + "Song.rpp", TempFolder::folder(), u"Reaper project (*.rpp)|*.rpp", 0,
                       [folder](GtkFileChooser* chooser) {
                         gchar* current = gtk_file_chooser_get_current_folder(chooser);
                         EXPECT_EQ(std::string(current ? current : "") + "/", folder);
                         g_free(current);
                         GtkFileFilter* filter = gtk_file_chooser_get_filter(chooser);
                         ASSERT_NE(filter, nullptr);
                         EXPECT_STREQ(gtk_file_filter_get_name(filter), "Reaper project (*.rpp)");
                         EXPECT_TRUE(matches(filter, "Song.rpp"));
                         EXPECT_TRUE(matches(filter, "SONG.RPP"));
                         EXPECT_TRUE(matches(filter, "mixed.Rpp"));
                         EXPECT_FALSE(matches(filter, "Song.rpp.bak"));
                         EXPECT_FALSE(matches(filter, "notes.txt"));
                       });
  EXPECT_EQ(TextToUtf8(chosen), folder + "Song.rpp");
  EXPECT_EQ(TextToUtf8(CurrentDirectory()), before) << "the requester leaves the current directory alone";
}

// An open dialog: the proposed name selects that file; the filters come in
// order with "All files" after them.
TEST_F(gtk_requester, selects_the_proposed_file_and_the_filter_by_index_and_offers_all_files) {
  writeFile(u"Proposed.rpp", "x");
  std::string folder = folderUtf8();
  choose("", TextFromUtf8(folder + "Proposed.rpp"), u"Text (*.txt)|*.txt|Both|*.rpp;*.RPX", 1,
         [folder](GtkFileChooser* chooser) {
           EXPECT_EQ(gtk_file_chooser_get_action(chooser), GTK_FILE_CHOOSER_ACTION_OPEN);
           gchar* selected = gtk_file_chooser_get_filename(chooser);
           EXPECT_STREQ(selected, (folder + "Proposed.rpp").c_str());
           g_free(selected);
           GtkFileFilter* filter = gtk_file_chooser_get_filter(chooser);
           ASSERT_NE(filter, nullptr);
           EXPECT_STREQ(gtk_file_filter_get_name(filter), "Both");
           EXPECT_TRUE(matches(filter, "a.RPP"));
           EXPECT_TRUE(matches(filter, "a.rpx"));
           EXPECT_FALSE(matches(filter, "a.txt"));
           GSList* all = gtk_file_chooser_list_filters(chooser);
           ASSERT_EQ(g_slist_length(all), 3u);
           auto* last = static_cast<GtkFileFilter*>(g_slist_nth_data(all, 2));
           EXPECT_STREQ(gtk_file_filter_get_name(last), "All files");
           EXPECT_TRUE(matches(last, "song.rpp.bak"));
           EXPECT_TRUE(matches(last, "README"));
           g_slist_free(all);
         },
         // The file is selected once the requester has listed its folder,
         // which it does in the background after the folder shows.
         [](GtkFileChooser* chooser) {
           gchar* selected = gtk_file_chooser_get_filename(chooser);
           g_free(selected);
           return selected != nullptr;
         });
}

TEST_F(gtk_requester, cancel_gives_empty_text) { EXPECT_EQ(choose("", folder()), Text()); }

TEST_F(gtk_requester, typed_name_of_a_missing_file_is_accepted) {
  Text chosen = choose(folderUtf8() + "missing.rpp", folder());
  EXPECT_EQ(TextToUtf8(chosen), folderUtf8() + "missing.rpp");
  EXPECT_FALSE(FileExists(chosen)) << "the requester creates nothing";
}

// A file whose name is not UTF-8 (Latin-1 bytes), chosen in the list: the
// path comes back carrying those bytes, and names the same file.
TEST_F(gtk_requester, a_chosen_file_name_that_is_not_utf8_keeps_its_bytes) {
  const std::string name = "caf\xe9.rpp";
  const std::string bytes = NativePathFromText(folder()) + name;
  {
    FILE* file = std::fopen(bytes.c_str(), "w");
    ASSERT_NE(file, nullptr);
    std::fputs("x", file);
    std::fclose(file);
  }
  Script script;
  script.then(
      [bytes] {
        GtkWidget* dialog = FindDialog("Load Reaper project...");
        if (dialog == nullptr || !gtk_widget_get_mapped(dialog)) return false;
        // Selected from the list, as the proposed name; then Open.
        gchar* selected = gtk_file_chooser_get_filename(GTK_FILE_CHOOSER(dialog));
        const bool ready = selected != nullptr && bytes == selected;
        g_free(selected);
        if (!ready) return false;
        gtk_button_clicked(GTK_BUTTON(gtk_dialog_get_widget_for_response(GTK_DIALOG(dialog), GTK_RESPONSE_ACCEPT)));
        return true;
      },
      "choosing the Latin-1 name");
  script.start();
  const Text chosen = ui::ChooseFileToOpen(u"Load Reaper project...", TextFromNativePath(bytes),
                                           u"Reaper project (*.rpp)|*.rpp", 0);
  ASSERT_TRUE(script.finished()) << script.stuckAt();
  EXPECT_EQ(chosen, folder() + u"caf\xDCE9.rpp");
  EXPECT_EQ(NativePathFromText(chosen), bytes);
  std::remove(bytes.c_str());
}

TEST_F(gtk_requester, existing_file_is_not_questioned_as_an_overwrite) {
  writeFile(u"there.rpp", "keep");
  Text chosen = choose(folderUtf8() + "there.rpp", folder());
  EXPECT_EQ(TextToUtf8(chosen), folderUtf8() + "there.rpp");
  EXPECT_EQ(ReadBytes(chosen), "keep");
}

// The requester returns long paths whole: the limit is the system's, and the
// shell checks it.
TEST_F(gtk_requester, a_path_longer_than_259_units_comes_back_whole) {
  std::string deep = folderUtf8();
  while (deep.size() < 300) deep += std::string(40, 'd') + "/";
  std::filesystem::create_directories(deep);
  std::string longName = deep + "song.rpp";
  ASSERT_GT(longName.size(), 300u);
  EXPECT_EQ(TextToUtf8(choose(longName, TextFromUtf8(deep))), longName);
}

// The outcome of a document handed on, as the window's next event.
ui::OpenedDocument NextOpenedDocument() {
  EXPECT_EQ(ui::NextEvent(), ui::DocumentOpenedEvent);
  return ui::LastOpenedDocument();
}

TEST_F(gtk_toolkit, opens_documents_with_the_default_program) {
  std::size_t before = LaunchedUris().size();
  writeFile(u"report.html", "<html></html>");
  ui::OpenWithDefaultProgram(path(u"report.html"));
  ui::OpenedDocument opened = NextOpenedDocument();
  EXPECT_EQ(TextToUtf8(opened.path), TextToUtf8(path(u"report.html")));
  EXPECT_EQ(opened.outcome.result, LaunchResult::Started);
  std::vector<std::string> uris = WaitForLaunches(before + 1, 5000);
  ASSERT_EQ(uris.size(), before + 1);
  EXPECT_EQ(AsLocalPath(uris.back()), TextToUtf8(path(u"report.html")));

  ui::OpenWithDefaultProgram(path(u"absent.html"));
  EXPECT_EQ(NextOpenedDocument().outcome.result, LaunchResult::Failed);
  ui::OpenWithDefaultProgram(u"");
  EXPECT_EQ(NextOpenedDocument().outcome.result, LaunchResult::Failed);
}

TEST_F(gtk_toolkit, relative_document_path_resolves_against_the_current_directory) {
  std::size_t before = LaunchedUris().size();
  writeFile(u"Song.html", "<html></html>");
  std::string previous = TextToUtf8(CurrentDirectory());
  ASSERT_EQ(chdir(TextToUtf8(folder()).c_str()), 0);
  ui::OpenWithDefaultProgram(u"Song.html");
  const ui::OpenedDocument opened = NextOpenedDocument();
  ASSERT_EQ(chdir(previous.c_str()), 0);
  EXPECT_EQ(opened.outcome.result, LaunchResult::Started);
  std::vector<std::string> uris = WaitForLaunches(before + 1, 5000);
  ASSERT_EQ(uris.size(), before + 1);
  EXPECT_EQ(AsLocalPath(uris.back()), TextToUtf8(folder()) + "Song.html");
}

// An opener that stands in for xdg-open: it waits until the test lets it go
// (a line through a FIFO), then says QUORVEL_FAKE_SAYS on its error output and
// ends with QUORVEL_FAKE_STATUS. Handing a document on never waits for it, and
// its verdict comes as an event once it has ended.
TEST_F(gtk_toolkit, the_openers_verdict_comes_later_as_an_event_with_its_reason) {
  const std::string bin = TextToUtf8(path(u"bin"));
  const std::string gate = TextToUtf8(path(u"gate"));
  std::filesystem::create_directories(bin);
  ASSERT_EQ(mkfifo(gate.c_str(), 0600), 0);
  writeFile(u"bin/xdg-open", R"(#!/bin/sh
read line < "$QUORVEL_FAKE_GATE"
[ -n "$QUORVEL_FAKE_SAYS" ] && printf 'early\nlast words: %s\n' "$QUORVEL_FAKE_SAYS" >&2
exit "$QUORVEL_FAKE_STATUS"
)");
  std::filesystem::permissions(bin + "/xdg-open", std::filesystem::perms::owner_all);
  const std::string searchPath = g_getenv("PATH");
  g_setenv("PATH", (bin + ":" + searchPath).c_str(), TRUE);
  g_setenv("QUORVEL_FAKE_GATE", gate.c_str(), TRUE);
  struct Case {
    const char* status;
    const char* says;
    LaunchResult result;
    std::string reason;
  };
  for (const Case& c : {Case{"4", "the browser refused to start", LaunchResult::Failed, "last words: the browser refused to start"},
                        Case{"1", "", LaunchResult::Failed, "xdg-open ended with status 1"},
                        Case{"3", "no method", LaunchResult::NoProgram, ""},
                        Case{"0", "", LaunchResult::Started, ""}}) {
    SCOPED_TRACE(c.status);
    g_setenv("QUORVEL_FAKE_STATUS", c.status, TRUE);
    g_setenv("QUORVEL_FAKE_SAYS", c.says, TRUE);
    ui::OpenWithDefaultProgram(path(u"report.html"));
    // Back at once: the opener is still waiting at its gate, and the window
    // takes the user's events meanwhile.
    click(Check);
    EXPECT_EQ(ui::NextEvent(), ui::ControlEvent);
    EXPECT_EQ(ui::EventOrigin(), Check);
    std::FILE* opener = std::fopen(gate.c_str(), "w");  // opens once the opener reads
    ASSERT_NE(opener, nullptr);
    std::fputs("go\n", opener);
    std::fclose(opener);
    const ui::OpenedDocument opened = NextOpenedDocument();
    EXPECT_EQ(TextToUtf8(opened.path), TextToUtf8(path(u"report.html")));
    EXPECT_EQ(opened.outcome.result, c.result);
    EXPECT_EQ(TextToUtf8(opened.outcome.reason), c.reason);
  }
  g_setenv("PATH", searchPath.c_str(), TRUE);
}

}  // namespace
