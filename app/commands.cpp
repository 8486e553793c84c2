// The event handlers and the commands: Load, Export, the export-folder
// options, the consistency of the "Data to export ?" check boxes, the About
// box and Quit.
#include "app/commands.h"

#include "app/controls.h"
#include "app/ui/toolkit.h"
#include "core/loader.h"
#include "report/export.h"
#include "runtime/path_limits.h"
#include "runtime/paths.h"

#include <iterator>

namespace {


constexpr TextView kAboutLines[] = {
    u"Quorvel (17/07/2025)",
    u"",
    u"Writes the settings, tracks and plug-ins of a REAPER project into an HTML report.",
    u"",
    u"Velmorn : quorvel@example.org",
};

// A parent box was clicked (its state has already changed): every sub-box follows it.
template <std::size_t N>
void parentToggled(std::int32_t parent, const std::int32_t (&subBoxes)[N], std::int64_t& checkedCount) {
  const std::int32_t state = ui::ReadControlState(parent) != 0 ? 1 : 0;
  for (std::int32_t id : subBoxes) ui::WriteControlState(id, state);
  checkedCount = state != 0 ? static_cast<std::int64_t>(N) : 0;
}

// A sub-box was clicked: count it, and check the parent exactly when all sub-boxes are.
template <std::size_t N>
void subBoxToggled(std::int32_t subBox, std::int32_t parent, const std::int32_t (&)[N],
                   std::int64_t& checkedCount) {
  checkedCount += ui::ReadControlState(subBox) != 0 ? 1 : -1;
  ui::WriteControlState(parent, checkedCount >= static_cast<std::int64_t>(N) ? 1 : 0);
}

void handleMenu(std::int32_t id) {
  switch (id) {
    case MenuOpen: loadProject(); break;
    case MenuQuit: shellRecords().quitRequested = true; break;
    case MenuAbout: showAboutBox(); break;
    default: break;
  }
}

void handleControl(std::int32_t id) {
  ShellRecords& records = shellRecords();
  ExportOptions& options = records.options;
  switch (id) {
    case LoadButton: loadProject(); break;
    case ExportButton: exportCommand(); break;
    case QuitButton: records.quitRequested = true; break;
    case ProjectFolderOption: options.exportFolder = records.project.info.projectFolder; break;
    case ApplicationFolderOption: options.exportFolder = CurrentDirectory(); break;
    case MasterCheck: parentToggled(MasterCheck, kMasterSubBoxes, options.masterCheckedCount); break;
    case MasterVolumeCheck:
    case MasterPluginsCheck:
      subBoxToggled(id, MasterCheck, kMasterSubBoxes, options.masterCheckedCount);
      break;
    case TrackCheck: parentToggled(TrackCheck, kTrackSubBoxes, options.trackCheckedCount); break;
    case TrackVolumeCheck:
    case TrackPanCheck:
    case TrackMuteCheck:
    case TrackSoloCheck:
    case TrackPluginsCheck:
      subBoxToggled(id, TrackCheck, kTrackSubBoxes, options.trackCheckedCount);
      break;
    default: break;  // the labels, panels, SelectedOption, PluginsListOnlyOption and CommonDataCheck
  }
}

// A path chosen by the user (in the requester, or dropped on the window). A
// path the system could not open counts as a cancel, as a requester that
// cannot hold it would return none.
void openChosenPath(const Text& path) {
  if (path.empty() || !PathFitsSystemLimits(path)) {
    shellRecords().project.info.projectPath.clear();  // cancelled: nothing else changes
    return;
  }
  openProject(path);
}

// The name ends in ".rpp", in any letter case.
bool hasProjectExtension(TextView path) {
  constexpr TextView kExtension = u".rpp";
  if (path.size() < kExtension.size()) return false;
  const TextView end = path.substr(path.size() - kExtension.size());
  for (std::size_t i = 0; i < end.size(); ++i) {
    const char16_t c = end[i] >= u'A' && end[i] <= u'Z' ? static_cast<char16_t>(end[i] - u'A' + u'a') : end[i];
    if (c != kExtension[i]) return false;
  }
  return true;
}

}  // namespace

Text reportNotOpenedMessage(TextView reportPath) {
  return u"The report was written to " + Text(reportPath) + u", but no program is set to open HTML files.";
}

Text reportOpenFailedMessage(TextView reportPath, TextView reason) {
  return u"The report was written to " + Text(reportPath) + u", but it could not be opened: " + Text(reason) + u".";
}

void handleEvent(std::int32_t kind, std::int32_t origin) {
  switch (kind) {
    case ui::MenuEvent: handleMenu(origin); break;
    case ui::ControlEvent: handleControl(origin); break;
    case ui::CloseWindowEvent: shellRecords().quitRequested = true; break;
    case ui::DocumentOpenedEvent: reportOpened(ui::LastOpenedDocument()); break;
    case ui::FilesDroppedEvent: openDroppedProject(ui::DroppedFiles()); break;
    default: break;
  }
}

void loadProject() {
  openChosenPath(ui::ChooseFileToOpen(kOpenRequesterTitle, CurrentDirectory(), kOpenRequesterPatterns, 0));
}

void openProject(TextView path) {
  ShellRecords& records = shellRecords();
  if (loadProjectFile(records.project, path).result != LoadResult::Loaded) {  // a file that is not a project too
    ui::ShowMessageBox(kInformationCaption, kCannotOpenMessage);
    return;
  }
  // While "Reaper File Project folder" is selected, the report goes beside the
  // project just loaded, not beside the one loaded when the option was clicked.
  if (ui::ReadControlState(ProjectFolderOption) != 0)
    records.options.exportFolder = records.project.info.projectFolder;
}

void exportCommand() {
  const ShellRecords& records = shellRecords();
  const ExportResult result = exportReport(records.project, records.options.exportFolder);
  if (result != ExportResult::Written) {
    ui::ShowMessageBox(kInformationCaption, exportMessage(result));
    return;
  }
  // The report is there; the user is told when nothing could show it, once
  // that is known (reportOpened).
  ui::OpenWithDefaultProgram(reportPath(records.project, records.options.exportFolder));
}

void reportOpened(const ui::OpenedDocument& opened) {
  switch (opened.outcome.result) {
    case LaunchResult::Started: break;
    case LaunchResult::NoProgram:
      ui::ShowMessageBox(kInformationCaption, reportNotOpenedMessage(opened.path));
      break;
    case LaunchResult::Failed:
      ui::ShowMessageBox(kInformationCaption, reportOpenFailedMessage(opened.path, opened.outcome.reason));
      break;
  }
}

void openDroppedProject(const std::vector<Text>& files) {
  for (const Text& file : files) {
    if (hasProjectExtension(file)) {
      openChosenPath(file);
      return;
    }
  }
}

Text aboutText() {
  Text text;
  for (std::size_t i = 0; i < std::size(kAboutLines); ++i) {
    if (i > 0) text += u'\n';
    text += kAboutLines[i];
  }
  return text;
}

void showAboutBox() { ui::ShowMessageBox(kAboutCaption, aboutText()); }
