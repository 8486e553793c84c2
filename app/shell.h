// The window program's shell: start-up (the main window, its menu bar and
// its 21 controls), the event loop with its commands, the About box and
// shut-down. Everything here goes through the window toolkit (app/ui/toolkit.h);
// the shell links no backend, the program or test that uses it links one.
#pragma once

#include "core/project_data.h"
#include "runtime/text.h"

#include <cstdint>

// The one window of the program.
inline constexpr std::int32_t MainWindow = 0;
inline constexpr TextView kMainWindowTitle = u"Quorvel";
inline constexpr std::int32_t kMainWindowWidth = 460;
inline constexpr std::int32_t kMainWindowHeight = 440;

// Menu entries (their own numbering, apart from the controls).
enum MenuEntryId : std::int32_t {
  MenuOpen = 0,
  MenuQuit = 1,
  MenuAbout = 3,
};

// The controls of the main window, by id. There is no control 3.
enum ControlId : std::int32_t {
  LoadButton = 0,
  ExportButton = 1,
  QuitButton = 2,
  DestinationPanel = 4,
  DestinationLabel = 5,
  ProjectFolderOption = 6,
  ApplicationFolderOption = 7,
  DataPanel = 8,
  DataLabel = 9,
  SelectedOption = 10,
  CommonDataCheck = 11,
  MasterCheck = 12,
  MasterVolumeCheck = 13,
  MasterPluginsCheck = 14,
  TrackCheck = 15,
  TrackVolumeCheck = 16,
  TrackPanCheck = 17,
  TrackMuteCheck = 18,
  TrackSoloCheck = 19,
  TrackPluginsCheck = 20,
  PluginsListOnlyOption = 21,
};

// Texts of the requester and the About box.
inline constexpr TextView kOpenRequesterTitle = u"Load Reaper project...";
inline constexpr TextView kOpenRequesterPatterns = u"Reaper project (*.rpp)|*.rpp";
inline constexpr TextView kAboutCaption = u"About...";

// The export option state. `masterCheckedCount` is the number of checked
// boxes among MasterVolumeCheck and MasterPluginsCheck, `trackCheckedCount`
// among the five Track sub-boxes.
struct ExportOptions {
  Text exportFolder;
  std::int64_t masterCheckedCount = 0;
  std::int64_t trackCheckedCount = 0;
};

// The shell's process-wide records: the loaded project, the export options
// and the end-of-loop flag. Zero and empty at process entry.
struct ShellRecords {
  ProjectData project;
  ExportOptions options;
  bool quitRequested = false;
};

ShellRecords& shellRecords();
// Puts the records back into their process-entry state (all empty and zero).
void resetShellRecords();

// Outer top-left corner and inner size of the main window on a display of
// the given pixel size: centred, each coordinate truncated toward zero.
struct WindowPlacement {
  std::int32_t x = 0;
  std::int32_t y = 0;
  std::int32_t width = 0;
  std::int32_t height = 0;
};
// The display's size in pixels is taken in units first (pixels * 96 / dots
// per inch), so the window is centred at every screen scale.
WindowPlacement mainWindowPlacement(std::int32_t displayWidth, std::int32_t displayHeight,
                                    std::int32_t dotsPerInch = 96);

// Start-up after the toolkit is initialised: the records take their initial
// values, the main window opens with its menu bar, controls and initial
// states. False when the main window could not be opened (nothing else is
// then created).
bool startShell();

// Handles one event of the main window; `origin` is the event's source id.
void handleEvent(std::int32_t kind, std::int32_t origin);
// Takes and handles events until quitRequested is set.
void runEventLoop();

// The commands.
void loadProject();
void exportCommand();
void showAboutBox();
// The About box text: five lines joined by line feeds.
Text aboutText();

// The whole program: start-up, event loop, shut-down. Always returns 0.
int RunQuorvel();
