// A file manager's drag, for the window test: a window titled "Drag source"
// whose one button can be dragged, offering its arguments (file paths) as a
// text/uri-list, as file managers offer their selection.
//
// Usage: quorvel_drag_source FILE...
#include <gtk/gtk.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> offeredUris;

void OnDragDataGet(GtkWidget*, GdkDragContext*, GtkSelectionData* data, guint, guint, gpointer) {
  std::vector<gchar*> uris;
  for (std::string& uri : offeredUris) uris.push_back(uri.data());
  uris.push_back(nullptr);
  gtk_selection_data_set_uris(data, uris.data());
}

}  // namespace

int main(int argc, char** argv) {
  gtk_init(&argc, &argv);
  for (int i = 1; i < argc; ++i) {
    gchar* uri = g_filename_to_uri(argv[i], nullptr, nullptr);
    if (uri == nullptr) return 2;
    offeredUris.emplace_back(uri);
    g_free(uri);
  }
  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_title(GTK_WINDOW(window), "Drag source");
  gtk_window_move(GTK_WINDOW(window), 0, 0);
  GtkWidget* button = gtk_button_new_with_label("Drag these files");
  gtk_widget_set_size_request(button, 160, 80);
  gtk_drag_source_set(button, GDK_BUTTON1_MASK, nullptr, 0, GDK_ACTION_COPY);
  gtk_drag_source_add_uri_targets(button);
  g_signal_connect(button, "drag-data-get", G_CALLBACK(OnDragDataGet), nullptr);
  gtk_container_add(GTK_CONTAINER(window), button);
  g_signal_connect(window, "destroy", G_CALLBACK(gtk_main_quit), nullptr);
  gtk_widget_show_all(window);
  gtk_main();
  return 0;
}
