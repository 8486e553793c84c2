// Prints where the window program's controls stand, for tests that click
// them with real X events: the window is built here as the program builds
// it (the same shell, toolkit, fonts and screen), and each control's point
// is the centre of its row of the control table (clipped to its panel),
// scaled as the window scaled its layout and set below the menu bar. One
// shell assignment per control, in pixels from the window's top-left corner:
//   control_<id>_x=... control_<id>_y=...
// Exit status 1 when no window could be opened.
#include "app/controls.h"
#include "app/shell.h"
#include "app/ui/toolkit.h"

#include <gtk/gtk.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

GtkWidget* MainWindowWidget() {
  GtkWidget* found = nullptr;
  GList* toplevels = gtk_window_list_toplevels();
  for (GList* item = toplevels; item != nullptr; item = item->next)
    if (g_strcmp0(gtk_window_get_title(GTK_WINDOW(item->data)), "Quorvel") == 0) found = GTK_WIDGET(item->data);
  g_list_free(toplevels);
  return found;
}

}  // namespace

int main() {
  if (!ui::InitializeToolkit() || !startShell()) return 1;
  GtkWidget* window = MainWindowWidget();
  if (window == nullptr) return 1;
  while (!gtk_widget_get_mapped(window) || gtk_events_pending()) gtk_main_iteration();

  // The layout's pixels per unit, and where the controls' area begins.
  GtkWidget* box = gtk_bin_get_child(GTK_BIN(window));
  const double scale = gtk_widget_get_allocated_width(box) / static_cast<double>(kMainWindowWidth);
  GList* children = gtk_container_get_children(GTK_CONTAINER(box));
  GtkWidget* area = GTK_WIDGET(g_list_last(children)->data);
  g_list_free(children);
  int areaLeft = 0;
  int areaTop = 0;
  gtk_widget_translate_coordinates(area, window, 0, 0, &areaLeft, &areaTop);

  for (const ControlSpec& spec : kMainControls) {
    UnitRect rect = windowRectOf(spec);
    if (const ControlSpec* panel = findControlSpec(spec.parent)) {
      const UnitRect inside = windowRectOf(*panel);
      rect.width = std::min(rect.width, inside.x + inside.width - rect.x);
    }
    const long x = areaLeft + std::lround((rect.x + rect.width / 2.0) * scale);
    const long y = areaTop + std::lround((rect.y + rect.height / 2.0) * scale);
    std::printf("control_%d_x=%ld control_%d_y=%ld\n", static_cast<int>(spec.id), x, static_cast<int>(spec.id), y);
  }
  ui::ShutdownToolkit();
  return 0;
}
