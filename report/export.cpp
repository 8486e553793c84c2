#include "report/export.h"

#include "report/html_writer.h"
#include "runtime/numbered_file.h"
#include "runtime/os_file.h"

namespace {

constexpr std::int64_t kFile = 0;

// Writes and closes the report open under kFile.
bool WriteAndClose(const ProjectData& project) {
  writeReport(project, kFile);
  return CloseNumberedFile(kFile);
}

}  // namespace

TextView exportMessage(ExportResult result) {
  switch (result) {
    case ExportResult::NoData: return kNoDataMessage;
    case ExportResult::CannotCreate: return kCannotCreateMessage;
    case ExportResult::WriteFailed: return kWriteFailedMessage;
    case ExportResult::Written: break;
  }
  return {};
}

Text reportPath(const ProjectData& project, TextView exportFolder) {
  return Text(exportFolder) + project.info.projectName + u".html";
}

ExportResult exportReport(const ProjectData& project, TextView exportFolder) {
  if (TextEquals(project.info.projectPath, u"")) return ExportResult::NoData;
  return exportReportTo(project, reportPath(project, exportFolder));
}

ExportResult exportReportTo(const ProjectData& project, TextView path) {
  if (CreateOutputFile(kFile, path) == 0) return ExportResult::CannotCreate;
  if (!WriteAndClose(project)) {
    OsRemoveFile(path);  // never leave a truncated report behind
    return ExportResult::WriteFailed;
  }
  return ExportResult::Written;
}

ExportResult exportReportToStandardOutput(const ProjectData& project) {
  if (OpenStandardOutput(kFile) == 0) return ExportResult::CannotCreate;
  return WriteAndClose(project) ? ExportResult::Written : ExportResult::WriteFailed;
}
