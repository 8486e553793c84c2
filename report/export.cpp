#include "report/export.h"

#include "report/html_writer.h"
#include "runtime/output_file.h"

#include <algorithm>
#include <new>

namespace {

constexpr TextView kProjectFileReason = u"it is a project file";

ExportOutcome failed(ExportResult result, Text reason) {
  ExportOutcome outcome;
  outcome.result = result;
  outcome.reason = std::move(reason);
  return outcome;
}

// Whether the file an output would write is the project or one to keep.
bool isKept(const OutputFile& out, const ProjectData& project, const std::vector<FileIdentity>& keep) {
  const FileIdentity& there = out.existing();
  if (!there.known) return false;
  if (there == project.info.projectFile || there == OsPathIdentity(project.info.projectPath)) return true;
  return std::find(keep.begin(), keep.end(), there) != keep.end();
}

// Writes the report into the created output and puts it in place.
ExportOutcome writeAndCommit(const ProjectData& project, OutputFile& out, const std::vector<FileIdentity>& keep,
                             TextView path) {
  if (isKept(out, project, keep)) {
    out.abandon();
    return failed(ExportResult::CannotCreate, Text(kProjectFileReason));
  }
  bool written;
  try {
    written = writeReport(project, out);
  } catch (const std::bad_alloc&) {
    out.abandon();
    return failed(ExportResult::WriteFailed, OsErrorText(kErrorNotEnoughMemory));
  }
  if (!written || !out.commit()) {
    out.abandon();
    return failed(ExportResult::WriteFailed, out.failureReason());
  }
  ExportOutcome outcome;
  outcome.toStandardOutput = out.writesStandardOutput();
  outcome.report = out.writesDirectly() ? out.existing() : OsPathIdentity(path);
  return outcome;
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
  return exportReportTo(project, reportPath(project, exportFolder)).result;
}

// Memory that runs out while the output is being made (its names, its
// buffer) fails this report alone; the unfinished file is gone with `out`.
ExportOutcome exportReportTo(const ProjectData& project, TextView path, const std::vector<FileIdentity>& keep) {
  try {
    OutputFile out;
    if (!out.create(path)) return failed(ExportResult::CannotCreate, out.failureReason());
    return writeAndCommit(project, out, keep, path);
  } catch (const std::bad_alloc&) {
  }
  return failed(ExportResult::CannotCreate, OsErrorText(kErrorNotEnoughMemory));
}

ExportOutcome exportReportToStandardOutput(const ProjectData& project, const std::vector<FileIdentity>& keep) {
  try {
    OutputFile out;
    if (!out.createStandardOutput()) return failed(ExportResult::CannotCreate, out.failureReason());
    return writeAndCommit(project, out, keep, {});
  } catch (const std::bad_alloc&) {
  }
  return failed(ExportResult::CannotCreate, OsErrorText(kErrorNotEnoughMemory));
}
