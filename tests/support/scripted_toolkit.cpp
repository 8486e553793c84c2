// The scripted toolkit backend (see scripted_toolkit.h).
#include "support/scripted_toolkit.h"
#include "runtime/utf8.h"

#include <algorithm>
#include <deque>
#include <utility>

namespace ui::scripted {
namespace {

enum class ActionKind { Click, Menu, CloseBox, RawEvent, Answer, OpenerVerdict };

struct Action {
  ActionKind kind = ActionKind::Click;
  std::int32_t id = 0;      // control or menu entry id; for RawEvent the kind
  std::int32_t origin = 0;  // RawEvent only
  Text path;                // Answer: "" for a cancel; OpenerVerdict: the document
  LaunchOutcome outcome;    // OpenerVerdict only
};

struct Toolkit {
  // settings
  std::vector<DisplayRect> displays{{0, 0, 1920, 1080}};
  std::int32_t dotsPerInch = 96;
  bool initializeFails = false;
  Text failureReason;
  bool windowCreationFails = false;
  bool menuBarFails = false;
  LaunchResult openDocumentResult = LaunchResult::Started;
  Text openDocumentReason;
  std::size_t openerDelay = 0;

  // registry
  bool initialized = false;
  std::int32_t shutdowns = 0;
  std::vector<WindowRecord> windows;
  bool windowOpen = false;
  bool menuBarOpen = false;
  Text currentHeading;
  bool haveHeading = false;
  std::vector<MenuEntryRecord> menuEntries;
  std::vector<ControlRecord> controls;
  std::vector<std::int32_t> openPanels;
  std::int32_t nextGroup = 0;
  bool lastCreatedOption = false;  // the last control created was an option button
  std::int32_t lastOptionParent = kInWindow;

  // script and records
  std::deque<Action> script;
  std::int32_t lastOrigin = 0;
  OpenedDocument lastDocument;
  std::int32_t runOuts = 0;
  std::vector<StateChangeRecord> stateChanges;
  std::vector<MessageBoxRecord> messageBoxes;
  std::vector<RequesterRecord> requesters;
  std::vector<Text> openedDocuments;
  std::vector<EventRecord> events;
  std::vector<std::string> calls;
  std::vector<std::string> problems;
};

Toolkit& State() {
  static Toolkit toolkit;
  return toolkit;
}

void Log(std::string line) { State().calls.push_back(std::move(line)); }

void Log(const char* operation, std::int32_t a) { Log(std::string(operation) + " " + std::to_string(a)); }

void Log(const char* operation, std::int32_t a, std::int32_t b) {
  Log(std::string(operation) + " " + std::to_string(a) + " " + std::to_string(b));
}

ControlRecord* Find(std::int32_t id) {
  for (ControlRecord& control : State().controls)
    if (control.id == id) return &control;
  return nullptr;
}

bool HasState(const ControlRecord& control) {
  return control.kind == ControlKind::CheckBox || control.kind == ControlKind::OptionButton;
}

void SetState(ControlRecord& control, std::int32_t state, bool byUser) {
  Toolkit& t = State();
  const std::int32_t id = control.id;
  const std::int32_t group = control.group;
  const bool selectOption = control.kind == ControlKind::OptionButton && state != 0;
  control.state = state != 0 ? 1 : 0;
  t.stateChanges.push_back({id, control.state, byUser});
  if (!selectOption) return;
  for (ControlRecord& other : t.controls) {
    if (other.group != group || other.id == id || other.state == 0) continue;
    other.state = 0;
    t.stateChanges.push_back({other.id, 0, byUser});
  }
}

void AddControl(ControlKind kind, std::int32_t id, std::int32_t x, std::int32_t y, std::int32_t width,
                std::int32_t height, TextView text) {
  Toolkit& t = State();
  if (!t.windowOpen) return;  // no parent: the control cannot appear
  ControlRecord control;
  control.kind = kind;
  control.id = id;
  control.parent = t.openPanels.empty() ? kInWindow : t.openPanels.back();
  control.x = x;
  control.y = y;
  control.width = width;
  control.height = height;
  control.label = Text(text);
  control.order = static_cast<std::int32_t>(t.controls.size());
  if (kind == ControlKind::OptionButton) {
    const bool continues = t.lastCreatedOption && t.lastOptionParent == control.parent;
    control.group = continues ? t.nextGroup - 1 : t.nextGroup++;
    t.lastOptionParent = control.parent;
  }
  t.lastCreatedOption = kind == ControlKind::OptionButton;
  t.controls.push_back(std::move(control));
}

void Queue(Action action) { State().script.push_back(std::move(action)); }

// Plays one queued action; true when it raised an event (kind and origin set).
bool Play(const Action& action, std::int32_t& kind, std::int32_t& origin) {
  Toolkit& t = State();
  switch (action.kind) {
    case ActionKind::Click: {
      ControlRecord* control = t.windowOpen ? Find(action.id) : nullptr;
      if (control == nullptr) return false;
      switch (control->kind) {
        case ControlKind::CheckBox: SetState(*control, control->state != 0 ? 0 : 1, true); break;
        case ControlKind::OptionButton: SetState(*control, 1, true); break;
        case ControlKind::PushButton: break;
        case ControlKind::Label:
        case ControlKind::Panel: return false;
      }
      kind = ControlEvent;
      origin = action.id;
      return true;
    }
    case ActionKind::Menu:
      if (!t.windowOpen) return false;
      for (const MenuEntryRecord& entry : t.menuEntries) {
        if (entry.separator || entry.id != action.id) continue;
        kind = MenuEvent;
        origin = action.id;
        return true;
      }
      return false;
    case ActionKind::CloseBox:
      if (!t.windowOpen) return false;
      kind = CloseWindowEvent;
      origin = t.windows.empty() ? 0 : t.windows.back().number;
      return true;
    case ActionKind::RawEvent:
      kind = action.id;
      origin = action.origin;
      return true;
    case ActionKind::OpenerVerdict:
      kind = DocumentOpenedEvent;
      t.lastDocument = OpenedDocument{action.path, action.outcome};
      return true;
    case ActionKind::Answer:
      t.problems.push_back("requester answer reached with no requester open: \"" + TextToUtf8(action.path) + "\"");
      return false;
  }
  return false;
}

}  // namespace

void ResetScriptedToolkit() { State() = Toolkit{}; }

void SetDisplays(std::vector<DisplayRect> displays) { State().displays = std::move(displays); }
void SetScreenDotsPerInch(std::int32_t dotsPerInch) { State().dotsPerInch = dotsPerInch; }
void SetInitializeFails(bool fails, TextView reason) {
  State().initializeFails = fails;
  State().failureReason = fails ? Text(reason) : Text();
}
void SetWindowCreationFails(bool fails) { State().windowCreationFails = fails; }
void SetMenuBarFails(bool fails) { State().menuBarFails = fails; }
void SetOpenDocumentResult(LaunchResult result, TextView reason, std::size_t afterActions) {
  State().openDocumentResult = result;
  State().openDocumentReason = Text(reason);
  State().openerDelay = afterActions;
}

void ScriptClick(std::int32_t controlId) { Queue({ActionKind::Click, controlId, 0, {}, {}}); }
void ScriptMenu(std::int32_t entryId) { Queue({ActionKind::Menu, entryId, 0, {}, {}}); }
void ScriptCloseBox() { Queue({ActionKind::CloseBox, 0, 0, {}, {}}); }
void ScriptEvent(std::int32_t kind, std::int32_t origin) { Queue({ActionKind::RawEvent, kind, origin, {}, {}}); }
void ScriptChooseFile(TextView path) { Queue({ActionKind::Answer, 0, 0, Text(path), {}}); }
void ScriptCancelRequester() { Queue({ActionKind::Answer, 0, 0, {}, {}}); }

bool Initialized() { return State().initialized; }
std::int32_t ShutdownCount() { return State().shutdowns; }
const std::vector<WindowRecord>& Windows() { return State().windows; }
const std::vector<MenuEntryRecord>& MenuEntries() { return State().menuEntries; }
const std::vector<ControlRecord>& Controls() { return State().controls; }
const ControlRecord* FindControl(std::int32_t id) { return Find(id); }
const std::vector<StateChangeRecord>& StateChanges() { return State().stateChanges; }
const std::vector<MessageBoxRecord>& MessageBoxes() { return State().messageBoxes; }
const std::vector<RequesterRecord>& Requesters() { return State().requesters; }
const std::vector<Text>& OpenedDocuments() { return State().openedDocuments; }
const std::vector<EventRecord>& DeliveredEvents() { return State().events; }
const std::vector<std::string>& CallLog() { return State().calls; }
std::int32_t ScriptRunOuts() { return State().runOuts; }
std::size_t PendingActions() { return State().script.size(); }
const std::vector<std::string>& ScriptProblems() { return State().problems; }

}  // namespace ui::scripted

namespace ui {

using namespace ui::scripted;

bool InitializeToolkit() {
  Log("InitializeToolkit");
  Toolkit& t = State();
  if (t.initializeFails) return false;
  t.initialized = true;
  return true;
}

Text ToolkitFailureReason() { return State().initializeFails ? State().failureReason : Text(); }

void ShutdownToolkit() {
  Log("ShutdownToolkit");
  Toolkit& t = State();
  t.initialized = false;
  t.windowOpen = false;
  t.menuBarOpen = false;
  t.openPanels.clear();
  ++t.shutdowns;
}

bool CreateTopWindow(std::int32_t number, std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height,
                     TextView title) {
  Log("CreateTopWindow", number);
  Toolkit& t = State();
  if (t.windowCreationFails) return false;
  t.windows.push_back({number, x, y, width, height, Text(title), false});
  t.windowOpen = true;
  return true;
}

bool AttachMenuBar(std::int32_t window) {
  Log("AttachMenuBar", window);
  Toolkit& t = State();
  if (t.menuBarFails || !t.windowOpen) return false;
  for (WindowRecord& record : t.windows)
    if (record.number == window) record.hasMenuBar = true;
  t.menuBarOpen = true;
  t.haveHeading = false;
  return true;
}

void AddMenuHeading(TextView text) {
  Log("AddMenuHeading");
  Toolkit& t = State();
  if (!t.menuBarOpen) return;
  t.currentHeading = Text(text);
  t.haveHeading = true;
}

void AddMenuEntry(std::int32_t id, TextView text, char16_t controlKey) {
  Log("AddMenuEntry", id);
  Toolkit& t = State();
  if (!t.menuBarOpen || !t.haveHeading) return;
  t.menuEntries.push_back({t.currentHeading, false, id, Text(text), controlKey});
}

void AddMenuSeparator() {
  Log("AddMenuSeparator");
  Toolkit& t = State();
  if (!t.menuBarOpen || !t.haveHeading) return;
  t.menuEntries.push_back({t.currentHeading, true, 0, {}, 0});
}

void AddPushButton(std::int32_t id, std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height,
                   TextView text) {
  Log("AddPushButton", id);
  AddControl(ControlKind::PushButton, id, x, y, width, height, text);
}

void AddLabel(std::int32_t id, std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height,
              TextView text) {
  Log("AddLabel", id);
  AddControl(ControlKind::Label, id, x, y, width, height, text);
}

void AddOptionButton(std::int32_t id, std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height,
                     TextView text) {
  Log("AddOptionButton", id);
  AddControl(ControlKind::OptionButton, id, x, y, width, height, text);
}

void AddCheckBox(std::int32_t id, std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height,
                 TextView text) {
  Log("AddCheckBox", id);
  AddControl(ControlKind::CheckBox, id, x, y, width, height, text);
}

void BeginPanel(std::int32_t id, std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height) {
  Log("BeginPanel", id);
  Toolkit& t = State();
  const std::size_t before = t.controls.size();
  AddControl(ControlKind::Panel, id, x, y, width, height, u"");
  if (t.controls.size() > before) t.openPanels.push_back(id);
}

void EndPanel() {
  Log("EndPanel");
  Toolkit& t = State();
  if (!t.openPanels.empty()) t.openPanels.pop_back();
}

std::int32_t ReadControlState(std::int32_t id) {
  const ControlRecord* control = Find(id);
  return control != nullptr && HasState(*control) ? control->state : 0;
}

void WriteControlState(std::int32_t id, std::int32_t state) {
  Log("WriteControlState", id, state != 0 ? 1 : 0);
  ControlRecord* control = Find(id);
  if (control != nullptr && HasState(*control)) SetState(*control, state, false);
}

std::int32_t CountDisplays() { return static_cast<std::int32_t>(State().displays.size()); }

std::int32_t ScreenDotsPerInch() { return State().dotsPerInch; }

DisplayRect DisplayArea(std::int32_t index) {
  const auto& displays = State().displays;
  return index >= 0 && static_cast<std::size_t>(index) < displays.size() ? displays[index] : DisplayRect{};
}

std::int32_t NextEvent() {
  Toolkit& t = State();
  std::int32_t kind = 0;
  std::int32_t origin = 0;
  bool raised = false;
  while (!raised && !t.script.empty()) {
    const Action action = std::move(t.script.front());
    t.script.pop_front();
    raised = Play(action, kind, origin);
  }
  if (!raised) {
    ++t.runOuts;
    kind = CloseWindowEvent;
    origin = t.windows.empty() ? 0 : t.windows.back().number;
  }
  t.lastOrigin = origin;
  t.events.push_back({kind, origin});
  Log("NextEvent", kind, origin);
  return kind;
}

std::int32_t EventOrigin() { return State().lastOrigin; }

void ShowMessageBox(TextView caption, TextView text) {
  Log("ShowMessageBox");
  State().messageBoxes.push_back({Text(caption), Text(text)});
}

Text ChooseFileToOpen(TextView title, TextView initialPath, TextView patterns, std::int32_t patternIndex) {
  Log("ChooseFileToOpen");
  Toolkit& t = State();
  Text result;
  if (!t.script.empty() && t.script.front().kind == ActionKind::Answer) {
    result = std::move(t.script.front().path);
    t.script.pop_front();
  } else {
    t.problems.push_back("requester opened with no answer queued; cancelled");
  }
  t.requesters.push_back({Text(title), Text(initialPath), Text(patterns), patternIndex, result});
  return result;
}

void OpenWithDefaultProgram(TextView path) {
  Log("OpenWithDefaultProgram");
  Toolkit& t = State();
  t.openedDocuments.emplace_back(path);
  const std::size_t at = std::min(t.openerDelay, t.script.size());
  t.script.insert(t.script.begin() + static_cast<std::ptrdiff_t>(at),
                  Action{ActionKind::OpenerVerdict, 0, 0, Text(path), LaunchOutcome{t.openDocumentResult, t.openDocumentReason}});
}

OpenedDocument LastOpenedDocument() { return State().lastDocument; }

std::vector<Text> DroppedFiles() { return {}; }  // nothing is ever dropped here

void SetAccessibleName(std::int32_t id, TextView) { Log("SetAccessibleName", id); }

}  // namespace ui
