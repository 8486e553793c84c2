#include "app/shell_records.h"

namespace {

// Puts a project model into its initial state: every text empty, every number
// 0, every list empty. Done field by field, so that the model need not be
// copyable.
void clearProject(ProjectData& project) {
  project.resetScannedContent();
  project.info = ProjectInfo{};
}

}  // namespace

ShellRecords& shellRecords() {
  static ShellRecords records;
  return records;
}

void resetShellRecords() {
  ShellRecords& records = shellRecords();
  clearProject(records.project);
  records.options = ExportOptions{};
  records.quitRequested = false;
}
