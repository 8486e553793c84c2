// Writing a project's report to a file: the report path is the folder, the
// project name and ".html", joined as they are.
//
// A report is complete or absent: it is written beside its target and put in
// place only once every byte is stored (runtime/output_file.h), so a failure
// leaves what was there before. A report is never written onto the project
// it describes, nor onto any file the caller names to keep (the other
// projects of a batch): that is refused as CannotCreate. Running out of
// memory while writing is WriteFailed.
#pragma once

#include "core/project_data.h"

#include <vector>

enum class ExportResult { Written, NoData, CannotCreate, WriteFailed };

inline constexpr TextView kInformationCaption = u"Information";
inline constexpr TextView kNoDataMessage = u"No data to export !";
inline constexpr TextView kCannotCreateMessage = u"may not create the file!";
inline constexpr TextView kWriteFailedMessage = u"Couldn't write the file!";

// How an export went.
struct ExportOutcome {
  ExportResult result = ExportResult::Written;
  // Why it failed, in the system's words or the program's own ("it is a
  // project file"), for messages that say more than the window does.
  Text reason;
  // The report went to the process's standard output (no file to name).
  bool toStandardOutput = false;
  // The file the report now is (unknown for standard output and devices).
  FileIdentity report;
};

// The message for a failed export; empty for Written.
TextView exportMessage(ExportResult result);

Text reportPath(const ProjectData& project, TextView exportFolder);

// The window's Export: NoData when no project is chosen; otherwise writes
// reportPath(...).
ExportResult exportReport(const ProjectData& project, TextView exportFolder);
// Writes the report to exactly `path`, or to the process's standard output.
ExportOutcome exportReportTo(const ProjectData& project, TextView path, const std::vector<FileIdentity>& keep = {});
ExportOutcome exportReportToStandardOutput(const ProjectData& project, const std::vector<FileIdentity>& keep = {});
