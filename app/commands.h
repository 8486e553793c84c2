// What the window's menu entries and controls do: the Load and Export
// commands, the export-folder options, the consistency of the "Data to
// export ?" check boxes, the About box and Quit. The records they work on
// are app/shell_records.h's. Everything here reaches the user through the
// window toolkit (app/ui/toolkit.h); nothing here builds the window
// (app/shell.h does).
#pragma once

#include "app/shell_records.h"
#include "app/ui/toolkit.h"
#include "runtime/text.h"

#include <cstdint>
#include <vector>

// Texts of the requester, the About box and the message shown when a written
// report could not be handed to a program.
inline constexpr TextView kOpenRequesterTitle = u"Load Reaper project...";
inline constexpr TextView kOpenRequesterPatterns = u"Reaper project (*.rpp)|*.rpp";
inline constexpr TextView kAboutCaption = u"About...";
// "The report was written to <path>, but no program is set to open HTML files."
Text reportNotOpenedMessage(TextView reportPath);
// "The report was written to <path>, but it could not be opened: <reason>."
Text reportOpenFailedMessage(TextView reportPath, TextView reason);

// Handles one event of the main window; `origin` is the event's source id.
void handleEvent(std::int32_t kind, std::int32_t origin);

// The Load command: the requester, then openProject with its answer. A
// cancel, or a path longer than the system can open, empties the project
// path and changes nothing else.
void loadProject();
// Loads `path` as if it had been chosen in the requester: the same records
// change and the same message shows when it cannot be opened.
void openProject(TextView path);
// Export: the report is written, then handed to the program for HTML files
// without waiting; reportOpened tells the user when that failed.
void exportCommand();
void reportOpened(const ui::OpenedDocument& opened);
// Files dropped on the window: the first whose name ends in ".rpp" (any
// letter case) is opened as openProject does; none, nothing happens.
void openDroppedProject(const std::vector<Text>& files);
void showAboutBox();
// The About box text: five lines joined by line feeds.
Text aboutText();
