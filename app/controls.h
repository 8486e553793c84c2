// The main window as data: its size, its menu, its 21 controls with their
// kind, parent and place, and the states they open with. The shell builds the
// window by walking these tables; the window tests read their expected layout
// from them, so moving a control is a change of one row here.
//
// Places are literal numbers in units of 1/96 inch; a panel's children are
// placed from the panel's top-left corner. Rows stand in creation order, which
// is also the keyboard focus order; a panel's children follow their panel.
// This header holds data only and needs nothing but the standard library, so
// that programs outside the product (the Win32 test driver) can read it too.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

// The one window of the program.
inline constexpr std::int32_t kMainWindow = 0;
inline constexpr std::u16string_view kMainWindowTitle = u"Quorvel";
inline constexpr std::int32_t kMainWindowWidth = 460;
inline constexpr std::int32_t kMainWindowHeight = 440;

// Menu entries (their own numbering, apart from the controls). There is no entry 2.
enum MenuEntryId : std::int32_t {
  MenuOpen = 0,
  MenuQuit = 1,
  MenuAbout = 3,
};

// The controls of the main window, by id. There is no control 3.
enum ControlId : std::int32_t {
  LoadButton = 0,
  ExportButton = 1,
  QuitButton = 2,
  DestinationPanel = 4,
  DestinationLabel = 5,
  ProjectFolderOption = 6,
  ApplicationFolderOption = 7,
  DataPanel = 8,
  DataLabel = 9,
  SelectedOption = 10,
  CommonDataCheck = 11,
  MasterCheck = 12,
  MasterVolumeCheck = 13,
  MasterPluginsCheck = 14,
  TrackCheck = 15,
  TrackVolumeCheck = 16,
  TrackPanCheck = 17,
  TrackMuteCheck = 18,
  TrackSoloCheck = 19,
  TrackPluginsCheck = 20,
  PluginsListOnlyOption = 21,
};

enum class ControlKind : std::uint8_t { PushButton, Panel, Label, Option, CheckBox };

// The parent of a control that stands directly in the window.
inline constexpr std::int32_t kWindowParent = -1;

struct ControlSpec {
  std::int32_t id;
  ControlKind kind;
  std::int32_t parent;  // a panel's id, or kWindowParent
  std::int32_t x;
  std::int32_t y;
  std::int32_t width;
  std::int32_t height;
  std::u16string_view label;  // empty for a panel
};

inline constexpr ControlSpec kMainControls[] = {
    {LoadButton, ControlKind::PushButton, kWindowParent, 20, 20, 200, 60, u"Load Reaper Project *.RPP"},
    {ExportButton, ControlKind::PushButton, kWindowParent, 20, 100, 200, 60, u"Export HTML file"},
    {QuitButton, ControlKind::PushButton, kWindowParent, 20, 180, 200, 60, u"Quit"},
    {DestinationPanel, ControlKind::Panel, kWindowParent, 240, 20, 200, 80, u""},
    {DestinationLabel, ControlKind::Label, DestinationPanel, 10, 10, 150, 20, u"Where to export HTML file ?"},
    {ApplicationFolderOption, ControlKind::Option, DestinationPanel, 10, 30, 150, 20, u"Application folder"},
    {ProjectFolderOption, ControlKind::Option, DestinationPanel, 10, 50, 150, 20, u"Reaper File Project folder"},
    {DataPanel, ControlKind::Panel, kWindowParent, 240, 120, 200, 280, u""},
    {DataLabel, ControlKind::Label, DataPanel, 10, 10, 150, 20, u"Data to export ?"},
    {PluginsListOnlyOption, ControlKind::Option, DataPanel, 10, 30, 150, 20, u"Plugins list only !"},
    {SelectedOption, ControlKind::Option, DataPanel, 10, 50, 150, 20, u"Selected"},
    {CommonDataCheck, ControlKind::CheckBox, DataPanel, 30, 70, 150, 20, u"Reaper common data"},
    {MasterCheck, ControlKind::CheckBox, DataPanel, 30, 90, 150, 20, u"Master"},
    {MasterVolumeCheck, ControlKind::CheckBox, DataPanel, 60, 110, 150, 20, u"Volume"},
    {MasterPluginsCheck, ControlKind::CheckBox, DataPanel, 60, 130, 150, 20, u"Plugins"},
    {TrackCheck, ControlKind::CheckBox, DataPanel, 30, 150, 150, 20, u"Track"},
    {TrackVolumeCheck, ControlKind::CheckBox, DataPanel, 60, 170, 150, 20, u"Volume"},
    {TrackPanCheck, ControlKind::CheckBox, DataPanel, 60, 190, 150, 20, u"Pan"},
    {TrackMuteCheck, ControlKind::CheckBox, DataPanel, 60, 210, 150, 20, u"Mute"},
    {TrackSoloCheck, ControlKind::CheckBox, DataPanel, 60, 230, 150, 20, u"Solo"},
    {TrackPluginsCheck, ControlKind::CheckBox, DataPanel, 60, 250, 150, 20, u"Plugins"},
};

// The states the window opens with: once `panel` is closed, `id` is checked
// or selected, in this order (selecting option 10 clears 21 again).
struct InitialState {
  std::int32_t panel;
  std::int32_t id;
};

inline constexpr InitialState kInitialStates[] = {
    {DestinationPanel, ApplicationFolderOption},
    {DataPanel, PluginsListOnlyOption},
    {DataPanel, SelectedOption},
    {DataPanel, CommonDataCheck},
    {DataPanel, MasterCheck},
    {DataPanel, MasterVolumeCheck},
    {DataPanel, MasterPluginsCheck},
    {DataPanel, TrackCheck},
    {DataPanel, TrackPanCheck},
    {DataPanel, TrackMuteCheck},
    {DataPanel, TrackSoloCheck},
    {DataPanel, TrackVolumeCheck},
    {DataPanel, TrackPluginsCheck},
};

// The sub-boxes under the two parent boxes of the "Data to export ?" panel:
// a parent is checked exactly when all of its sub-boxes are.
inline constexpr std::int32_t kMasterSubBoxes[] = {MasterVolumeCheck, MasterPluginsCheck};
inline constexpr std::int32_t kTrackSubBoxes[] = {TrackVolumeCheck, TrackPanCheck, TrackMuteCheck, TrackSoloCheck,
                                                  TrackPluginsCheck};

// How many of `ids` the window opens with checked.
template <std::size_t N>
constexpr std::int64_t countCheckedAtStart(const std::int32_t (&ids)[N]) {
  std::int64_t count = 0;
  for (std::int32_t id : ids)
    for (const InitialState& state : kInitialStates)
      if (state.id == id) ++count;
  return count;
}

// The names assistive technology gives the check boxes whose labels repeat
// under Master and Track; the labels stay as they are shown.
struct AccessibleName {
  std::int32_t id;
  std::u16string_view name;
};

inline constexpr AccessibleName kAccessibleNames[] = {
    {MasterVolumeCheck, u"Master volume"},
    {MasterPluginsCheck, u"Master plugins"},
    {TrackVolumeCheck, u"Track volume"},
    {TrackPluginsCheck, u"Track plugins"},
};

// The menu bar. "&" marks an entry's mnemonic letter; `controlKey` is the
// letter of its Ctrl shortcut (0 for none), which backends that show
// shortcuts the platform's way bind and show. A row with kMenuSeparator as
// its id is a separator.
inline constexpr std::int32_t kMenuSeparator = -1;

struct MenuSpec {
  std::u16string_view heading;
  std::int32_t id;
  std::u16string_view text;
  char16_t controlKey;
};

inline constexpr MenuSpec kMainMenu[] = {
    {u"File", MenuOpen, u"&Open...", u'O'},
    {u"File", kMenuSeparator, u"", 0},
    {u"File", MenuQuit, u"&Quit", u'Q'},
    {u"Help", MenuAbout, u"&About...", 0},
};

// The row of a control, or nullptr.
constexpr const ControlSpec* findControlSpec(std::int32_t id) {
  for (const ControlSpec& spec : kMainControls)
    if (spec.id == id) return &spec;
  return nullptr;
}

// A control's place from the top-left corner of the window's control area
// (below the menu bar), its panels' offsets added.
struct UnitRect {
  std::int32_t x;
  std::int32_t y;
  std::int32_t width;
  std::int32_t height;
};

constexpr UnitRect windowRectOf(const ControlSpec& spec) {
  UnitRect rect{spec.x, spec.y, spec.width, spec.height};
  for (const ControlSpec* parent = findControlSpec(spec.parent); parent != nullptr;
       parent = findControlSpec(parent->parent)) {
    rect.x += parent->x;
    rect.y += parent->y;
  }
  return rect;
}
