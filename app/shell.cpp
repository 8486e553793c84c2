// Start-up and shut-down of the window program: the records' initial values,
// the main window with its menu bar and controls, and the initial states.
#include "app/shell.h"

#include "app/ui/toolkit.h"
#include "runtime/numbered_file.h"
#include "runtime/paths.h"

namespace {

ShellRecords& Records() {
  static ShellRecords records;
  return records;
}

void CreateMenuBar() {
  if (!ui::AttachMenuBar(MainWindow)) return;  // the buttons still give Load, Export and Quit
  ui::AddMenuHeading(u"File");
  ui::AddMenuEntry(MenuOpen, u"&Open...");
  ui::AddMenuSeparator();
  ui::AddMenuEntry(MenuQuit, u"&Quit");
  ui::AddMenuHeading(u"Help");
  ui::AddMenuEntry(MenuAbout, u"&About...");
}

// The layout cursor: margin X, running Y, width W and height H of the next control.
struct LayoutCursor {
  std::int32_t x;
  std::int32_t y;
  std::int32_t width;
  std::int32_t height;
};

void CreateButtons() {
  LayoutCursor c{20, 20, 200, 60};
  ui::AddPushButton(LoadButton, c.x, c.y, c.width, c.height, u"Load Reaper Project *.RPP");
  c.y += c.height + 20;
  ui::AddPushButton(ExportButton, c.x, c.y, c.width, c.height, u"Export HTML file");
  c.y += c.height + 20;
  ui::AddPushButton(QuitButton, c.x, c.y, c.width, c.height, u"Quit");
}

void CreateDestinationPanel() {
  ui::BeginPanel(DestinationPanel, 240, 20, 200, 80);
  LayoutCursor c{10, 10, 150, 20};
  ui::AddLabel(DestinationLabel, c.x, c.y, c.width, c.height, u"Where to export HTML file ?");
  c.y += c.height;
  ui::AddOptionButton(ApplicationFolderOption, c.x, c.y, c.width, c.height, u"Application folder");
  c.y += c.height;
  ui::AddOptionButton(ProjectFolderOption, c.x, c.y, c.width, c.height, u"Reaper File Project folder");
  ui::EndPanel();
  ui::WriteControlState(ApplicationFolderOption, 1);
}

void CreateDataPanel() {
  ui::BeginPanel(DataPanel, 240, 120, 200, 280);
  LayoutCursor c{10, 10, 150, 20};
  const std::int32_t firstLevel = 3 * c.x;
  const std::int32_t secondLevel = 6 * c.x;
  struct Child {
    std::int32_t id;
    std::int32_t x;
    TextView label;
  };
  ui::AddLabel(DataLabel, c.x, c.y, c.width, c.height, u"Data to export ?");
  c.y += c.height;
  ui::AddOptionButton(PluginsListOnlyOption, c.x, c.y, c.width, c.height, u"Plugins list only !");
  c.y += c.height;
  ui::AddOptionButton(SelectedOption, c.x, c.y, c.width, c.height, u"Selected");
  c.y += c.height;
  const Child checks[] = {
      {CommonDataCheck, firstLevel, u"Reaper common data"},
      {MasterCheck, firstLevel, u"Master"},
      {MasterVolumeCheck, secondLevel, u"Volume"},
      {MasterPluginsCheck, secondLevel, u"Plugins"},
      {TrackCheck, firstLevel, u"Track"},
      {TrackVolumeCheck, secondLevel, u"Volume"},
      {TrackPanCheck, secondLevel, u"Pan"},
      {TrackMuteCheck, secondLevel, u"Mute"},
      {TrackSoloCheck, secondLevel, u"Solo"},
      {TrackPluginsCheck, secondLevel, u"Plugins"},
  };
  for (const Child& check : checks) {
    ui::AddCheckBox(check.id, check.x, c.y, c.width, c.height, check.label);
    c.y += c.height;
  }
  ui::EndPanel();

  ui::WriteControlState(PluginsListOnlyOption, 1);
  ui::WriteControlState(SelectedOption, 1);
  for (std::int32_t id : {CommonDataCheck, MasterCheck, MasterVolumeCheck, MasterPluginsCheck, TrackCheck,
                          TrackPanCheck, TrackMuteCheck, TrackSoloCheck, TrackVolumeCheck, TrackPluginsCheck})
    ui::WriteControlState(id, 1);
}

// Puts a project model into its initial state: every text empty, every number
// 0, every list empty. Done field by field, so that the model need not be
// copyable.
void ClearProject(ProjectData& project) {
  project.resetScannedContent();
  project.info = ProjectInfo{};
}

}  // namespace

ShellRecords& shellRecords() { return Records(); }

void resetShellRecords() {
  ShellRecords& records = Records();
  ClearProject(records.project);
  records.options = ExportOptions{};
  records.quitRequested = false;
}

WindowPlacement mainWindowPlacement(std::int32_t displayWidth, std::int32_t displayHeight,
                                    std::int32_t dotsPerInch) {
  if (dotsPerInch <= 0) dotsPerInch = 96;
  const auto toUnits = [dotsPerInch](std::int32_t pixels) {
    return static_cast<std::int32_t>(static_cast<std::int64_t>(pixels) * 96 / dotsPerInch);
  };
  // Integer division truncates toward zero, also for a display smaller than the window.
  return WindowPlacement{(toUnits(displayWidth) - kMainWindowWidth) / 2,
                         (toUnits(displayHeight) - kMainWindowHeight) / 2, kMainWindowWidth, kMainWindowHeight};
}

bool startShell() {
  ShellRecords& records = Records();
  records.quitRequested = false;
  records.options.trackCheckedCount = 5;
  records.options.masterCheckedCount = 2;

  ui::CountDisplays();
  const WindowPlacement placement =
      mainWindowPlacement(ui::DisplayPixelWidth(0), ui::DisplayPixelHeight(0), ui::ScreenDotsPerInch());

  ClearProject(records.project);
  records.options.exportFolder = CurrentDirectory();

  if (!ui::CreateTopWindow(MainWindow, placement.x, placement.y, placement.width, placement.height,
                           kMainWindowTitle))
    return false;
  CreateMenuBar();
  CreateButtons();
  CreateDestinationPanel();
  CreateDataPanel();
  return true;
}

int RunQuorvel() {
  resetShellRecords();
  if (ui::InitializeToolkit() && startShell()) runEventLoop();
  ui::ShutdownToolkit();
  CloseAllNumberedFiles();
  return 0;
}
