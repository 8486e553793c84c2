// Loading a chosen project file into a ProjectData: records the file facts
// (path, name, folder, date), reads every line without its leading spaces and
// scans them. The project file is opened read-only and never changed.
#pragma once

#include "core/project_data.h"

enum class LoadResult { Loaded, CannotOpen, NotAProject };

// The message shown when the file cannot be opened, or is not a project.
inline constexpr TextView kCannotOpenMessage = u"Couldn't open the file!";
// Why a file that opened is refused (the exporter says so; the window says
// kCannotOpenMessage).
inline constexpr TextView kNotAProjectMessage = u"not a REAPER project";

// Loads `path` (a full path). On CannotOpen the project path is left empty
// (no project chosen), the other three file facts describe the file, and the
// lines and scanned content of the previous project stay as they were: a file
// that is missing, not a regular file, held by another program, or too big
// for the memory there is. The outcome's reason says why, in the system's
// words or the program's own ("not enough memory", "another program is using
// the file"), for messages that may say more than the window does.
// NotAProject: the file was read but is not a REAPER project (its first line
// does not open with `<REAPER_PROJECT`, core/project_header.h); everything
// stays as for CannotOpen and the reason is kNotAProjectMessage.
struct LoadOutcome {
  LoadResult result = LoadResult::Loaded;
  Text reason;  // empty when Loaded
};
LoadOutcome loadProjectFile(ProjectData& project, TextView path);
