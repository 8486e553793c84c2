// The scripted toolkit backend: implements app/ui/toolkit.h without a display,
// for tests. A test queues the user's actions (clicks, menu choices, the
// close box, the requester's answers), runs the program, then reads what the
// program did: the window, its menu and controls, every state change, every
// message box, requester and opened document.
//
// Actions play in queue order. NextEvent takes the next click, menu choice or
// close; a requester takes the next answer, which must stand at the front of
// the queue (otherwise it counts as a cancel and a script problem is noted).
// When the queue is empty, NextEvent returns CloseWindowEvent, so a program
// under test always ends.
#pragma once

#include "app/ui/toolkit.h"

#include <cstdint>
#include <string>
#include <vector>

namespace ui::scripted {

enum class ControlKind { PushButton, Label, OptionButton, CheckBox, Panel };

// The parent of a control created outside any panel.
inline constexpr std::int32_t kInWindow = -1;
// The option group of a control that is not an option button.
inline constexpr std::int32_t kNoGroup = -1;

struct WindowRecord {
  std::int32_t number = 0;
  std::int32_t x = 0;
  std::int32_t y = 0;
  std::int32_t width = 0;
  std::int32_t height = 0;
  Text title;
  bool hasMenuBar = false;
};

struct ControlRecord {
  ControlKind kind = ControlKind::PushButton;
  std::int32_t id = 0;
  std::int32_t parent = kInWindow;      // the id of the panel, or kInWindow
  std::int32_t x = 0;
  std::int32_t y = 0;
  std::int32_t width = 0;
  std::int32_t height = 0;
  Text label;                           // empty for a panel
  std::int32_t state = 0;               // check box or option: 1 set, 0 not
  std::int32_t order = 0;               // creation order, from 0
  std::int32_t group = kNoGroup;        // option group number, from 0
};

struct MenuEntryRecord {
  Text heading;              // the heading the entry stands under
  bool separator = false;
  std::int32_t id = 0;       // 0 for a separator
  Text text;
  char16_t controlKey = 0;   // the Ctrl shortcut's letter, 0 for none
};

struct StateChangeRecord {
  std::int32_t id = 0;
  std::int32_t state = 0;    // the new state, 0 or 1
  bool byUser = false;       // a scripted click (or its group clearing), not WriteControlState
};

struct MessageBoxRecord {
  Text caption;
  Text text;
};

struct RequesterRecord {
  Text title;
  Text initialPath;
  Text patterns;
  std::int32_t patternIndex = 0;
  Text result;               // what the requester returned ("" for a cancel)
};

struct EventRecord {
  std::int32_t kind = 0;
  std::int32_t origin = 0;
};

// Forgets everything: the registry, the script, the records and the
// settings below; one display of 1920 x 1080 pixels at (0, 0).
void ResetScriptedToolkit();

// Settings.
void SetDisplays(std::vector<DisplayRect> displays);  // display 0 first; may be empty
void SetScreenDotsPerInch(std::int32_t dotsPerInch);  // 96 unless set
// InitializeToolkit fails, and ToolkitFailureReason gives `reason`.
void SetInitializeFails(bool fails, TextView reason = u"cannot open display :scripted");
void SetWindowCreationFails(bool fails);
void SetMenuBarFails(bool fails);
// The outcome of each OpenWithDefaultProgram (Started unless set): it comes
// as a DocumentOpenedEvent once `afterActions` of the actions queued at the
// call have played (0: at the next NextEvent).
void SetOpenDocumentResult(LaunchResult result, TextView reason = {}, std::size_t afterActions = 0);

// The script. A click on a push button raises a ControlEvent; on a check box
// it flips the box first, on an option it selects it and clears the rest of
// its group first; a click on a label, a panel or an id no control has does
// nothing. A menu choice raises a MenuEvent when the menu bar holds an entry
// of that id. Clicks and choices need the window to be open.
void ScriptClick(std::int32_t controlId);
void ScriptMenu(std::int32_t entryId);
void ScriptCloseBox();
void ScriptEvent(std::int32_t kind, std::int32_t origin);  // any event, delivered as it is
void ScriptChooseFile(TextView path);                      // the requester's answer
void ScriptCancelRequester();

// What the program did.
bool Initialized();              // InitializeToolkit ran and ShutdownToolkit has not
std::int32_t ShutdownCount();
const std::vector<WindowRecord>& Windows();
const std::vector<MenuEntryRecord>& MenuEntries();
const std::vector<ControlRecord>& Controls();  // in creation order
const ControlRecord* FindControl(std::int32_t id);
// Every state given to a check box or option, in order: each write (even one
// that leaves the state as it was), each click, and each option a selection
// cleared. Writes to other controls or unknown ids are not recorded.
const std::vector<StateChangeRecord>& StateChanges();
const std::vector<MessageBoxRecord>& MessageBoxes();
const std::vector<RequesterRecord>& Requesters();
const std::vector<Text>& OpenedDocuments();
const std::vector<EventRecord>& DeliveredEvents();
// Every toolkit call in order, as short lines such as "AddCheckBox 12" or
// "WriteControlState 7 1", for checking the order of start-up.
const std::vector<std::string>& CallLog();
// How often NextEvent found the script empty and returned CloseWindowEvent.
std::int32_t ScriptRunOuts();
// Actions still queued.
std::size_t PendingActions();
// Mismatches between the script and the program: a requester with no answer
// queued, an answer reached by NextEvent.
const std::vector<std::string>& ScriptProblems();

}  // namespace ui::scripted
