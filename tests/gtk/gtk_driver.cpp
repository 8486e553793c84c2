#include "gtk_driver.h"

#include <glib/gstdio.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>

namespace gtkdriver {
namespace {

GtkWidget* Search(GtkWidget* widget, const std::string& name);

void SearchChild(GtkWidget* child, gpointer data) {
  auto* state = static_cast<std::pair<const std::string*, GtkWidget*>*>(data);
  if (state->second == nullptr) state->second = Search(child, *state->first);
}

GtkWidget* Search(GtkWidget* widget, const std::string& name) {
  if (name == gtk_widget_get_name(widget)) return widget;
  if (GTK_IS_MENU_ITEM(widget)) {
    if (GtkWidget* submenu = gtk_menu_item_get_submenu(GTK_MENU_ITEM(widget)))
      if (GtkWidget* found = Search(submenu, name)) return found;
  }
  if (!GTK_IS_CONTAINER(widget)) return nullptr;
  std::pair<const std::string*, GtkWidget*> state{&name, nullptr};
  gtk_container_forall(GTK_CONTAINER(widget), SearchChild, &state);
  return state.second;
}

std::vector<GtkWidget*> Toplevels() {
  std::vector<GtkWidget*> result;
  GList* list = gtk_window_list_toplevels();
  for (GList* item = list; item != nullptr; item = item->next) result.push_back(GTK_WIDGET(item->data));
  g_list_free(list);
  return result;
}

std::string handlerLog;

// The recording handler's folder in the temporary folder, removed with what
// it holds when the test program ends.
struct HandlerFolder {
  std::string path;
  ~HandlerFolder() {
    std::error_code ignored;
    if (!path.empty()) std::filesystem::remove_all(path, ignored);
  }
};

}  // namespace

GtkWidget* FindWidget(const std::string& name) {
  for (GtkWidget* top : Toplevels())
    if (GtkWidget* found = Search(top, name)) return found;
  return nullptr;
}

GtkWidget* ControlWidget(int id) { return FindWidget("quorvel-control-" + std::to_string(id)); }
GtkWidget* MenuEntryWidget(int id) { return FindWidget("quorvel-menu-" + std::to_string(id)); }

GtkWindow* TopWindow() {
  for (GtkWidget* top : Toplevels()) {
    const char* title = gtk_window_get_title(GTK_WINDOW(top));
    if (!GTK_IS_DIALOG(top) && title != nullptr && std::string(title) == "Quorvel") return GTK_WINDOW(top);
  }
  return nullptr;
}

GtkWidget* FindDialog(const std::string& title) {
  for (GtkWidget* top : Toplevels()) {
    if (!GTK_IS_DIALOG(top) || !gtk_widget_get_visible(top)) continue;
    const char* t = gtk_window_get_title(GTK_WINDOW(top));
    if (t != nullptr && title == t) return top;
  }
  return nullptr;
}

int VisibleDialogCount() {
  int count = 0;
  for (GtkWidget* top : Toplevels())
    if (GTK_IS_DIALOG(top) && gtk_widget_get_visible(top)) ++count;
  return count;
}

std::string MessageText(GtkWidget* dialog) {
  gchar* text = nullptr;
  g_object_get(dialog, "text", &text, nullptr);
  std::string result = text != nullptr ? text : "";
  g_free(text);
  return result;
}

std::vector<GtkWidget*> DialogButtons(GtkWidget* dialog) {
  std::vector<GtkWidget*> buttons;
  G_GNUC_BEGIN_IGNORE_DEPRECATIONS
  GtkWidget* area = gtk_dialog_get_action_area(GTK_DIALOG(dialog));
  G_GNUC_END_IGNORE_DEPRECATIONS
  GList* children = gtk_container_get_children(GTK_CONTAINER(area));
  for (GList* item = children; item != nullptr; item = item->next)
    if (GTK_IS_BUTTON(item->data) && gtk_widget_get_visible(GTK_WIDGET(item->data)))
      buttons.push_back(GTK_WIDGET(item->data));
  g_list_free(children);
  return buttons;
}

bool IsActive(int id) {
  GtkWidget* widget = ControlWidget(id);
  return widget != nullptr && GTK_IS_TOGGLE_BUTTON(widget) &&
         gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(widget));
}

Script::~Script() {
  if (source_ != 0) g_source_remove(source_);
}

Script& Script::then(Step step, std::string what) {
  steps_.push_back(std::move(step));
  names_.push_back(std::move(what));
  return *this;
}

void Script::start() {
  startedUs_ = g_get_monotonic_time();
  source_ = g_timeout_add(20, &Script::tick, this);
}

gboolean Script::tick(gpointer self) {
  auto* script = static_cast<Script*>(self);
  if (script->finished()) {
    script->source_ = 0;
    return G_SOURCE_REMOVE;
  }
  if (g_get_monotonic_time() - script->startedUs_ > script->timeoutMs_ * 1000LL) {
    script->giveUp();
    script->source_ = 0;
    return G_SOURCE_REMOVE;
  }
  // One step per tick, so that the program handles what a step did before
  // the next step looks.
  if (script->steps_[script->next_]()) ++script->next_;
  if (!script->finished()) return G_SOURCE_CONTINUE;
  script->source_ = 0;
  return G_SOURCE_REMOVE;
}

void Script::giveUp() {
  stuckAt_ = names_[next_];
  ADD_FAILURE() << "the window script did not get past: " << stuckAt_;
  next_ = steps_.size();
  // Close every dialog, then ask the window to close, so that the program ends.
  for (int round = 0; round < 5; ++round)
    for (GtkWidget* top : Toplevels())
      if (GTK_IS_DIALOG(top) && gtk_widget_get_visible(top))
        gtk_dialog_response(GTK_DIALOG(top), GTK_RESPONSE_CANCEL);
  if (GtkWindow* window = TopWindow()) gtk_window_close(window);
}

Script::Step ClickControl(int id) {
  return [id] {
    GtkWidget* widget = ControlWidget(id);
    if (widget == nullptr) {
      ADD_FAILURE() << "no control " << id;
      return true;
    }
    gtk_button_clicked(GTK_BUTTON(widget));
    return true;
  };
}

Script::Step ActivateMenuEntry(int id) {
  return [id] {
    GtkWidget* widget = MenuEntryWidget(id);
    if (widget == nullptr) {
      ADD_FAILURE() << "no menu entry " << id;
      return true;
    }
    gtk_menu_item_activate(GTK_MENU_ITEM(widget));
    return true;
  };
}

Script::Step AnswerMessage(const std::string& caption, const std::string& text) {
  return [caption, text] {
    GtkWidget* dialog = FindDialog(caption);
    if (dialog == nullptr || !gtk_widget_get_mapped(dialog)) return false;
    EXPECT_TRUE(GTK_IS_MESSAGE_DIALOG(dialog));
    EXPECT_EQ(MessageText(dialog), text);
    EXPECT_TRUE(gtk_window_get_modal(GTK_WINDOW(dialog)));
    GtkMessageType type = GTK_MESSAGE_INFO;
    g_object_get(dialog, "message-type", &type, nullptr);
    EXPECT_EQ(type, GTK_MESSAGE_OTHER) << "a message box shows no icon";
    std::vector<GtkWidget*> buttons = DialogButtons(dialog);
    EXPECT_EQ(buttons.size(), 1u) << "a message box has one OK button";
    GtkWidget* ok = gtk_dialog_get_widget_for_response(GTK_DIALOG(dialog), GTK_RESPONSE_OK);
    EXPECT_NE(ok, nullptr);
    if (ok != nullptr)
      gtk_button_clicked(GTK_BUTTON(ok));
    else
      gtk_dialog_response(GTK_DIALOG(dialog), GTK_RESPONSE_OK);
    return true;
  };
}

namespace {

GtkWidget* FindOfType(GtkWidget* widget, GType type);

void FindOfTypeChild(GtkWidget* child, gpointer data) {
  auto* state = static_cast<std::pair<GType, GtkWidget*>*>(data);
  if (state->second == nullptr) state->second = FindOfType(child, state->first);
}

GtkWidget* FindOfType(GtkWidget* widget, GType type) {
  if (G_TYPE_CHECK_INSTANCE_TYPE(widget, type)) return widget;
  if (!GTK_IS_CONTAINER(widget)) return nullptr;
  std::pair<GType, GtkWidget*> state{type, nullptr};
  gtk_container_forall(GTK_CONTAINER(widget), FindOfTypeChild, &state);
  return state.second;
}

}  // namespace

Script::Step AnswerChooser(const std::string& title, const std::string& path) {
  // The requester loads folders in the background: answer only once it
  // shows its starting folder. The path goes in as a user types one: "/"
  // opens the location entry with it (the chooser's "location-popup" key
  // binding), then Open is pressed.
  struct Progress {
    int phase = 0;
    GtkWidget* dialog = nullptr;
    gint64 typedUs = 0;
  };
  auto progress = std::make_shared<Progress>();
  return [title, path, progress] {
    if (progress->phase == 0) {
      GtkWidget* dialog = FindDialog(title);
      if (dialog == nullptr || !gtk_widget_get_mapped(dialog)) return false;
      EXPECT_TRUE(GTK_IS_FILE_CHOOSER(dialog));
      EXPECT_EQ(gtk_file_chooser_get_action(GTK_FILE_CHOOSER(dialog)), GTK_FILE_CHOOSER_ACTION_OPEN);
      if (path.empty()) {
        GtkWidget* cancel = gtk_dialog_get_widget_for_response(GTK_DIALOG(dialog), GTK_RESPONSE_CANCEL);
        EXPECT_NE(cancel, nullptr);
        if (cancel != nullptr) gtk_button_clicked(GTK_BUTTON(cancel));
        return true;
      }
      gchar* shown = gtk_file_chooser_get_current_folder(GTK_FILE_CHOOSER(dialog));
      if (shown == nullptr) return false;
      g_free(shown);
      GtkWidget* chooser = FindOfType(dialog, GTK_TYPE_FILE_CHOOSER_WIDGET);
      EXPECT_NE(chooser, nullptr);
      if (chooser == nullptr) return true;
      g_signal_emit_by_name(chooser, "location-popup", path.c_str());
      progress->dialog = dialog;
      progress->typedUs = g_get_monotonic_time();
      progress->phase = 1;
      return false;
    }
    // A person takes a moment before pressing Open, and so must the test:
    // the chooser settles what it was given first.
    if (g_get_monotonic_time() - progress->typedUs < 300000) return false;
    GtkWidget* dialog = FindDialog(title);
    if (dialog == nullptr || dialog != progress->dialog) {
      ADD_FAILURE() << "the requester closed before it was answered";
      return true;
    }
    GtkWidget* open = gtk_dialog_get_widget_for_response(GTK_DIALOG(dialog), GTK_RESPONSE_ACCEPT);
    EXPECT_NE(open, nullptr);
    if (open != nullptr) gtk_button_clicked(GTK_BUTTON(open));
    return true;
  };
}

Script::Step NoDialog() {
  return [] { return VisibleDialogCount() == 0; };
}

Script::Step Check(std::function<void()> assertions) {
  return [assertions] {
    assertions();
    return true;
  };
}

void FailOnCriticals() {
  g_log_set_always_fatal(static_cast<GLogLevelFlags>(G_LOG_LEVEL_CRITICAL | G_LOG_LEVEL_ERROR | G_LOG_FLAG_FATAL));
}

void InstallRecordingHandler() {
  static HandlerFolder folder;
  if (!folder.path.empty()) return;
  gchar* root = g_dir_make_tmp("quorvel-gtk-handler-XXXXXX", nullptr);
  ASSERT_NE(root, nullptr);
  folder.path = root;
  g_free(root);
  const std::string& base = folder.path;
  std::string data = base + "/data";
  std::string config = base + "/config";
  g_mkdir_with_parents((data + "/applications").c_str(), 0700);
  g_mkdir_with_parents(config.c_str(), 0700);
  handlerLog = base + "/launched.txt";
  std::string script = base + "/record-launch";
  {
    std::ofstream out(script);
    out << "#!/bin/sh\nprintf '%s\\n' \"$1\" >> '" << handlerLog << "'\n";
  }
  g_chmod(script.c_str(), 0700);
  {
    std::ofstream out(data + "/applications/quorvel-test-recorder.desktop");
    out << "[Desktop Entry]\nType=Application\nName=Launch recorder\nExec=" << script
        << " %u\nMimeType=text/html;application/xhtml+xml;\nNoDisplay=true\n";
  }
  {
    std::ofstream out(config + "/mimeapps.list");
    out << "[Default Applications]\ntext/html=quorvel-test-recorder.desktop\n"
           "application/xhtml+xml=quorvel-test-recorder.desktop\n";
  }
  g_setenv("XDG_DATA_HOME", data.c_str(), TRUE);
  g_setenv("XDG_CONFIG_HOME", config.c_str(), TRUE);
  g_unsetenv("BROWSER");
}

std::vector<std::string> LaunchedUris() {
  std::vector<std::string> uris;
  std::ifstream in(handlerLog);
  std::string line;
  while (std::getline(in, line))
    if (!line.empty()) uris.push_back(line);
  return uris;
}

std::string AsLocalPath(const std::string& launched) {
  if (launched.rfind("file://", 0) != 0) return launched;
  gchar* path = g_filename_from_uri(launched.c_str(), nullptr, nullptr);
  std::string result = path != nullptr ? path : "";
  g_free(path);
  return result;
}

std::vector<std::string> WaitForLaunches(std::size_t count, int ms) {
  gint64 end = g_get_monotonic_time() + ms * 1000LL;
  std::vector<std::string> uris = LaunchedUris();
  while (uris.size() < count && g_get_monotonic_time() < end) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    uris = LaunchedUris();
  }
  return uris;
}

}  // namespace gtkdriver
