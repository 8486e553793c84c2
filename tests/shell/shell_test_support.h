// A fixture for the shell's tests: a fresh temporary folder, the scripted
// toolkit and the shell's records reset before each test, and no script
// mismatches left at its end.
#pragma once

#include "app/commands.h"
#include "app/controls.h"
#include "app/shell.h"
#include "support/scripted_toolkit.h"
#include "support/temp_folder.h"
#include "runtime/utf8.h"

#include <string>
#include <string_view>

// Texts are compared as UTF-8, which the test framework prints readably.
inline std::string Utf8(TextView text) { return TextToUtf8(text); }

class shell : public TempFolder {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Runs the whole program on the queued script (with a project named on
  // the command line, if given); checks that it ran to its end.
  void runProgram(TextView projectToOpen = u"");
  // Start-up only, as runQuorvel does it before its event loop.
  void startProgram();
  // One turn of the event loop: takes the next event and handles it.
  void step();

  static ShellRecords& records() { return shellRecords(); }
  static ExportOptions& options() { return shellRecords().options; }
  static std::int32_t stateOf(std::int32_t id) { return ui::ReadControlState(id); }

  // Copies a project kept beside the tests (tests/data) into `folder`
  // (created when missing) under `name`; returns its full path.
  Text copyProject(std::string_view dataName, TextView folder, TextView name) const;
  // A sub-folder of the temporary folder, created, with a trailing separator.
  Text subFolder(TextView name) const;
};

// The project most tests load: tracks, master FX and plug-ins; and a second,
// different one (a header and a master, no tracks).
inline constexpr std::string_view kProject = "basic.rpp";
inline constexpr std::string_view kOtherProject = "empty-master.rpp";
