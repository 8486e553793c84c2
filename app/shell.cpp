// Start-up, the event loop and shut-down of the window program: the records'
// initial values, the main window with its menu bar and controls built from
// the tables of app/controls.h, and the initial states.
#include "app/shell.h"

#include "app/commands.h"
#include "app/controls.h"
#include "app/ui/toolkit.h"
#include "runtime/numbered_file.h"
#include "runtime/paths.h"

#include <vector>

namespace {

void createMenuBar() {
  if (!ui::AttachMenuBar(kMainWindow)) return;  // the buttons still give Load, Export and Quit
  const MenuSpec* previous = nullptr;
  for (const MenuSpec& entry : kMainMenu) {
    if (previous == nullptr || entry.heading != previous->heading) ui::AddMenuHeading(entry.heading);
    previous = &entry;
    if (entry.id == kMenuSeparator)
      ui::AddMenuSeparator();
    else
      ui::AddMenuEntry(entry.id, entry.text, entry.controlKey);
  }
}

void applyInitialStates(std::int32_t panel) {
  for (const InitialState& state : kInitialStates)
    if (state.panel == panel) ui::WriteControlState(state.id, 1);
}

// Walks the control table: each row is created in the panel it names; a
// panel stays open while the rows that follow are its children, and once it
// is closed the states it opens with are set.
void createControls() {
  std::vector<std::int32_t> openPanels;
  auto closePanel = [&openPanels] {
    const std::int32_t panel = openPanels.back();
    openPanels.pop_back();
    ui::EndPanel();
    applyInitialStates(panel);
  };
  for (const ControlSpec& c : kMainControls) {
    while (!openPanels.empty() && openPanels.back() != c.parent) closePanel();
    switch (c.kind) {
      case ControlKind::PushButton: ui::AddPushButton(c.id, c.x, c.y, c.width, c.height, c.label); break;
      case ControlKind::Label: ui::AddLabel(c.id, c.x, c.y, c.width, c.height, c.label); break;
      case ControlKind::Option: ui::AddOptionButton(c.id, c.x, c.y, c.width, c.height, c.label); break;
      case ControlKind::CheckBox: ui::AddCheckBox(c.id, c.x, c.y, c.width, c.height, c.label); break;
      case ControlKind::Panel:
        ui::BeginPanel(c.id, c.x, c.y, c.width, c.height);
        openPanels.push_back(c.id);
        break;
    }
  }
  while (!openPanels.empty()) closePanel();
  for (const AccessibleName& entry : kAccessibleNames) ui::SetAccessibleName(entry.id, entry.name);
}

}  // namespace

WindowPlacement mainWindowPlacement(std::int32_t areaX, std::int32_t areaY, std::int32_t areaWidth,
                                    std::int32_t areaHeight, std::int32_t dotsPerInch) {
  if (dotsPerInch <= 0) dotsPerInch = 96;
  const auto toUnits = [dotsPerInch](std::int32_t pixels) {
    return static_cast<std::int32_t>(static_cast<std::int64_t>(pixels) * 96 / dotsPerInch);
  };
  // Integer division truncates toward zero, also for a display smaller than the window.
  return WindowPlacement{toUnits(areaX) + (toUnits(areaWidth) - kMainWindowWidth) / 2,
                         toUnits(areaY) + (toUnits(areaHeight) - kMainWindowHeight) / 2, kMainWindowWidth,
                         kMainWindowHeight};
}

bool startShell() {
  resetShellRecords();
  ShellRecords& records = shellRecords();
  records.options.trackCheckedCount = countCheckedAtStart(kTrackSubBoxes);
  records.options.masterCheckedCount = countCheckedAtStart(kMasterSubBoxes);

  ui::CountDisplays();
  const ui::DisplayRect display = ui::DisplayArea(0);
  const WindowPlacement placement =
      mainWindowPlacement(display.x, display.y, display.width, display.height, ui::ScreenDotsPerInch());

  records.options.exportFolder = CurrentDirectory();

  if (!ui::CreateTopWindow(kMainWindow, placement.x, placement.y, placement.width, placement.height,
                           kMainWindowTitle))
    return false;
  createMenuBar();
  createControls();
  return true;
}

void runEventLoop() {
  do {
    const std::int32_t kind = ui::NextEvent();
    handleEvent(kind, ui::EventOrigin());
  } while (!shellRecords().quitRequested);
}

ShellEnd runQuorvel(TextView projectToOpen) {
  resetShellRecords();
  if (!ui::InitializeToolkit()) {
    ui::ShutdownToolkit();
    return ShellEnd::NoUserInterface;
  }
  if (startShell()) {
    if (!projectToOpen.empty()) openProject(AbsolutePath(projectToOpen));
    runEventLoop();
  }
  ui::ShutdownToolkit();
  CloseAllNumberedFiles();
  return ShellEnd::Ended;
}
