// The window toolkit: the user-interface operations the program needs from
// the platform, all called from the one thread. One backend implements them
// per platform (Win32, GTK 3) and one plays a script for tests; the program
// links exactly one.
//
// Coordinates and sizes are in units of 1/96 inch, scaled by the backend to
// the screen's resolution; display sizes are in pixels. Controls are known by
// the id the caller gives them. Operations on an id that no control has do
// nothing and read as 0. State changes made by the program raise no events.
// The test backend (tests/support/scripted_toolkit.h) implements the same calls.
#pragma once

#include "runtime/launch.h"
#include "runtime/text.h"

#include <cstdint>
#include <vector>

namespace ui {

enum EventKind : std::int32_t {
  ControlEvent = 13100,      // a button, option or check box was activated (a check box has flipped)
  MenuEvent = 13101,         // a menu entry was chosen
  CloseWindowEvent = 13116,  // close box, system-menu Close or the close shortcut; the window stays open
  DocumentOpenedEvent = 13120,  // the outcome of an OpenWithDefaultProgram is known: LastOpenedDocument()
  FilesDroppedEvent = 13121,    // files were dropped on the main window: DroppedFiles()
};

// Sets up the platform layer (locale with "C" numbers, DPI, OLE/COM, common
// controls); false when the platform cannot give a user interface at all.
bool InitializeToolkit();
// Why InitializeToolkit failed, in a few words for the program's error output
// ("cannot open display :0"); empty when it did not fail.
Text ToolkitFailureReason();
// Destroys the windows and everything the toolkit created.
void ShutdownToolkit();

// A fixed-size top-level window with title bar, system menu and close box,
// inner size width x height, outer top-left corner at (x, y); shown and
// activated. The user may minimise it but the window shows no minimise box.
// A backend whose fonts need more room than the units give scales the whole
// layout (window and controls alike) and keeps the window's centre where it
// was asked to be. False on failure.
bool CreateTopWindow(std::int32_t number, std::int32_t x, std::int32_t y, std::int32_t width,
                     std::int32_t height, TextView title);

// The menu bar of a window: entries go under the last heading; "&" marks the
// mnemonic letter, and a text without one answers to its first letter.
// `controlKey` is the letter of the entry's Ctrl shortcut (0: none): the GTK
// backend binds it and shows it in the menu; the Win32 backend leaves the
// menu as it is. AttachMenuBar is false when no menu bar could be made.
bool AttachMenuBar(std::int32_t window);
void AddMenuHeading(TextView text);
void AddMenuEntry(std::int32_t id, TextView text, char16_t controlKey = 0);
void AddMenuSeparator();

// Controls are children of the main window, or of the panel opened by
// BeginPanel until EndPanel. Consecutive option buttons of one parent form a
// group (selecting one clears the others); any other creation ends a group.
// A label created first in a panel is the panel's heading: assistive
// technology reads the panel as labelled by it.
void AddPushButton(std::int32_t id, std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height,
                   TextView text);
void AddLabel(std::int32_t id, std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height,
              TextView text);
void AddOptionButton(std::int32_t id, std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height,
                     TextView text);
void AddCheckBox(std::int32_t id, std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height,
                 TextView text);
void BeginPanel(std::int32_t id, std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height);
void EndPanel();

// Check box or option: 1 set, 0 not (0 for an unknown id).
std::int32_t ReadControlState(std::int32_t id);
// 0 clears, anything else sets; selecting an option clears the rest of its group.
void WriteControlState(std::int32_t id, std::int32_t state);

// Displays: 0 is the primary one. DisplayArea is the part of a display in
// which the main window is centred, in pixels in the desktop's coordinates
// (its offset included): on GTK the monitor's work area, without panels and
// docks; on Win32 the whole monitor. All zero for an index out of range.
struct DisplayRect {
  std::int32_t x = 0;
  std::int32_t y = 0;
  std::int32_t width = 0;
  std::int32_t height = 0;
};
std::int32_t CountDisplays();
DisplayRect DisplayArea(std::int32_t index);
// The screen's resolution in pixels per inch: 96 at 100 % scale, so a
// display of w pixels is w * 96 / ScreenDotsPerInch() units wide.
std::int32_t ScreenDotsPerInch();

// Blocks until the next event and returns its kind; EventOrigin is the id of
// the control or menu entry of that event.
std::int32_t NextEvent();
std::int32_t EventOrigin();

// Modal, one OK button, no icon; returns when closed. Centred over the main
// window; on GTK never wider than the monitor's work area and wholly on it,
// its text wrapped (a long path at any character).
void ShowMessageBox(TextView caption, TextView text);
// Modal open-file requester. `patterns` holds description|pattern pairs
// separated by "|"; `patternIndex` counts from 0. `initialPath` up to its last
// separator is the starting folder, the rest a proposed name. A typed name
// of a file that does not exist is returned too; the current directory is
// left unchanged. Returns the chosen full path as the requester gives it
// (the caller checks it against the system's limits), or the empty text on
// cancel.
Text ChooseFileToOpen(TextView title, TextView initialPath, TextView patterns, std::int32_t patternIndex);
// Hands the file to the program registered for its type (runtime/launch.h)
// and returns at once: the window stays responsive while the desktop's opener
// runs. A DocumentOpenedEvent comes once its outcome is known.
void OpenWithDefaultProgram(TextView path);
struct OpenedDocument {
  Text path;
  LaunchOutcome outcome;
};
// The document and outcome of the last DocumentOpenedEvent NextEvent returned.
OpenedDocument LastOpenedDocument();

// The full paths of the files of the last FilesDroppedEvent, in the order the
// drop gave them (a file manager's selection: GTK's text/uri-list, Win32's
// WM_DROPFILES). Only the main window takes drops.
std::vector<Text> DroppedFiles();

// The name assistive technology gives a control, where its label alone is
// ambiguous ("Volume" under both Master and Track); the visible label stays.
// The GTK backend sets it; the Win32 backend leaves the label as the name.
void SetAccessibleName(std::int32_t id, TextView name);

}  // namespace ui
