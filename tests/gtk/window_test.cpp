// The whole window program on GTK, in this process under Xvfb: the shell
// runs its own event loop while a script clicks the real widgets, answers
// the requester and the message boxes, and the reports it writes are
// compared with the exporter's.
#include "app/controls.h"
#include "app/shell.h"
#include "app/ui/toolkit.h"
#include "core/loader.h"
#include "gtk_driver.h"
#include "report/export.h"
#include "runtime/paths.h"
#include "runtime/utf8.h"
#include "support/temp_folder.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>

using namespace gtkdriver;

namespace {

constexpr const char* kRequester = "Load Reaper project...";

class gtk_window : public TempFolder {
 protected:
  void SetUp() override {
    TempFolder::SetUp();
    InstallRecordingHandler();
    FailOnCriticals();
    previous_ = TextToUtf8(CurrentDirectory());
    std::filesystem::create_directories(TextToUtf8(appFolder()));
    std::filesystem::create_directories(TextToUtf8(projectFolder()));
    // The program's working directory is the "Application folder".
    ASSERT_EQ(chdir(TextToUtf8(appFolder()).c_str()), 0);
  }
  void TearDown() override {
    EXPECT_EQ(chdir(previous_.c_str()), 0);
    TempFolder::TearDown();
  }

  Text appFolder() const { return folder() + u"app/"; }
  Text projectFolder() const { return folder() + u"projects/"; }

  // A project kept beside the tests (tests/data), copied under `name`.
  Text copyProject(std::string_view dataName, std::string_view name) const {
    Text target = projectFolder() + TextFromUtf8(name);
    WriteBytes(target, ReadBytes(TestData(dataName)));
    return target;
  }
  // What the exporter writes for the same project file.
  std::string exporterReport(TextView project) const {
    ProjectData data;
    EXPECT_EQ(loadProjectFile(data, project).result, LoadResult::Loaded);
    Text out = folder() + u"expected.html";
    EXPECT_EQ(exportReportTo(data, out).result, ExportResult::Written);
    return ReadBytes(out);
  }
  static Script::Step fileAppears(Text path) {
    return [path] { return FileExists(path) && VisibleDialogCount() == 0; };
  }
  static int run(Script& script) {
    script.start();
    return runQuorvel(u"") == ShellEnd::Ended ? 0 : 1;
  }
  std::vector<std::string> htmlFilesIn(TextView dir) const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(TextToUtf8(dir)))
      if (entry.path().extension() == ".html") names.push_back(entry.path().filename().string());
    return names;
  }

 private:
  std::string previous_;
};

TEST_F(gtk_window, load_and_export_write_the_exporters_report_and_open_it) {
  const Text first = copyProject("basic.rpp", "first-song.rpp");
  const Text second = copyProject("empty-master.rpp", "second-song.rpp");
  const Text firstReport = appFolder() + u"first-song.html";
  const Text secondReport = appFolder() + u"second-song.html";
  const std::size_t launchedBefore = LaunchedUris().size();

  Script script;
  script.then(ClickControl(0), "Load")
      .then(AnswerChooser(kRequester, TextToUtf8(first)), "choosing the first project")
      .then(NoDialog(), "requester closed")
      .then(ClickControl(1), "Export")
      .then(fileAppears(firstReport), "first report written")
      .then(ClickControl(0), "Load again")
      .then(AnswerChooser(kRequester, TextToUtf8(second)), "choosing the second project")
      .then(NoDialog(), "requester closed")
      .then(ClickControl(1), "Export")
      .then(fileAppears(secondReport), "second report written")
      .then(ClickControl(2), "Quit");
  EXPECT_EQ(run(script), 0);
  ASSERT_TRUE(script.finished()) << script.stuckAt();

  const std::string expectedFirst = exporterReport(first);
  const std::string expectedSecond = exporterReport(second);
  ASSERT_FALSE(expectedFirst.empty());
  EXPECT_TRUE(ReadBytes(firstReport) == expectedFirst) << "the window's report differs from the exporter's";
  EXPECT_TRUE(ReadBytes(secondReport) == expectedSecond) << "the window's report differs from the exporter's";

  // Each report was handed to the desktop's program for HTML files.
  std::vector<std::string> launched = WaitForLaunches(launchedBefore + 2, 5000);
  ASSERT_EQ(launched.size(), launchedBefore + 2);
  EXPECT_EQ(AsLocalPath(launched[launchedBefore]), TextToUtf8(firstReport));
  EXPECT_EQ(AsLocalPath(launched[launchedBefore + 1]), TextToUtf8(secondReport));
}

TEST_F(gtk_window, project_folder_option_puts_the_report_beside_the_project) {
  const Text project = copyProject("basic.rpp", "beside-song.rpp");
  const Text report = projectFolder() + u"beside-song.html";

  Script script;
  script.then(ActivateMenuEntry(0), "File > Open...")
      .then(AnswerChooser(kRequester, TextToUtf8(project)), "choosing the project")
      .then(NoDialog(), "requester closed")
      .then(ClickControl(6), "Reaper File Project folder")
      .then(Check([] {
              EXPECT_TRUE(IsActive(6));
              EXPECT_FALSE(IsActive(7));
            }),
            "option states")
      .then(ClickControl(1), "Export")
      .then(fileAppears(report), "report written")
      .then(ActivateMenuEntry(1), "File > Quit");
  EXPECT_EQ(run(script), 0);
  ASSERT_TRUE(script.finished()) << script.stuckAt();

  EXPECT_TRUE(ReadBytes(report) == exporterReport(project));
  EXPECT_TRUE(htmlFilesIn(appFolder()).empty());
}

TEST_F(gtk_window, messages_cancel_about_and_close_box) {
  bool windowStillOpen = false;
  Script script;
  script.then(ClickControl(1), "Export before any Load")
      .then(AnswerMessage("Information", "No data to export !"), "no-data message")
      .then(ClickControl(0), "Load")
      .then(AnswerChooser(kRequester, ""), "cancelling the requester")
      .then(NoDialog(), "requester closed")
      .then(ClickControl(1), "Export after a cancelled Load")
      .then(AnswerMessage("Information", "No data to export !"), "no-data message again")
      .then(ClickControl(0), "Load")
      .then(AnswerChooser(kRequester, TextToUtf8(appFolder()) + "missing.rpp"), "typing a missing file")
      .then(AnswerMessage("Information", "Couldn't open the file!"), "cannot-open message")
      .then(ActivateMenuEntry(3), "Help > About...")
      .then(
          [] {
            GtkWidget* about = FindDialog("About...");
            if (about == nullptr || !gtk_widget_get_mapped(about)) return false;
            std::string text = MessageText(about);
            EXPECT_EQ(text.rfind("Quorvel (17/07/2025)\n\n", 0), 0u) << text;
            EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 4) << "five lines";
            EXPECT_EQ(DialogButtons(about).size(), 1u);
            gtk_button_clicked(GTK_BUTTON(gtk_dialog_get_widget_for_response(GTK_DIALOG(about), GTK_RESPONSE_OK)));
            return true;
          },
          "About box")
      .then(NoDialog(), "About box closed")
      .then(
          [&windowStillOpen] {
            GtkWindow* window = TopWindow();
            windowStillOpen = window != nullptr && gtk_widget_get_visible(GTK_WIDGET(window));
            if (window != nullptr) gtk_window_close(window);  // the close box
            return true;
          },
          "close box");
  EXPECT_EQ(run(script), 0);
  ASSERT_TRUE(script.finished()) << script.stuckAt();
  EXPECT_TRUE(windowStillOpen);
  EXPECT_EQ(TopWindow(), nullptr) << "the window is gone once the program has ended";
  EXPECT_TRUE(htmlFilesIn(appFolder()).empty());
  EXPECT_FALSE(FileExists(appFolder() + u"missing.rpp"));
}

TEST_F(gtk_window, panel_boxes_stay_consistent_through_real_clicks) {
  auto states = [](std::initializer_list<int> ids) {
    std::string s;
    for (int id : ids) s += IsActive(id) ? '1' : '0';
    return s;
  };
  Script script;
  script
      .then(Check([&] {
              EXPECT_EQ(states({7, 6, 21, 10}), "1001");
              EXPECT_EQ(states({11, 12, 13, 14, 15, 16, 17, 18, 19, 20}), "1111111111");
            }),
            "initial states")
      .then(ClickControl(12), "uncheck Master")
      .then(Check([&] { EXPECT_EQ(states({12, 13, 14}), "000"); }), "Master and its boxes clear")
      .then(ClickControl(13), "check Master Volume")
      .then(Check([&] { EXPECT_EQ(states({12, 13, 14}), "010"); }), "Master stays clear")
      .then(ClickControl(14), "check Master Plugins")
      .then(Check([&] { EXPECT_EQ(states({12, 13, 14}), "111"); }), "Master set again")
      .then(ClickControl(17), "uncheck Pan")
      .then(Check([&] { EXPECT_EQ(states({15, 16, 17, 18, 19, 20}), "010111"); }), "Track clears")
      .then(ClickControl(15), "check Track")
      .then(Check([&] { EXPECT_EQ(states({15, 16, 17, 18, 19, 20}), "111111"); }), "all Track boxes set")
      .then(ClickControl(15), "uncheck Track")
      .then(Check([&] { EXPECT_EQ(states({15, 16, 17, 18, 19, 20}), "000000"); }), "all Track boxes clear")
      .then(ClickControl(21), "Plugins list only !")
      .then(Check([&] {
              EXPECT_EQ(states({21, 10}), "10");
              EXPECT_EQ(states({7, 6, 11}), "101") << "the other group and boxes are untouched";
            }),
            "option group")
      .then(
          [] {
            gtk_window_close(TopWindow());
            return true;
          },
          "close");
  EXPECT_EQ(run(script), 0);
  ASSERT_TRUE(script.finished()) << script.stuckAt();
}

// The screen's pixels per unit (1.5 at 144 dots per inch).
double ScreenScale() {
  const double dpi = gdk_screen_get_resolution(gdk_screen_get_default());
  return dpi > 0 ? dpi / 96.0 : 1.0;
}

// The layout's pixels per unit, from the window's inner width in units:
// the screen's scale, or more where the font needs it.
double LayoutScale() {
  GtkWidget* box = gtk_bin_get_child(GTK_BIN(TopWindow()));
  return gtk_widget_get_allocated_width(box) / static_cast<double>(kMainWindowWidth);
}

// Units at the layout's scale; rounding may differ by a pixel.
int Px(int units, double scale) { return static_cast<int>(std::lround(units * scale)); }
#define EXPECT_PIXELS(actual, expected) EXPECT_NEAR(actual, expected, 1)

void CheckLayout() {
  GtkWindow* window = TopWindow();
  ASSERT_NE(window, nullptr);
  EXPECT_FALSE(gtk_window_get_resizable(window));
  const double k = LayoutScale();
  EXPECT_GE(k, ScreenScale() - 0.5 / kMainWindowWidth) << "never smaller than the screen's scale";
  EXPECT_LE(k, ScreenScale() * 1.5) << "grown no more than the fonts need";
  GtkWidget* box = gtk_bin_get_child(GTK_BIN(window));
  EXPECT_PIXELS(gtk_widget_get_allocated_height(box), Px(kMainWindowHeight, k)) << "the table's proportions are kept";
  GdkRectangle frame;
  gdk_window_get_frame_extents(gtk_widget_get_window(GTK_WIDGET(window)), &frame);
  // The centre of the window asked for on the primary monitor's work area,
  // measured in units at the screen's scale, whatever the window grew to.
  GdkRectangle work;
  gdk_monitor_get_workarea(gdk_display_get_primary_monitor(gdk_display_get_default()), &work);
  const int dotsPerInch = static_cast<int>(std::lround(ScreenScale() * 96));
  const double centreX =
      work.x + ((work.width * 96 / dotsPerInch - kMainWindowWidth) / 2 + kMainWindowWidth / 2) * ScreenScale();
  const double centreY =
      work.y + ((work.height * 96 / dotsPerInch - kMainWindowHeight) / 2 + kMainWindowHeight / 2) * ScreenScale();
  EXPECT_NEAR(frame.x + frame.width / 2.0, centreX, 1.0);
  EXPECT_NEAR(frame.y + frame.height / 2.0, centreY, 1.0);

  GtkWidget* area = ControlWidget(0) != nullptr ? gtk_widget_get_parent(ControlWidget(0)) : nullptr;
  ASSERT_NE(area, nullptr);
  int areaTop = 0;
  int ignored = 0;
  ASSERT_TRUE(gtk_widget_translate_coordinates(area, box, 0, 0, &ignored, &areaTop));
  EXPECT_GT(areaTop, 0) << "the menu bar stands above the controls";
  EXPECT_PIXELS(areaTop + gtk_widget_get_allocated_height(area), Px(kMainWindowHeight, k))
      << "and takes its height from them";
  EXPECT_GE(gtk_widget_get_allocated_height(area), Px(kMainWindowHeight - 40, k)) << "and leaves the controls their room";

  for (const ControlSpec& p : kMainControls) {
    SCOPED_TRACE("control " + std::to_string(p.id));
    GtkWidget* widget = ControlWidget(p.id);
    ASSERT_NE(widget, nullptr);
    GtkWidget* parent = gtk_widget_get_parent(widget);
    if (p.parent == kWindowParent) {
      EXPECT_EQ(parent, area);
    } else {
      GtkWidget* panel = ControlWidget(p.parent);
      ASSERT_NE(panel, nullptr);
      EXPECT_EQ(gtk_widget_get_parent(parent), panel) << "a child of its panel";
    }
    int x = -1;
    int y = -1;
    ASSERT_TRUE(gtk_widget_translate_coordinates(widget, parent, 0, 0, &x, &y));
    EXPECT_PIXELS(x, Px(p.x, k));
    EXPECT_PIXELS(y, Px(p.y, k));
    EXPECT_PIXELS(gtk_widget_get_allocated_height(widget), Px(p.height, k));
    int width = gtk_widget_get_allocated_width(widget);
    const int room = gtk_widget_get_allocated_width(parent) - x;
    if (GTK_IS_LABEL(widget) || GTK_IS_CHECK_BUTTON(widget)) {
      // Text controls may widen up to their parent's inner edge for the
      // font, and stop there (the parent clips them).
      EXPECT_GE(width, std::min(Px(p.width, k), room) - 1);
      EXPECT_LE(width, room);
    } else {
      EXPECT_PIXELS(width, Px(p.width, k));
    }
    EXPECT_EQ(gtk_widget_get_can_focus(widget), !GTK_IS_LABEL(widget) && !GTK_IS_FRAME(widget));
  }
}

GdkRectangle InWindow(GtkWidget* widget) {
  GdkRectangle rect{0, 0, gtk_widget_get_allocated_width(widget), gtk_widget_get_allocated_height(widget)};
  gtk_widget_translate_coordinates(widget, GTK_WIDGET(TopWindow()), 0, 0, &rect.x, &rect.y);
  return rect;
}

bool Inside(const GdkRectangle& inner, const GdkRectangle& outer) {
  return inner.x >= outer.x && inner.y >= outer.y && inner.x + inner.width <= outer.x + outer.width &&
         inner.y + inner.height <= outer.y + outer.height;
}

std::string Describe(const GdkRectangle& r) {
  return std::to_string(r.width) + "x" + std::to_string(r.height) + "+" + std::to_string(r.x) + "+" +
         std::to_string(r.y);
}

// The screen and font the run was set up with (QUORVEL_TEST_FONT: the
// family and size GTK must use, QUORVEL_TEST_DPI, QUORVEL_TEST_PRIMARY: the
// primary monitor's x,y,width,height), so that a configuration that did not
// take cannot pass for one that did.
void CheckScreenAndFont() {
  const char* font = g_getenv("QUORVEL_TEST_FONT");
  const char* dpi = g_getenv("QUORVEL_TEST_DPI");
  if (const char* primary = g_getenv("QUORVEL_TEST_PRIMARY")) {
    GdkRectangle area;
    gdk_monitor_get_geometry(gdk_display_get_primary_monitor(gdk_display_get_default()), &area);
    EXPECT_EQ(std::to_string(area.x) + "," + std::to_string(area.y) + "," + std::to_string(area.width) + "," +
                  std::to_string(area.height),
              primary)
        << "the primary monitor";
  }
  if (dpi != nullptr) {
    EXPECT_DOUBLE_EQ(ScreenScale() * 96, std::atof(dpi));
  }
  if (font == nullptr) return;
  GtkWidget* label = ControlWidget(DestinationLabel);
  ASSERT_NE(label, nullptr);
  PangoFontDescription* wanted = pango_font_description_from_string(font);
  PangoFont* loaded = pango_context_load_font(gtk_widget_get_pango_context(label), wanted);
  ASSERT_NE(loaded, nullptr);
  PangoFontDescription* used = pango_font_describe(loaded);
  const PangoFontDescription* shown = pango_context_get_font_description(gtk_widget_get_pango_context(label));
  EXPECT_STREQ(pango_font_description_get_family(shown), pango_font_description_get_family(wanted))
      << "the label's font";
  EXPECT_EQ(pango_font_description_get_size(shown), pango_font_description_get_size(wanted));
  // The family is installed, not stood in for by another.
  const std::string family = pango_font_description_get_family(wanted);
  if (family != "Sans") {
    EXPECT_STREQ(pango_font_description_get_family(used), family.c_str());
  }
  pango_font_description_free(used);
  g_object_unref(loaded);
  pango_font_description_free(wanted);
}

// Every control's text is drawn whole: not ellipsized, inside its control,
// inside its panel's border, and over no other control.
void CheckEveryTextShowsWhole() {
  for (const ControlSpec& p : kMainControls) {
    if (p.kind == ControlKind::Panel) continue;
    SCOPED_TRACE("control " + std::to_string(p.id) + " \"" + TextToUtf8(p.label) + "\"");
    GtkWidget* widget = ControlWidget(p.id);
    ASSERT_NE(widget, nullptr);
    GtkWidget* label = GTK_IS_LABEL(widget) ? widget : gtk_bin_get_child(GTK_BIN(widget));
    ASSERT_TRUE(label != nullptr && GTK_IS_LABEL(label));
    EXPECT_STREQ(gtk_label_get_text(GTK_LABEL(label)), TextToUtf8(p.label).c_str());
    PangoLayout* layout = gtk_label_get_layout(GTK_LABEL(label));
    EXPECT_FALSE(pango_layout_is_ellipsized(layout)) << "the text ends in an ellipsis";
    // Where the text is drawn: the layout's offsets are in the coordinates
    // of the window the label draws on, which is the main window's own.
    ASSERT_EQ(gtk_widget_get_window(label), gtk_widget_get_window(GTK_WIDGET(TopWindow())));
    PangoRectangle logical;
    pango_layout_get_pixel_extents(layout, nullptr, &logical);
    int offsetX = 0;
    int offsetY = 0;
    gtk_label_get_layout_offsets(GTK_LABEL(label), &offsetX, &offsetY);
    const GdkRectangle text{offsetX + logical.x, offsetY + logical.y, logical.width, logical.height};
    const GdkRectangle labelInWindow = InWindow(label);
    EXPECT_TRUE(Inside(text, labelInWindow)) << "text " << Describe(text) << " cut by its label "
                                             << Describe(labelInWindow);
    EXPECT_TRUE(Inside(text, InWindow(widget))) << "text " << Describe(text) << " cut by its control "
                                                << Describe(InWindow(widget));
    GtkWidget* area = gtk_widget_get_parent(widget);
    EXPECT_TRUE(Inside(text, InWindow(area))) << "text " << Describe(text) << " cut by its panel "
                                              << Describe(InWindow(area));
    for (const ControlSpec& other : kMainControls) {
      if (other.id == p.id || other.id == p.parent) continue;
      const GdkRectangle place = InWindow(ControlWidget(other.id));
      EXPECT_FALSE(gdk_rectangle_intersect(&text, &place, nullptr))
          << "text " << Describe(text) << " covered by control " << other.id << " " << Describe(place);
    }
  }
}

void CheckMenu() {
  struct Entry {
    int id;
    const char* label;
  };
  for (Entry e : {Entry{0, "_Open..."}, Entry{1, "_Quit"}, Entry{3, "_About..."}}) {
    GtkWidget* item = MenuEntryWidget(e.id);
    ASSERT_NE(item, nullptr) << e.id;
    EXPECT_STREQ(gtk_menu_item_get_label(GTK_MENU_ITEM(item)), e.label);
  }
  // File holds Open, a separator and Quit; Help holds About.
  GtkWidget* fileMenu = gtk_widget_get_parent(MenuEntryWidget(0));
  GList* items = gtk_container_get_children(GTK_CONTAINER(fileMenu));
  ASSERT_EQ(g_list_length(items), 3u);
  EXPECT_TRUE(GTK_IS_SEPARATOR_MENU_ITEM(g_list_nth_data(items, 1)));
  EXPECT_EQ(g_list_nth_data(items, 2), MenuEntryWidget(1));
  g_list_free(items);
  GtkWidget* fileHeading = gtk_menu_get_attach_widget(GTK_MENU(fileMenu));
  GtkWidget* helpHeading = gtk_menu_get_attach_widget(GTK_MENU(gtk_widget_get_parent(MenuEntryWidget(3))));
  EXPECT_STREQ(gtk_menu_item_get_label(GTK_MENU_ITEM(fileHeading)), "_File") << "Alt+F opens it";
  EXPECT_STREQ(gtk_menu_item_get_label(GTK_MENU_ITEM(helpHeading)), "_Help") << "Alt+H opens it";
}

int FocusedControl(GtkWindow* window) {
  GtkWidget* focus = gtk_window_get_focus(window);
  if (focus == nullptr) return -1;
  std::string name = gtk_widget_get_name(focus);
  const std::string prefix = "quorvel-control-";
  return name.rfind(prefix, 0) == 0 ? std::stoi(name.substr(prefix.size())) : -2;
}

// The controls Tab stops at: every row of the control table but the labels
// and panels, in the table's order.
std::vector<int> TabStops() {
  std::vector<int> stops;
  for (const ControlSpec& spec : kMainControls)
    if (spec.kind != ControlKind::Label && spec.kind != ControlKind::Panel) stops.push_back(spec.id);
  return stops;
}

// Tab and Shift+Tab as the window's key bindings do them.
std::vector<int> FocusWalk(GtkDirectionType direction, int steps) {
  GtkWindow* window = TopWindow();
  gtk_widget_grab_focus(ControlWidget(0));
  std::vector<int> visited{FocusedControl(window)};
  for (int i = 0; i < steps; ++i) {
    g_signal_emit_by_name(window, "move-focus", direction);
    visited.push_back(FocusedControl(window));
  }
  return visited;
}

TEST_F(gtk_window, layout_menu_and_focus_order_match_the_control_table) {
  const std::vector<int> stops = TabStops();
  const int steps = static_cast<int>(stops.size()) + 1;  // once round, and one more
  std::vector<int> forward;
  std::vector<int> backward;
  Script script;
  script.then(NoDialog(), "window up")
      .then(
          [] {
            GtkWindow* window = TopWindow();
            return window != nullptr && gtk_widget_get_mapped(GTK_WIDGET(window));
          },
          "window mapped")
      .then(Check(CheckScreenAndFont), "screen and font")
      .then(Check(CheckLayout), "layout")
      .then(Check(CheckEveryTextShowsWhole), "texts")
      .then(Check(CheckMenu), "menu")
      .then(Check([&] {
              forward = FocusWalk(GTK_DIR_TAB_FORWARD, steps);
              backward = FocusWalk(GTK_DIR_TAB_BACKWARD, steps);
            }),
            "focus walk")
      .then(ClickControl(2), "Quit");
  EXPECT_EQ(run(script), 0);
  ASSERT_TRUE(script.finished()) << script.stuckAt();

  std::vector<int> order;
  std::vector<int> reverse;
  for (std::size_t i = 0; i <= stops.size() + 1; ++i) {
    order.push_back(stops[i % stops.size()]);
    reverse.push_back(stops[(stops.size() - i % stops.size()) % stops.size()]);
  }
  EXPECT_EQ(forward, order) << "Tab runs in creation order and wraps";
  EXPECT_EQ(backward, reverse) << "Shift+Tab runs backward and wraps";
}

// What assistive technology is told: each option pair is a group of two
// radio buttons (the hidden member that holds a group's empty selection is
// not one of them), and each panel is labelled by its heading.
std::vector<AtkObject*> Targets(GtkWidget* widget, AtkRelationType type) {
  std::vector<AtkObject*> targets;
  AtkRelationSet* set = atk_object_ref_relation_set(gtk_widget_get_accessible(widget));
  if (AtkRelation* relation = atk_relation_set_get_relation_by_type(set, type)) {
    GPtrArray* found = atk_relation_get_target(relation);
    for (guint i = 0; i < found->len; ++i) targets.push_back(static_cast<AtkObject*>(g_ptr_array_index(found, i)));
  }
  g_object_unref(set);
  return targets;
}

void CheckAccessibility() {
  const std::pair<int, int> groups[] = {{ApplicationFolderOption, ProjectFolderOption},
                                        {PluginsListOnlyOption, SelectedOption}};
  for (const auto& [first, second] : groups) {
    for (int id : {first, second}) {
      SCOPED_TRACE("option " + std::to_string(id));
      AtkObject* accessible = gtk_widget_get_accessible(ControlWidget(id));
      EXPECT_EQ(atk_object_get_role(accessible), ATK_ROLE_RADIO_BUTTON);
      std::vector<AtkObject*> members = Targets(ControlWidget(id), ATK_RELATION_MEMBER_OF);
      std::sort(members.begin(), members.end());
      std::vector<AtkObject*> expected{gtk_widget_get_accessible(ControlWidget(first)),
                                       gtk_widget_get_accessible(ControlWidget(second))};
      std::sort(expected.begin(), expected.end());
      EXPECT_EQ(members, expected) << "one of " << members.size() << ", not one of two";
    }
  }
  const std::pair<int, int> panels[] = {{DestinationPanel, DestinationLabel}, {DataPanel, DataLabel}};
  for (const auto& [panel, heading] : panels) {
    SCOPED_TRACE("panel " + std::to_string(panel));
    AtkObject* headingAccessible = gtk_widget_get_accessible(ControlWidget(heading));
    EXPECT_EQ(Targets(ControlWidget(panel), ATK_RELATION_LABELLED_BY), std::vector<AtkObject*>{headingAccessible});
    EXPECT_EQ(Targets(ControlWidget(heading), ATK_RELATION_LABEL_FOR),
              std::vector<AtkObject*>{gtk_widget_get_accessible(ControlWidget(panel))});
    EXPECT_STREQ(atk_object_get_name(gtk_widget_get_accessible(ControlWidget(panel))),
                 TextToUtf8(findControlSpec(heading)->label).c_str());
  }
}

// The boxes whose labels repeat under Master and Track are heard by names of
// their own; the labels stay as they are.
void CheckDistinctNames() {
  for (const AccessibleName& entry : kAccessibleNames) {
    GtkWidget* box = ControlWidget(entry.id);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(atk_object_get_name(gtk_widget_get_accessible(box)), TextToUtf8(entry.name));
    EXPECT_EQ(gtk_button_get_label(GTK_BUTTON(box)), TextToUtf8(findControlSpec(entry.id)->label));
  }
}

TEST_F(gtk_window, assistive_technology_hears_option_pairs_and_labelled_panels) {
  Script script;
  script.then(NoDialog(), "window up")
      .then(Check(CheckAccessibility), "as the window opens")
      .then(Check(CheckDistinctNames), "the repeated Volume and Plugins boxes")
      .then(ClickControl(ProjectFolderOption), "the other destination")
      .then(ClickControl(PluginsListOnlyOption), "the other data option")
      .then(Check(CheckAccessibility), "after the user chose")
      .then(ClickControl(QuitButton), "Quit");
  EXPECT_EQ(run(script), 0);
  ASSERT_TRUE(script.finished()) << script.stuckAt();
}

// The window manager is asked for a window that can be moved, minimised and
// closed, never resized or maximised, and for a title bar with its window
// menu and close box but no minimise or maximise box (Motif hints, which
// every X11 window manager reads).
void CheckWindowManagerHints() {
  GdkWindow* window = gtk_widget_get_window(GTK_WIDGET(TopWindow()));
  ASSERT_NE(window, nullptr);
  GdkAtom type;
  gint format = 0;
  gint length = 0;
  guchar* data = nullptr;
  G_GNUC_BEGIN_IGNORE_DEPRECATIONS
  ASSERT_TRUE(gdk_property_get(window, gdk_atom_intern_static_string("_MOTIF_WM_HINTS"), GDK_NONE, 0, 5 * 4, FALSE,
                               &type, &format, &length, &data));
  G_GNUC_END_IGNORE_DEPRECATIONS
  ASSERT_EQ(format, 32);
  ASSERT_GE(length, static_cast<gint>(3 * sizeof(long)));
  const long* hints = reinterpret_cast<const long*>(data);
  const long flags = hints[0];
  const long functions = hints[1];
  const long decorations = hints[2];
  g_free(data);
  enum : long { kHasFunctions = 1, kHasDecorations = 2 };
  enum : long { kFuncResize = 1 << 1, kFuncMove = 1 << 2, kFuncMinimize = 1 << 3, kFuncMaximize = 1 << 4,
                kFuncClose = 1 << 5 };
  enum : long { kDecorBorder = 1 << 1, kDecorResize = 1 << 2, kDecorTitle = 1 << 3, kDecorMenu = 1 << 4,
                kDecorMinimize = 1 << 5, kDecorMaximize = 1 << 6 };
  ASSERT_EQ(flags & (kHasFunctions | kHasDecorations), kHasFunctions | kHasDecorations);
  EXPECT_EQ(functions & (kFuncMove | kFuncMinimize | kFuncClose), kFuncMove | kFuncMinimize | kFuncClose)
      << "the user may move, minimise and close it";
  EXPECT_EQ(functions & (kFuncResize | kFuncMaximize), 0) << "but not resize or maximise it";
  EXPECT_EQ(decorations & (kDecorBorder | kDecorTitle | kDecorMenu), kDecorBorder | kDecorTitle | kDecorMenu);
  EXPECT_EQ(decorations & (kDecorMinimize | kDecorMaximize | kDecorResize), 0) << "no minimise or maximise box";
}

TEST_F(gtk_window, the_window_may_be_minimised_but_shows_no_minimise_box) {
  Script script;
  script.then(NoDialog(), "window up")
      .then(
          [] {
            GtkWindow* window = TopWindow();
            return window != nullptr && gtk_widget_get_mapped(GTK_WIDGET(window));
          },
          "window mapped")
      .then(Check(CheckWindowManagerHints), "hints")
      .then(ClickControl(QuitButton), "Quit");
  EXPECT_EQ(run(script), 0);
  ASSERT_TRUE(script.finished()) << script.stuckAt();
}

}  // namespace

// Where a message box stands: its frame, and the main window's, in the
// desktop's pixels.
GdkRectangle FrameOf(GtkWidget* window) {
  GdkRectangle frame{0, 0, 0, 0};
  if (GdkWindow* shown = gtk_widget_get_window(window)) gdk_window_get_frame_extents(shown, &frame);
  return frame;
}

// Whether the window manager has put its frame around a window yet.
bool Framed(GtkWidget* window) {
  GdkWindow* shown = gtk_widget_get_window(window);
  if (shown == nullptr) return false;
  const GdkRectangle frame = FrameOf(window);
  return frame.width > gdk_window_get_width(shown) || frame.height > gdk_window_get_height(shown);
}

// A message stands wholly on the work area and, where it fits, centred over
// the main window; `text` is shown whole.
Script::Step MessagePlaced(const std::string& text, bool* checked) {
  return [text, checked] {
    GtkWidget* dialog = FindDialog("Information");
    if (dialog == nullptr || !gtk_widget_get_mapped(dialog)) return false;
    // The window manager frames a window some events after it is mapped:
    // until it has framed the message as it framed the main window, where the
    // message stands is not yet where the user sees it.
    if (Framed(GTK_WIDGET(TopWindow())) && !Framed(dialog)) return false;
    const GdkRectangle box = FrameOf(dialog);
    const GdkRectangle main = FrameOf(GTK_WIDGET(TopWindow()));
    const ui::DisplayRect area = ui::DisplayArea(0);
    EXPECT_EQ(MessageText(dialog), text);
    EXPECT_GE(box.x, area.x);
    EXPECT_GE(box.y, area.y);
    EXPECT_LE(box.x + box.width, area.x + area.width) << "a message no wider than the work area";
    EXPECT_LE(box.y + box.height, area.y + area.height);
    EXPECT_NEAR(box.x + box.width / 2.0, main.x + main.width / 2.0, 4.0) << "centred over the window";
    EXPECT_NEAR(box.y + box.height / 2.0, main.y + main.height / 2.0, 4.0) << "centred over the window";
    *checked = true;
    gtk_dialog_response(GTK_DIALOG(dialog), GTK_RESPONSE_OK);
    return true;
  };
}

// The message of a project named on the command line that cannot be opened
// comes before the event loop runs: it is centred over the window all the same.
TEST_F(gtk_window, a_message_at_start_up_is_centred_over_the_window) {
  bool checked = false;
  Script script;
  script.then(MessagePlaced("Couldn't open the file!", &checked), "the start-up message")
      .then(ClickControl(QuitButton), "Quit");
  script.start();
  EXPECT_EQ(runQuorvel(appFolder() + u"absent.rpp"), ShellEnd::Ended);
  ASSERT_TRUE(script.finished()) << script.stuckAt();
  EXPECT_TRUE(checked);
}

// A report whose path is far wider than the screen, which no program opens
// (an xdg-open that finds none): the message wraps the path at any character,
// fits the work area and shows the path whole.
TEST_F(gtk_window, a_message_with_a_long_path_fits_the_work_area) {
  const std::string bin = TextToUtf8(folder() + u"bin");
  std::filesystem::create_directories(bin);
  WriteBytes(TextFromUtf8(bin + "/xdg-open"), "#!/bin/sh\nexit 3\n");
  std::filesystem::permissions(bin + "/xdg-open", std::filesystem::perms::owner_all);
  const std::string searchPath = g_getenv("PATH");
  g_setenv("PATH", (bin + ":" + searchPath).c_str(), TRUE);
  const std::string name(246, 'n');
  const Text project = copyProject("basic.rpp", name + ".rpp");
  const std::string report = TextToUtf8(appFolder()) + name + ".html";
  bool checked = false;
  Script script;
  script.then(ClickControl(ExportButton), "Export")
      .then(MessagePlaced("The report was written to " + report + ", but no program is set to open HTML files.",
                          &checked),
            "the message naming the report")
      .then(ClickControl(QuitButton), "Quit");
  script.start();
  EXPECT_EQ(runQuorvel(project), ShellEnd::Ended);
  g_setenv("PATH", searchPath.c_str(), TRUE);
  ASSERT_TRUE(script.finished()) << script.stuckAt();
  EXPECT_TRUE(checked);
  EXPECT_TRUE(FileExists(TextFromUtf8(report)));
}
