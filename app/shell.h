// The window program's shell: start-up (the main window, its menu bar and
// its controls, built from the tables of app/controls.h), the event loop and
// shut-down. The commands it dispatches to live in app/commands.h, the records they
// work on in app/shell_records.h. Everything
// here goes through the window toolkit (app/ui/toolkit.h); the shell links no
// backend, the program or test that uses it links one.
#pragma once

#include "runtime/text.h"

#include <cstdint>

// Outer top-left corner and inner size of the main window, in units, centred
// on a display area given in pixels (its offset included): each coordinate is
// truncated toward zero, so a display smaller than the window gives negative
// positions relative to the area.
struct WindowPlacement {
  std::int32_t x = 0;
  std::int32_t y = 0;
  std::int32_t width = 0;
  std::int32_t height = 0;
};
// The area is taken in units first (pixels * 96 / dots per inch), so the
// window is centred at every screen scale.
WindowPlacement mainWindowPlacement(std::int32_t areaX, std::int32_t areaY, std::int32_t areaWidth,
                                    std::int32_t areaHeight, std::int32_t dotsPerInch = 96);

// Start-up after the toolkit is initialised: the records take their initial
// values, the main window opens with its menu bar, controls and initial
// states. False when the main window could not be opened (nothing else is
// then created).
bool startShell();

// Takes and handles events until quitRequested is set.
void runEventLoop();

enum class ShellEnd {
  Ended,          // the event loop ran and ended, or the window could not open
  NoUserInterface // the platform gave no user interface (no display): nothing ran
};

// The whole program: start-up, the project given on the command line (empty:
// none) loaded as if chosen in the requester, the event loop, shut-down.
ShellEnd runQuorvel(TextView projectToOpen);
