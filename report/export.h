// Writing a project's report to a file: the report path is the folder, the
// project name and ".html", joined as they are. A report that could not be
// written completely is removed and reported as WriteFailed, never as Written.
#pragma once

#include "core/project_data.h"

enum class ExportResult { Written, NoData, CannotCreate, WriteFailed };

inline constexpr TextView kInformationCaption = u"Information";
inline constexpr TextView kNoDataMessage = u"No data to export !";
inline constexpr TextView kCannotCreateMessage = u"may not create the file!";
inline constexpr TextView kWriteFailedMessage = u"Couldn't write the file!";

// The message for a failed export; empty for Written.
TextView exportMessage(ExportResult result);

Text reportPath(const ProjectData& project, TextView exportFolder);

// NoData when no project is chosen; otherwise writes reportPath(...).
ExportResult exportReport(const ProjectData& project, TextView exportFolder);
// Writes the report to exactly `path` (created or overwritten).
ExportResult exportReportTo(const ProjectData& project, TextView path);
// Writes the report to the process's standard output.
ExportResult exportReportToStandardOutput(const ProjectData& project);
