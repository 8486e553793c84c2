// The window toolkit on GTK 3 (Linux and other X11/Wayland desktops).
//
// Units of 1/96 inch become GTK pixels through the screen resolution, or
// through more when the fonts need it: after each control (and each menu
// heading) the whole layout is measured again, and every unit is made large
// enough that each control's natural size fits its box (a panel's child fits
// the panel too) and the menu bar fits the room the layout leaves above the
// controls. So no text is ever cut, whatever the font, and the window keeps
// its proportions; it keeps the centre it was asked for. The main window
// holds a vertical box: the menu bar on top and, below it, a GtkFixed with
// the controls at their scaled positions; a panel is a framed GtkFixed of its
// own. Every control and menu entry carries the widget name
// "quorvel-control-<id>" / "quorvel-menu-<id>", so that tools and tests can
// find it.
//
// Option groups: GTK has no group with nothing selected, so a group starts
// with a hidden member holding the selection; it leaves the group as soon as
// one of the group's options is selected (and comes back only when the
// program clears the selection), so assistive technology sees the options
// alone.
//
// Files dropped on the main window come as a text/uri-list (a file
// manager's drag); the desktop's opener reports from a thread of its own,
// through g_idle_add, so both arrive as events of the main loop.
//
// Events: push buttons, check boxes and options report "clicked"; a flag
// silences the handlers while the program sets a state, and an option that
// a click has just cleared reports nothing, so one activation by the user
// gives exactly one ControlEvent, for the control the user activated.
#include "app/ui/toolkit.h"
#include "runtime/utf8.h"

#include <gtk/gtk.h>

#include <algorithm>
#include <clocale>
#include <cmath>
#include <deque>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace ui {
namespace {

enum class Kind { PushButton, Label, Option, CheckBox, Panel };

struct Control {
  Kind kind;
  GtkWidget* widget;
  GtkWidget* area;  // the GtkFixed it stands in
  std::int32_t x, y, width, height;  // units, from the area's top-left corner
};

// A panel: its id, its frame and the frame's border in pixels.
struct Panel {
  std::int32_t id;
  GtkWidget* frame;
  int borderWidth;
  int borderHeight;
  bool hasHeading;
};

struct Event {
  std::int32_t kind;
  std::int32_t origin;
  OpenedDocument document;   // DocumentOpenedEvent
  std::vector<Text> files;   // FilesDroppedEvent
};

struct Toolkit {
  bool initialized = false;
  double screenScale = 1.0;                // pixels per unit at the screen's resolution
  double scale = 1.0;                      // pixels per unit of the layout: screenScale or more
  // The main window as asked for, in units: outer top-left corner and inner size.
  std::int32_t windowX = 0, windowY = 0, windowWidth = 0, windowHeight = 0;
  std::map<std::int32_t, GtkWidget*> windows;
  GtkWidget* currentWindow = nullptr;      // the window new controls and menus go into
  GtkWidget* currentBox = nullptr;         // its vertical box (menu bar, then the area)
  GtkWidget* windowArea = nullptr;         // the window's GtkFixed
  std::vector<GtkWidget*> openPanels;      // GtkFixed of each open panel, innermost last
  GtkWidget* menuBar = nullptr;
  GtkWidget* currentMenu = nullptr;        // the menu of the last heading
  GtkAccelGroup* shortcuts = nullptr;      // the Ctrl shortcuts of the menu entries
  Text failureReason;                      // why InitializeToolkit failed
  std::map<std::int32_t, Control> controls;
  std::vector<std::int32_t> creationOrder;
  std::map<GtkWidget*, Panel> panels;      // by the GtkFixed inside the frame
  // The focus order of each area: its focusable children in creation order.
  std::map<GtkWidget*, std::vector<GtkWidget*>> focusOrder;
  // The option group being built: its hidden first member and its parent.
  GtkWidget* groupAnchor = nullptr;
  GtkWidget* groupParent = nullptr;
  std::vector<GtkWidget*> anchors;         // hidden members owned here
  std::map<gpointer, std::vector<GtkWidget*>> groups;  // options by group anchor, in creation order
  int settingState = 0;                    // >0 while the program changes states
  std::deque<Event> events;
  std::int32_t lastOrigin = 0;
  OpenedDocument lastDocument;
  std::vector<Text> lastFiles;
  // Counts shut-downs: an opener's outcome that arrives after the toolkit it
  // was started under has gone is dropped.
  std::uint64_t generation = 0;
};

Toolkit& State() {
  static Toolkit toolkit;
  return toolkit;
}

std::string Utf8(TextView text) { return TextToUtf8(text); }

// File names in the system's bytes, and back.
std::string NativePath(TextView path) { return NativePathFromText(path); }
Text TextFromNative(const char* path) { return TextFromNativePath(path); }

int Scaled(std::int32_t units) { return static_cast<int>(std::lround(units * State().scale)); }

// "&" marks the mnemonic: GTK marks it with "_", so literal underscores are
// doubled and "&&" stands for a literal "&". A text without a marked letter
// answers to its first one, as the Windows menu does.
std::string MnemonicLabel(TextView text) {
  std::string in = Utf8(text);
  std::string out;
  bool marked = false;
  for (std::size_t i = 0; i < in.size(); ++i) {
    if (in[i] == '&') {
      if (i + 1 < in.size() && in[i + 1] == '&') {
        out += '&';
        ++i;
      } else if (i + 1 < in.size()) {
        out += '_';
        marked = true;
      }
    } else if (in[i] == '_') {
      out += "__";
    } else {
      out += in[i];
    }
  }
  if (!marked && !out.empty() && out[0] != '_') out.insert(0, 1, '_');
  return out;
}

void QueueEvent(std::int32_t kind, std::int32_t origin) { State().events.push_back(Event{kind, origin, {}, {}}); }

std::int32_t IdOf(gpointer data) { return static_cast<std::int32_t>(GPOINTER_TO_INT(data)); }

void OnButtonClicked(GtkButton*, gpointer data) {
  if (State().settingState > 0) return;
  QueueEvent(ControlEvent, IdOf(data));
}

// A click on one option clears the selected one, which reports "clicked"
// too: only the option that ends up selected was activated by the user.
// The hidden member of an option's group, which holds the selection while
// none of the options has it.
GtkWidget* AnchorOf(GtkWidget* option) {
  return static_cast<GtkWidget*>(g_object_get_data(G_OBJECT(option), "quorvel-option-group"));
}

// An option of the group is selected: the hidden member leaves the group.
// Called once GTK has finished moving the selection, never from inside it.
void ReleaseAnchor(GtkWidget* option) {
  GtkWidget* anchor = AnchorOf(option);
  if (anchor == nullptr || !gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(option))) return;
  if (g_slist_find(gtk_radio_button_get_group(GTK_RADIO_BUTTON(option)), anchor) == nullptr) return;
  ++State().settingState;
  gtk_radio_button_join_group(GTK_RADIO_BUTTON(anchor), nullptr);
  --State().settingState;
}

void OnOptionClicked(GtkButton* button, gpointer data) {
  if (State().settingState > 0) return;
  if (!gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(button))) return;
  ReleaseAnchor(GTK_WIDGET(button));
  QueueEvent(ControlEvent, IdOf(data));
}

// GTK lets Tab reach only the selected option of a group; here every option
// is a stop of its own, as the focus order of the controls says. Arrow keys
// move the selection through the group in creation order, wrapping at its
// ends, and the option they select reports like a click.
gboolean OnOptionFocus(GtkWidget* widget, GtkDirectionType direction, gpointer) {
  if (direction == GTK_DIR_TAB_FORWARD || direction == GTK_DIR_TAB_BACKWARD) {
    if (gtk_widget_is_focus(widget)) return FALSE;  // move on to the next stop
    if (!gtk_widget_get_can_focus(widget) || !gtk_widget_is_sensitive(widget)) return FALSE;
    gtk_widget_grab_focus(widget);
    return TRUE;
  }
  if (!gtk_widget_is_focus(widget)) return FALSE;
  auto group = State().groups.find(AnchorOf(widget));
  if (group == State().groups.end()) return FALSE;
  const std::vector<GtkWidget*>& members = group->second;
  const bool forward = direction == GTK_DIR_DOWN || direction == GTK_DIR_RIGHT;
  std::size_t at = 0;
  while (at < members.size() && members[at] != widget) ++at;
  if (at == members.size()) return FALSE;
  for (std::size_t step = 1; step < members.size(); ++step) {
    GtkWidget* next = members[(at + (forward ? step : members.size() - step)) % members.size()];
    if (!gtk_widget_get_mapped(next) || !gtk_widget_is_sensitive(next)) continue;
    gtk_widget_grab_focus(next);
    if (!gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(next))) gtk_button_clicked(GTK_BUTTON(next));
    return TRUE;
  }
  return TRUE;  // a group of one: the focus stays
}

void OnMenuActivate(GtkMenuItem*, gpointer data) { QueueEvent(MenuEvent, IdOf(data)); }

// Files dropped from a file manager come as a text/uri-list; those that are
// local files become one FilesDroppedEvent.
void OnDragDataReceived(GtkWidget*, GdkDragContext*, gint, gint, GtkSelectionData* data, guint, guint) {
  std::vector<Text> files;
  if (gchar** uris = gtk_selection_data_get_uris(data)) {
    for (gchar** uri = uris; *uri != nullptr; ++uri) {
      if (gchar* file = g_filename_from_uri(*uri, nullptr, nullptr)) {
        files.push_back(TextFromNativePath(file));
        g_free(file);
      }
    }
    g_strfreev(uris);
  }
  if (!files.empty()) State().events.push_back(Event{FilesDroppedEvent, 0, {}, std::move(files)});
}

// The outcome of a document handed on, brought to the main loop by GLib.
struct OpenerVerdict {
  std::uint64_t generation;
  OpenedDocument document;
};

gboolean DeliverOpenerVerdict(gpointer data) {
  std::unique_ptr<OpenerVerdict> verdict(static_cast<OpenerVerdict*>(data));
  Toolkit& t = State();
  if (t.initialized && verdict->generation == t.generation)
    t.events.push_back(Event{DocumentOpenedEvent, 0, std::move(verdict->document), {}});
  return G_SOURCE_REMOVE;
}

gboolean OnDeleteEvent(GtkWidget*, GdkEvent*, gpointer) {
  QueueEvent(CloseWindowEvent, 0);
  return TRUE;  // the window stays open; the program decides
}

void ApplyFocusOrder(GtkWidget* area) {
  std::vector<GtkWidget*>& order = State().focusOrder[area];
  GList* chain = nullptr;
  for (GtkWidget* widget : order) chain = g_list_append(chain, widget);
  G_GNUC_BEGIN_IGNORE_DEPRECATIONS
  gtk_container_set_focus_chain(GTK_CONTAINER(area), chain);
  G_GNUC_END_IGNORE_DEPRECATIONS
  g_list_free(chain);
}

GtkWidget* CurrentArea() {
  Toolkit& t = State();
  return t.openPanels.empty() ? t.windowArea : t.openPanels.back();
}

void EndOptionGroup() {
  State().groupAnchor = nullptr;
  State().groupParent = nullptr;
}

// Should the layout ever leave a text too little room, it is cut with an
// ellipsis rather than drawn over its neighbours.
void FitLabel(GtkWidget* label) {
  if (GTK_IS_LABEL(label)) gtk_label_set_ellipsize(GTK_LABEL(label), PANGO_ELLIPSIZE_END);
}

// The size a widget asks for by itself (an ellipsizing label asks for its
// whole text), apart from the size it is given.
void NaturalSize(GtkWidget* widget, int* width, int* height) {
  int givenWidth = -1;
  int givenHeight = -1;
  gtk_widget_get_size_request(widget, &givenWidth, &givenHeight);
  gtk_widget_set_size_request(widget, -1, -1);
  gtk_widget_get_preferred_width(widget, nullptr, width);
  gtk_widget_get_preferred_height(widget, nullptr, height);
  gtk_widget_set_size_request(widget, givenWidth, givenHeight);
}

// Pixels per unit that give `pixels` at least `units` units; 0 when the
// units are none.
double ScaleFor(int pixels, std::int32_t units) { return units > 0 ? static_cast<double>(pixels) / units : 0.0; }

bool HoldsText(Kind kind) { return kind == Kind::Label || kind == Kind::Option || kind == Kind::CheckBox; }

// The border a control's area keeps on its right and bottom edges, in
// pixels: a panel's frame, nothing for the window.
void AreaBorder(const Control& c, int* width, int* height) {
  auto panel = State().panels.find(c.area);
  *width = panel != State().panels.end() ? panel->second.borderWidth : 0;
  *height = panel != State().panels.end() ? panel->second.borderHeight : 0;
}

// How far right a control may reach, in units from its area's left edge: the
// area's inner edge, or the nearest control standing to its right in any of
// its rows. A text control (label, option, check box) may widen up to there
// when its text needs more than its box.
std::int32_t RightLimit(const Control& c) {
  Toolkit& t = State();
  auto panel = t.panels.find(c.area);
  std::int32_t limit = panel != t.panels.end() ? t.controls.at(panel->second.id).width : t.windowWidth;
  for (const auto& [id, other] : t.controls) {
    if (other.area != c.area || other.widget == c.widget || other.x <= c.x) continue;
    if (other.y < c.y + c.height && c.y < other.y + other.height) limit = std::min(limit, other.x);
  }
  return limit;
}

// The lowest edge of an area's controls, in units.
std::int32_t LowestEdge(const Control& c) {
  auto panel = State().panels.find(c.area);
  return panel != State().panels.end() ? State().controls.at(panel->second.id).height : State().windowHeight;
}

// The smallest scale, at least the screen's, at which every control's
// natural size fits: a push button its box, a text control the room up to
// its right limit, every control its height and its area's bottom edge; and
// the menu bar fits above the lowest control of the window.
double LayoutScale() {
  Toolkit& t = State();
  double scale = t.screenScale;
  std::int32_t lowest = 0;
  for (const auto& [id, c] : t.controls) {
    if (c.area == t.windowArea) lowest = std::max(lowest, c.y + c.height);
    if (c.kind == Kind::Panel) continue;
    int width = 0;
    int height = 0;
    NaturalSize(c.widget, &width, &height);
    int borderWidth = 0;
    int borderHeight = 0;
    AreaBorder(c, &borderWidth, &borderHeight);
    const double across = HoldsText(c.kind) ? ScaleFor(width + borderWidth, RightLimit(c) - c.x)
                                            : ScaleFor(width, c.width);
    scale = std::max({scale, across, ScaleFor(height, c.height),
                      ScaleFor(height + borderHeight, LowestEdge(c) - c.y)});
  }
  if (t.menuBar != nullptr && t.windowHeight > lowest) {
    int width = 0;
    int height = 0;
    NaturalSize(t.menuBar, &width, &height);
    scale = std::max(scale, ScaleFor(height, t.windowHeight - lowest));
  }
  return scale;
}

// Places the window and every control at the layout's scale.
void Relayout() {
  Toolkit& t = State();
  if (t.currentWindow == nullptr) return;
  t.scale = LayoutScale();
  gtk_widget_set_size_request(t.currentBox, Scaled(t.windowWidth), Scaled(t.windowHeight));
  for (std::int32_t id : t.creationOrder) {
    const Control& c = t.controls.at(id);
    int borderWidth = 0;
    int borderHeight = 0;
    AreaBorder(c, &borderWidth, &borderHeight);
    const int room = std::max(0, Scaled(RightLimit(c)) - borderWidth - Scaled(c.x));
    int width = Scaled(c.width);
    if (HoldsText(c.kind)) {
      int natural = 0;
      int ignored = 0;
      NaturalSize(c.widget, &natural, &ignored);
      width = std::max(width, natural);
    }
    gtk_fixed_move(GTK_FIXED(c.area), c.widget, Scaled(c.x), Scaled(c.y));
    gtk_widget_set_size_request(c.widget, std::min(width, room), Scaled(c.height));
  }
  // The centre stays where the caller put it at the screen's scale.
  const double centreX = (t.windowX + t.windowWidth / 2.0) * t.screenScale;
  const double centreY = (t.windowY + t.windowHeight / 2.0) * t.screenScale;
  gtk_window_move(GTK_WINDOW(t.currentWindow), static_cast<int>(std::lround(centreX - Scaled(t.windowWidth) / 2.0)),
                  static_cast<int>(std::lround(centreY - Scaled(t.windowHeight) / 2.0)));
}

// Places a new control in the current area; `focusable` adds it to the focus order.
bool Place(std::int32_t id, Kind kind, GtkWidget* widget, std::int32_t x, std::int32_t y, std::int32_t width,
           std::int32_t height, bool focusable) {
  Toolkit& t = State();
  GtkWidget* area = CurrentArea();
  if (area == nullptr || t.controls.count(id) != 0) {
    g_object_ref_sink(widget);
    gtk_widget_destroy(widget);
    g_object_unref(widget);
    return false;
  }
  std::string name = "quorvel-control-" + std::to_string(id);
  gtk_widget_set_name(widget, name.c_str());
  gtk_fixed_put(GTK_FIXED(area), widget, Scaled(x), Scaled(y));
  gtk_widget_show_all(widget);  // hidden widgets measure 0
  if (focusable) {
    t.focusOrder[area].push_back(widget);
    ApplyFocusOrder(area);
    // The window opens with the focus on its first control, as on Windows.
    if (gtk_widget_get_can_focus(widget) && gtk_window_get_focus(GTK_WINDOW(t.currentWindow)) == nullptr)
      gtk_window_set_focus(GTK_WINDOW(t.currentWindow), widget);
  }
  t.controls[id] = Control{kind, widget, area, x, y, std::max(0, width), std::max(0, height)};
  t.creationOrder.push_back(id);
  Relayout();
  return true;
}

GtkWidget* ControlWidget(std::int32_t id, Kind* kind = nullptr) {
  auto found = State().controls.find(id);
  if (found == State().controls.end()) return nullptr;
  if (kind != nullptr) *kind = found->second.kind;
  return found->second.widget;
}

// Controls have fixed sizes: push buttons keep little side padding so that
// their text has the room, check boxes and options no vertical padding so
// that they fit their rows.
void FitStyle(GtkWidget* widget) {
  static GtkCssProvider* provider = nullptr;
  if (provider == nullptr) {
    provider = gtk_css_provider_new();
    gtk_css_provider_load_from_data(provider,
                                    "button { padding-left: 2px; padding-right: 2px; }\n"
                                    "checkbutton, radiobutton { padding-top: 0; padding-bottom: 0; "
                                    "min-height: 0; }\n",
                                    -1, nullptr);
  }
  gtk_style_context_add_provider(gtk_widget_get_style_context(widget), GTK_STYLE_PROVIDER(provider),
                                 GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
}

double ScreenScale() {
  GdkScreen* screen = gdk_screen_get_default();
  double dpi = screen != nullptr ? gdk_screen_get_resolution(screen) : -1.0;
  return dpi > 0 ? dpi / 96.0 : 1.0;
}

// The monitors with the primary one first, then the rest in the display's order.
std::vector<GdkMonitor*> Monitors() {
  std::vector<GdkMonitor*> monitors;
  GdkDisplay* display = gdk_display_get_default();
  if (display == nullptr) return monitors;
  GdkMonitor* primary = gdk_display_get_primary_monitor(display);
  if (primary != nullptr) monitors.push_back(primary);
  int count = gdk_display_get_n_monitors(display);
  for (int i = 0; i < count; ++i) {
    GdkMonitor* monitor = gdk_display_get_monitor(display, i);
    if (monitor != nullptr && monitor != primary) monitors.push_back(monitor);
  }
  return monitors;
}

// The part of a monitor that panels and docks leave to windows.
GdkRectangle MonitorWorkArea(std::int32_t index) {
  GdkRectangle area{0, 0, 0, 0};
  std::vector<GdkMonitor*> monitors = Monitors();
  if (index >= 0 && static_cast<std::size_t>(index) < monitors.size())
    gdk_monitor_get_workarea(monitors[static_cast<std::size_t>(index)], &area);
  return area;
}

// The work area of the monitor the main window stands on (the primary
// monitor while there is none).
GdkRectangle MessageWorkArea() {
  GdkRectangle area{0, 0, 0, 0};
  GdkDisplay* display = gdk_display_get_default();
  GtkWidget* window = State().currentWindow;
  GdkMonitor* monitor = nullptr;
  if (display != nullptr && window != nullptr && gtk_widget_get_window(window) != nullptr)
    monitor = gdk_display_get_monitor_at_window(display, gtk_widget_get_window(window));
  if (monitor != nullptr) {
    gdk_monitor_get_workarea(monitor, &area);
    return area;
  }
  return MonitorWorkArea(0);
}

// The centre of the main window's frame: where the window system has it once
// it is on the screen, where it was asked to be before (a message at
// start-up); the work area's centre without a window.
void MainWindowCentre(const GdkRectangle& area, int* x, int* y) {
  Toolkit& t = State();
  *x = area.x + area.width / 2;
  *y = area.y + area.height / 2;
  if (t.currentWindow == nullptr) return;
  GdkWindow* shown = gtk_widget_get_window(t.currentWindow);
  if (shown != nullptr && gdk_window_is_viewable(shown)) {
    GdkRectangle frame{0, 0, 0, 0};
    gdk_window_get_frame_extents(shown, &frame);
    // Mapped a moment ago, the window may not have its size yet (a message
    // at start-up): the frame then has the size the window will take.
    GtkRequisition size{0, 0};
    gtk_widget_get_preferred_size(t.currentWindow, nullptr, &size);
    if (gtk_widget_get_allocated_width(t.currentWindow) != size.width ||
        gtk_widget_get_allocated_height(t.currentWindow) != size.height) {
      frame.width = std::max(frame.width, size.width);
      frame.height = std::max(frame.height, size.height);
    }
    *x = frame.x + frame.width / 2;
    *y = frame.y + frame.height / 2;
    return;
  }
  *x = static_cast<int>(std::lround((t.windowX + t.windowWidth / 2.0) * t.screenScale));
  *y = static_cast<int>(std::lround((t.windowY + t.windowHeight / 2.0) * t.screenScale));
}

// A message never wider than the work area: its texts wrap, at any character
// where a word (a long path) does not fit and without added hyphens, and get narrower until the dialog
// fits; then it is centred over the main window and moved wholly onto the
// work area.
void PlaceMessage(GtkWidget* dialog) {
  const GdkRectangle area = MessageWorkArea();
  std::vector<GtkLabel*> labels;
  GList* children = gtk_container_get_children(
      GTK_CONTAINER(gtk_message_dialog_get_message_area(GTK_MESSAGE_DIALOG(dialog))));
  for (GList* child = children; child != nullptr; child = child->next)
    if (GTK_IS_LABEL(child->data)) labels.push_back(GTK_LABEL(child->data));
  g_list_free(children);
  for (GtkLabel* label : labels) {
    gtk_label_set_line_wrap(label, TRUE);
    gtk_label_set_line_wrap_mode(label, PANGO_WRAP_WORD_CHAR);
    // A path cut inside a name gets no hyphen that it does not have.
    PangoAttrList* attributes = pango_attr_list_new();
    pango_attr_list_insert(attributes, pango_attr_insert_hyphens_new(FALSE));
    gtk_label_set_attributes(label, attributes);
    pango_attr_list_unref(attributes);
  }
  int width = 0;
  gtk_widget_get_preferred_width(dialog, nullptr, &width);
  for (int chars = 60; area.width > 0 && width > area.width && chars > 4; chars = chars * 3 / 4) {
    for (GtkLabel* label : labels) gtk_label_set_max_width_chars(label, chars);
    gtk_widget_get_preferred_width(dialog, nullptr, &width);
  }
  int height = 0;
  gtk_widget_get_preferred_height_for_width(dialog, width, nullptr, &height);
  int centreX = 0;
  int centreY = 0;
  MainWindowCentre(area, &centreX, &centreY);
  const int x = std::max(area.x, std::min(centreX - width / 2, area.x + area.width - width));
  const int y = std::max(area.y, std::min(centreY - height / 2, area.y + area.height - height));
  gtk_window_set_position(GTK_WINDOW(dialog), GTK_WIN_POS_NONE);
  gtk_window_move(GTK_WINDOW(dialog), x, y);
}

GtkWindow* DialogParent() {
  GtkWidget* window = State().currentWindow;
  return window != nullptr ? GTK_WINDOW(window) : nullptr;
}

// One pattern in any letter case: each ASCII letter outside brackets
// becomes a bracket of its two cases ("*.rpp" matches "SONG.RPP" too).
std::string AnyCasePattern(const std::string& pattern) {
  std::string out;
  bool inBrackets = false;
  for (char c : pattern) {
    unsigned char u = static_cast<unsigned char>(c);
    if (!inBrackets && g_ascii_isalpha(u)) {
      out += '[';
      out += static_cast<char>(g_ascii_tolower(u));
      out += static_cast<char>(g_ascii_toupper(u));
      out += ']';
      continue;
    }
    if (c == '[') inBrackets = true;
    if (c == ']') inBrackets = false;
    out += c;
  }
  return out;
}

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (true) {
    std::size_t end = text.find(separator, start);
    parts.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return parts;
}

// description|pattern pairs; a pattern may list several globs separated by ";".
std::vector<GtkFileFilter*> MakeFilters(TextView patterns) {
  std::vector<GtkFileFilter*> filters;
  if (patterns.empty()) return filters;
  std::vector<std::string> parts = Split(Utf8(patterns), '|');
  for (std::size_t i = 0; i + 1 < parts.size(); i += 2) {
    GtkFileFilter* filter = gtk_file_filter_new();
    gtk_file_filter_set_name(filter, parts[i].c_str());
    for (const std::string& glob : Split(parts[i + 1], ';'))
      if (!glob.empty()) gtk_file_filter_add_pattern(filter, AnyCasePattern(glob).c_str());
    filters.push_back(filter);
  }
  return filters;
}

}  // namespace

bool InitializeToolkit() {
  Toolkit& t = State();
  if (!t.initialized) {
    // The user's locale for everything but numbers, which keep "." as the point.
    gtk_disable_setlocale();
    std::setlocale(LC_ALL, "");
    std::setlocale(LC_NUMERIC, "C");
    t.failureReason.clear();
    if (!gtk_init_check(nullptr, nullptr)) {
      const gchar* name = g_getenv("DISPLAY");
      if (name == nullptr || *name == '\0') name = g_getenv("WAYLAND_DISPLAY");
      t.failureReason = name != nullptr && *name != '\0'
                            ? u"cannot open display " + TextFromUtf8(name)
                            : Text(u"cannot open display (neither DISPLAY nor WAYLAND_DISPLAY is set)");
      return false;
    }
    std::setlocale(LC_NUMERIC, "C");
    t.initialized = true;
  }
  t.screenScale = t.scale = ScreenScale();
  return true;
}

Text ToolkitFailureReason() { return State().failureReason; }

void ShutdownToolkit() {
  Toolkit& t = State();
  if (!t.initialized) return;
  for (auto& [number, window] : t.windows) gtk_widget_destroy(window);
  for (GtkWidget* anchor : t.anchors) {
    gtk_widget_destroy(anchor);
    g_object_unref(anchor);
  }
  t.windows.clear();
  t.anchors.clear();
  t.groups.clear();
  t.controls.clear();
  t.creationOrder.clear();
  t.panels.clear();
  t.focusOrder.clear();
  t.openPanels.clear();
  t.currentWindow = t.currentBox = t.windowArea = t.menuBar = t.currentMenu = nullptr;
  t.shortcuts = nullptr;
  EndOptionGroup();
  t.events.clear();
  t.lastOrigin = 0;
  t.lastDocument = OpenedDocument{};
  t.lastFiles.clear();
  ++t.generation;
  t.settingState = 0;
  while (gtk_events_pending()) gtk_main_iteration_do(FALSE);
}

bool CreateTopWindow(std::int32_t number, std::int32_t x, std::int32_t y, std::int32_t width,
                     std::int32_t height, TextView title) {
  Toolkit& t = State();
  if (!t.initialized || t.windows.count(number) != 0) return false;
  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  if (window == nullptr) return false;
  gtk_window_set_title(GTK_WINDOW(window), Utf8(title).c_str());
  // The icon installed under the program's name, as the desktop entry names it.
  if (const gchar* program = g_get_prgname()) gtk_window_set_icon_name(GTK_WINDOW(window), program);
  gtk_window_set_resizable(GTK_WINDOW(window), FALSE);
  gtk_window_set_gravity(GTK_WINDOW(window), GDK_GRAVITY_NORTH_WEST);
  g_signal_connect(window, "delete-event", G_CALLBACK(OnDeleteEvent), nullptr);
  // Projects dropped from a file manager anywhere on the window.
  gtk_drag_dest_set(window, GTK_DEST_DEFAULT_ALL, nullptr, 0, GDK_ACTION_COPY);
  gtk_drag_dest_add_uri_targets(window);
  g_signal_connect(window, "drag-data-received", G_CALLBACK(OnDragDataReceived), nullptr);

  // The inner area is exactly width x height units; a menu bar attached
  // later takes its height from the controls' area below it.
  GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 0);
  GtkWidget* area = gtk_fixed_new();
  gtk_box_pack_end(GTK_BOX(box), area, TRUE, TRUE, 0);
  gtk_container_add(GTK_CONTAINER(window), box);

  // Title bar with close box and no minimise or maximise box; the window
  // manager may still minimise it (Super+H, Alt+F9), but not resize it.
  gtk_widget_realize(window);
  if (GdkWindow* gdkWindow = gtk_widget_get_window(window)) {
    gdk_window_set_functions(gdkWindow,
                             static_cast<GdkWMFunction>(GDK_FUNC_MOVE | GDK_FUNC_MINIMIZE | GDK_FUNC_CLOSE));
    gdk_window_set_decorations(gdkWindow, static_cast<GdkWMDecoration>(GDK_DECOR_BORDER | GDK_DECOR_TITLE |
                                                                       GDK_DECOR_MENU));
  }

  t.windows[number] = window;
  t.currentWindow = window;
  t.currentBox = box;
  t.windowArea = area;
  t.windowX = x;
  t.windowY = y;
  t.windowWidth = width;
  t.windowHeight = height;
  t.openPanels.clear();
  t.menuBar = t.currentMenu = nullptr;
  t.shortcuts = nullptr;
  EndOptionGroup();
  Relayout();
  gtk_widget_show_all(window);
  gtk_window_present(GTK_WINDOW(window));
  return true;
}

bool AttachMenuBar(std::int32_t window) {
  Toolkit& t = State();
  auto found = t.windows.find(window);
  if (found == t.windows.end() || found->second != t.currentWindow || t.menuBar != nullptr) return false;
  t.menuBar = gtk_menu_bar_new();
  t.shortcuts = gtk_accel_group_new();
  gtk_window_add_accel_group(GTK_WINDOW(t.currentWindow), t.shortcuts);
  g_object_unref(t.shortcuts);  // the window holds it
  gtk_box_pack_start(GTK_BOX(t.currentBox), t.menuBar, FALSE, FALSE, 0);
  gtk_widget_show(t.menuBar);
  t.currentMenu = nullptr;
  Relayout();
  return true;
}

void AddMenuHeading(TextView text) {
  Toolkit& t = State();
  if (t.menuBar == nullptr) return;
  GtkWidget* heading = gtk_menu_item_new_with_mnemonic(MnemonicLabel(text).c_str());
  GtkWidget* menu = gtk_menu_new();
  gtk_menu_item_set_submenu(GTK_MENU_ITEM(heading), menu);
  gtk_menu_shell_append(GTK_MENU_SHELL(t.menuBar), heading);
  gtk_widget_show_all(heading);
  t.currentMenu = menu;
  Relayout();
}

void AddMenuEntry(std::int32_t id, TextView text, char16_t controlKey) {
  Toolkit& t = State();
  if (t.currentMenu == nullptr) return;
  GtkWidget* entry = gtk_menu_item_new_with_mnemonic(MnemonicLabel(text).c_str());
  // Bound to the window and shown at the entry's right edge ("Ctrl+O").
  if (controlKey != 0 && t.shortcuts != nullptr)
    gtk_widget_add_accelerator(entry, "activate", t.shortcuts, gdk_keyval_to_lower(gdk_unicode_to_keyval(controlKey)),
                               GDK_CONTROL_MASK, GTK_ACCEL_VISIBLE);
  gtk_widget_set_name(entry, ("quorvel-menu-" + std::to_string(id)).c_str());
  g_signal_connect(entry, "activate", G_CALLBACK(OnMenuActivate), GINT_TO_POINTER(id));
  gtk_menu_shell_append(GTK_MENU_SHELL(t.currentMenu), entry);
  gtk_widget_show(entry);
}

void AddMenuSeparator() {
  Toolkit& t = State();
  if (t.currentMenu == nullptr) return;
  GtkWidget* separator = gtk_separator_menu_item_new();
  gtk_menu_shell_append(GTK_MENU_SHELL(t.currentMenu), separator);
  gtk_widget_show(separator);
}

void AddPushButton(std::int32_t id, std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height,
                   TextView text) {
  EndOptionGroup();
  GtkWidget* button = gtk_button_new_with_label(Utf8(text).c_str());
  FitLabel(gtk_bin_get_child(GTK_BIN(button)));
  FitStyle(button);
  g_signal_connect(button, "clicked", G_CALLBACK(OnButtonClicked), GINT_TO_POINTER(id));
  Place(id, Kind::PushButton, button, x, y, width, height, true);
}

void AddLabel(std::int32_t id, std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height,
              TextView text) {
  EndOptionGroup();
  GtkWidget* label = gtk_label_new(Utf8(text).c_str());
  gtk_label_set_xalign(GTK_LABEL(label), 0.0f);
  gtk_label_set_yalign(GTK_LABEL(label), 0.0f);
  FitLabel(label);
  gtk_widget_set_can_focus(label, FALSE);
  GtkWidget* area = CurrentArea();
  if (!Place(id, Kind::Label, label, x, y, width, height, false)) return;
  // The first label of a panel is its heading: assistive technology reads
  // the panel as labelled by it.
  auto panel = State().panels.find(area);
  if (panel == State().panels.end() || panel->second.hasHeading) return;
  panel->second.hasHeading = true;
  AtkObject* frame = gtk_widget_get_accessible(panel->second.frame);
  AtkObject* heading = gtk_widget_get_accessible(label);
  atk_object_set_name(frame, Utf8(text).c_str());
  atk_object_add_relationship(frame, ATK_RELATION_LABELLED_BY, heading);
  atk_object_add_relationship(heading, ATK_RELATION_LABEL_FOR, frame);
}

void AddOptionButton(std::int32_t id, std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height,
                     TextView text) {
  Toolkit& t = State();
  GtkWidget* area = CurrentArea();
  if (t.groupAnchor == nullptr || t.groupParent != area) {
    // A hidden first member holds the selection while no option of the
    // group is selected: GTK has no other way to show a group with none.
    GtkWidget* anchor = gtk_radio_button_new(nullptr);
    g_object_ref_sink(anchor);
    t.anchors.push_back(anchor);
    t.groupAnchor = anchor;
    t.groupParent = area;
  }
  GtkWidget* option = gtk_radio_button_new_with_label_from_widget(GTK_RADIO_BUTTON(t.groupAnchor),
                                                                   Utf8(text).c_str());
  FitLabel(gtk_bin_get_child(GTK_BIN(option)));
  FitStyle(option);
  g_signal_connect(option, "clicked", G_CALLBACK(OnOptionClicked), GINT_TO_POINTER(id));
  g_signal_connect(option, "focus", G_CALLBACK(OnOptionFocus), nullptr);
  g_object_set_data(G_OBJECT(option), "quorvel-option-group", t.groupAnchor);
  t.groups[t.groupAnchor].push_back(option);
  Place(id, Kind::Option, option, x, y, width, height, true);
}

void AddCheckBox(std::int32_t id, std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height,
                 TextView text) {
  EndOptionGroup();
  GtkWidget* box = gtk_check_button_new_with_label(Utf8(text).c_str());
  FitLabel(gtk_bin_get_child(GTK_BIN(box)));
  FitStyle(box);
  g_signal_connect(box, "clicked", G_CALLBACK(OnButtonClicked), GINT_TO_POINTER(id));
  Place(id, Kind::CheckBox, box, x, y, width, height, true);
}

void BeginPanel(std::int32_t id, std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height) {
  EndOptionGroup();
  GtkWidget* frame = gtk_frame_new(nullptr);
  gtk_frame_set_shadow_type(GTK_FRAME(frame), GTK_SHADOW_IN);
  GtkWidget* inside = gtk_fixed_new();
  gtk_container_add(GTK_CONTAINER(frame), inside);
  // The frame's border: what the empty frame measures by itself.
  int borderWidth = 0;
  int borderHeight = 0;
  gtk_widget_show_all(frame);
  NaturalSize(frame, &borderWidth, &borderHeight);
  State().panels[inside] = Panel{id, frame, borderWidth, borderHeight, false};
  // The panel is a stop of its parent's focus order, entered in place; a
  // panel without focusable children is passed over by GTK.
  if (!Place(id, Kind::Panel, frame, x, y, width, height, true)) {
    State().panels.erase(inside);
    return;
  }
  State().openPanels.push_back(inside);
}

void EndPanel() {
  EndOptionGroup();
  if (!State().openPanels.empty()) State().openPanels.pop_back();
}

std::int32_t ReadControlState(std::int32_t id) {
  Kind kind;
  GtkWidget* widget = ControlWidget(id, &kind);
  if (widget == nullptr || (kind != Kind::Option && kind != Kind::CheckBox)) return 0;
  return gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(widget)) ? 1 : 0;
}

void WriteControlState(std::int32_t id, std::int32_t state) {
  Kind kind;
  GtkWidget* widget = ControlWidget(id, &kind);
  if (widget == nullptr || (kind != Kind::Option && kind != Kind::CheckBox)) return;
  Toolkit& t = State();
  ++t.settingState;
  if (kind == Kind::Option && state == 0) {
    // Clearing the selected option hands the selection back to the group's hidden member.
    GtkWidget* anchor = AnchorOf(widget);
    if (anchor != nullptr && gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(widget))) {
      gtk_radio_button_join_group(GTK_RADIO_BUTTON(anchor), GTK_RADIO_BUTTON(widget));
      gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(anchor), TRUE);
    }
  } else {
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(widget), state != 0);
  }
  --t.settingState;
  if (kind == Kind::Option) ReleaseAnchor(widget);
}

std::int32_t CountDisplays() { return static_cast<std::int32_t>(Monitors().size()); }

std::int32_t ScreenDotsPerInch() { return static_cast<std::int32_t>(std::lround(State().screenScale * 96)); }

DisplayRect DisplayArea(std::int32_t index) {
  const GdkRectangle area = MonitorWorkArea(index);
  return DisplayRect{area.x, area.y, area.width, area.height};
}

std::int32_t NextEvent() {
  Toolkit& t = State();
  if (!t.initialized) return 0;
  while (t.events.empty()) gtk_main_iteration_do(TRUE);
  Event event = std::move(t.events.front());
  t.events.pop_front();
  t.lastOrigin = event.origin;
  if (event.kind == DocumentOpenedEvent) t.lastDocument = std::move(event.document);
  if (event.kind == FilesDroppedEvent) t.lastFiles = std::move(event.files);
  return event.kind;
}

std::int32_t EventOrigin() { return State().lastOrigin; }

void ShowMessageBox(TextView caption, TextView text) {
  if (!State().initialized) return;
  GtkWidget* dialog = gtk_message_dialog_new(DialogParent(), GTK_DIALOG_MODAL, GTK_MESSAGE_OTHER, GTK_BUTTONS_OK,
                                             "%s", Utf8(text).c_str());
  gtk_window_set_title(GTK_WINDOW(dialog), Utf8(caption).c_str());
  gtk_window_set_resizable(GTK_WINDOW(dialog), FALSE);
  PlaceMessage(dialog);
  gtk_dialog_run(GTK_DIALOG(dialog));
  gtk_widget_destroy(dialog);
}

Text ChooseFileToOpen(TextView title, TextView initialPath, TextView patterns, std::int32_t patternIndex) {
  if (!State().initialized) return Text();
  // An open dialog: Recent, type-ahead search, and a location entry (Ctrl+L,
  // or typing "/") that also takes the name of a file that does not exist.
  // The desktop's own dialog where a portal provides one, GTK's otherwise.
  GtkFileChooserNative* dialog = gtk_file_chooser_native_new(Utf8(title).c_str(), DialogParent(),
                                                             GTK_FILE_CHOOSER_ACTION_OPEN, "_Open", "_Cancel");
  GtkFileChooser* chooser = GTK_FILE_CHOOSER(dialog);
  gtk_native_dialog_set_modal(GTK_NATIVE_DIALOG(dialog), TRUE);
  gtk_file_chooser_set_local_only(chooser, TRUE);

  // Up to the last separator is the starting folder; the rest names a file
  // to select there.
  const std::string initial = NativePath(initialPath);
  const std::size_t cut = initial.find_last_of('/');
  const std::string folder = cut == std::string::npos ? std::string() : initial.substr(0, cut + 1);
  const std::string name = cut == std::string::npos ? initial : initial.substr(cut + 1);
  if (!folder.empty()) gtk_file_chooser_set_current_folder(chooser, folder.c_str());
  if (!name.empty() && !folder.empty()) gtk_file_chooser_select_filename(chooser, (folder + name).c_str());

  std::vector<GtkFileFilter*> filters = MakeFilters(patterns);
  for (GtkFileFilter* filter : filters) gtk_file_chooser_add_filter(chooser, filter);
  if (!filters.empty()) {
    std::size_t chosen = patternIndex >= 0 && static_cast<std::size_t>(patternIndex) < filters.size()
                             ? static_cast<std::size_t>(patternIndex)
                             : 0;
    gtk_file_chooser_set_filter(chooser, filters[chosen]);
  }
  // Last, every file: a project saved under another extension is still reachable.
  GtkFileFilter* all = gtk_file_filter_new();
  gtk_file_filter_set_name(all, "All files");
  gtk_file_filter_add_pattern(all, "*");
  gtk_file_chooser_add_filter(chooser, all);

  Text result;
  if (gtk_native_dialog_run(GTK_NATIVE_DIALOG(dialog)) == GTK_RESPONSE_ACCEPT) {
    if (gchar* path = gtk_file_chooser_get_filename(chooser)) {
      result = TextFromNative(path);
      g_free(path);
    }
  }
  gtk_native_dialog_destroy(GTK_NATIVE_DIALOG(dialog));
  g_object_unref(dialog);
  return result;
}

void OpenWithDefaultProgram(TextView path) {
  const std::uint64_t generation = State().generation;
  LaunchDocumentInBackground(path, [generation, path = Text(path)](LaunchOutcome outcome) {
    // Called on the opener's thread: g_idle_add is safe from any thread and
    // wakes the main loop.
    g_idle_add(DeliverOpenerVerdict, new OpenerVerdict{generation, OpenedDocument{path, std::move(outcome)}});
  });
}

OpenedDocument LastOpenedDocument() { return State().lastDocument; }

std::vector<Text> DroppedFiles() { return State().lastFiles; }

void SetAccessibleName(std::int32_t id, TextView name) {
  if (GtkWidget* widget = ControlWidget(id)) atk_object_set_name(gtk_widget_get_accessible(widget), Utf8(name).c_str());
}

}  // namespace ui
