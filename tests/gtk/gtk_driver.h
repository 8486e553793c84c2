// Driving the real GTK window from inside the test process: finding widgets
// and dialogs, and a script of steps played from a GLib timeout while the
// program under test runs its own event loop (and its modal dialogs).
#pragma once

#include "runtime/text.h"

#include <gtk/gtk.h>

#include <functional>
#include <string>
#include <vector>

namespace gtkdriver {

// The widget with this name in any top-level window or menu, or nullptr.
GtkWidget* FindWidget(const std::string& name);
// Control `id` ("quorvel-control-<id>") and menu entry `id` ("quorvel-menu-<id>").
GtkWidget* ControlWidget(int id);
GtkWidget* MenuEntryWidget(int id);
// The main window ("Quorvel"), or nullptr.
GtkWindow* TopWindow();
// A visible dialog with this title, or nullptr.
GtkWidget* FindDialog(const std::string& title);
// How many top-level dialogs are visible.
int VisibleDialogCount();
// The main text of a message dialog.
std::string MessageText(GtkWidget* dialog);
// The buttons of a dialog's action area.
std::vector<GtkWidget*> DialogButtons(GtkWidget* dialog);
bool IsActive(int id);

// A script of steps. Each step runs on every tick until it returns true;
// then the next one starts. A script that is not done by its deadline fails
// the test and closes what it can (dialogs, then the window) so that the
// program returns.
class Script {
 public:
  using Step = std::function<bool()>;
  explicit Script(int timeoutMs = 20000) : timeoutMs_(timeoutMs) {}
  ~Script();
  Script(const Script&) = delete;
  Script& operator=(const Script&) = delete;
  Script& then(Step step, std::string what);
  // Starts ticking; runs from the program's own main loop iterations.
  void start();
  bool finished() const { return next_ == steps_.size(); }
  const std::string& stuckAt() const { return stuckAt_; }

 private:
  static gboolean tick(gpointer self);
  void giveUp();
  std::vector<Step> steps_;
  std::vector<std::string> names_;
  std::size_t next_ = 0;
  int timeoutMs_;
  gint64 startedUs_ = 0;
  std::string stuckAt_;
  guint source_ = 0;
};

// Steps used by several tests.
Script::Step ClickControl(int id);
Script::Step ActivateMenuEntry(int id);
// Waits for the message box, checks its caption, text and single OK
// button, then presses OK.
Script::Step AnswerMessage(const std::string& caption, const std::string& text);
// Waits for the open-file requester, types `path` into its location entry
// and presses Open;
// an empty path presses Cancel.
Script::Step AnswerChooser(const std::string& title, const std::string& path);
// True once no dialog is open.
Script::Step NoDialog();
Script::Step Check(std::function<void()> assertions);

// GLib, GDK and GTK criticals (misuse of their API) end the test program.
void FailOnCriticals();

// Opening documents goes to a recording handler instead of a browser: the
// URIs handed to the desktop's default program for HTML files and .rpp land
// in a file, one per line.
void InstallRecordingHandler();
std::vector<std::string> LaunchedUris();
// A recorded launch as a local path (GIO hands local files over as paths or as file URIs).
std::string AsLocalPath(const std::string& launched);
// Waits up to `ms` for at least `count` recorded launches.
std::vector<std::string> WaitForLaunches(std::size_t count, int ms);

}  // namespace gtkdriver
