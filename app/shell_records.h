// The window program's records: the loaded project, the export options and
// the end-of-loop flag, one set for the process, which the commands
// (app/commands.h) and the shell (app/shell.h) work on. Zero and empty at
// process entry.
#pragma once

#include "core/project_data.h"
#include "runtime/text.h"

#include <cstdint>

// The export option state. `masterCheckedCount` is the number of checked
// boxes among MasterVolumeCheck and MasterPluginsCheck, `trackCheckedCount`
// among the five Track sub-boxes.
struct ExportOptions {
  Text exportFolder;
  std::int64_t masterCheckedCount = 0;
  std::int64_t trackCheckedCount = 0;
};

struct ShellRecords {
  ProjectData project;
  ExportOptions options;
  bool quitRequested = false;
};

ShellRecords& shellRecords();
// Puts the records back into their process-entry state (all empty and zero).
void resetShellRecords();
