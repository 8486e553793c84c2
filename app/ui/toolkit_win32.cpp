// The window toolkit on Win32: start-up and shut-down of the platform layer,
// the main window with its menu bar, the controls, the event pump, files
// dropped on the window and handing a document to its registered program.
//
// Sizes are given in 1/96 inch and scaled by ScaleX / ScaleY; every control is kept
// by its id in `controls` (the id is also its Win32 control id). The window
// procedures only dispatch; what happens lives in the handlers below them.
#include "app/ui/toolkit.h"
#include "app/ui/win32_backend.h"
#include "runtime/wide_win32.h"

#include <commctrl.h>
#include <ole2.h>
#include <shellapi.h>

#include <clocale>
#include <cwchar>
#include <deque>
#include <map>
#include <memory>
#include <utility>
#include <vector>

namespace ui {
namespace {

constexpr wchar_t kMainClass[] = L"QuorvelMainWindow";
constexpr wchar_t kPanelClass[] = L"QuorvelPanel";
constexpr DWORD kMainStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_CLIPCHILDREN;
constexpr DWORD kMainExStyle = WS_EX_ACCEPTFILES;  // files dropped from Explorer: WM_DROPFILES
// Posted to the main window by an opener's thread; lParam owns an OpenedDocument.
constexpr UINT kOpenerVerdictMessage = WM_APP + 1;

enum class Kind { PushButton, Label, Option, CheckBox, Panel };

struct Control {
  HWND hwnd = nullptr;
  Kind kind = Kind::Label;
  int group = -1;  // index into State::groups for options
  RECT units{};    // left, top, width, height in 1/96 inch, relative to the parent
};

struct State {
  HINSTANCE instance = nullptr;
  bool oleInitialized = false;
  bool classesRegistered = false;
  int dpiX = 96;
  int dpiY = 96;
  HFONT font = nullptr;
  bool fontOwned = false;

  HWND main = nullptr;
  std::int32_t mainNumber = 0;
  SIZE mainInner{};  // units
  HMENU menuBar = nullptr;
  HMENU lastHeading = nullptr;

  std::map<std::int32_t, Control> controls;
  std::vector<std::vector<std::int32_t>> groups;
  std::vector<HWND> panelStack;  // open panels; a null entry is a panel that failed
  HWND lastCreatedParent = nullptr;
  Kind lastCreatedKind = Kind::Label;
  bool anyCreated = false;

  struct Event {
    std::int32_t kind;
    std::int32_t origin;
    OpenedDocument document;  // DocumentOpenedEvent
    std::vector<Text> files;  // FilesDroppedEvent
  };
  std::deque<Event> events;
  std::int32_t origin = 0;
  OpenedDocument lastDocument;
  std::vector<Text> lastFiles;
  HWND focusWhenDeactivated = nullptr;
};

State g;
Text failureReason;  // why InitializeToolkit failed, kept across its reset of g

int ScaleX(int units) { return MulDiv(units, g.dpiX, 96); }
int ScaleY(int units) { return MulDiv(units, g.dpiY, 96); }

template <typename F>
F User32Function(const char* name) {
  HMODULE user32 = GetModuleHandleW(L"user32.dll");
  return user32 ? reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(user32, name))) : nullptr;
}

// --- platform set-up ---------------------------------------------------------

void BecomeDpiAware() {
  using SetContext = BOOL(WINAPI*)(HANDLE);
  const auto perMonitorV2 = reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-4));
  if (auto setContext = User32Function<SetContext>("SetProcessDpiAwarenessContext")) {
    if (setContext(perMonitorV2)) return;
    // Already set by the manifest, or refused: either way nothing more to do.
    if (GetLastError() == ERROR_ACCESS_DENIED) return;
  }
  using SetAware = BOOL(WINAPI*)();
  if (auto setAware = User32Function<SetAware>("SetProcessDPIAware")) setAware();
}

void ReadScreenDpi() {
  HDC screen = GetDC(nullptr);
  if (screen) {
    g.dpiX = GetDeviceCaps(screen, LOGPIXELSX);
    g.dpiY = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
  }
  if (g.dpiX <= 0) g.dpiX = 96;
  if (g.dpiY <= 0) g.dpiY = 96;
}

void ReleaseFont() {
  if (g.font && g.fontOwned) DeleteObject(g.font);
  g.font = nullptr;
  g.fontOwned = false;
}

// The system's message font at the current vertical DPI.
void MakeMessageFont() {
  ReleaseFont();
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  using ForDpi = BOOL(WINAPI*)(UINT, UINT, PVOID, UINT, UINT);
  BOOL ok = FALSE;
  if (auto forDpi = User32Function<ForDpi>("SystemParametersInfoForDpi")) {
    ok = forDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, static_cast<UINT>(g.dpiY));
  }
  if (!ok) {
    ok = SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
    if (ok) {
      // Those metrics are at the system DPI; bring them to ours.
      HDC screen = GetDC(nullptr);
      int systemDpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
      if (screen) ReleaseDC(nullptr, screen);
      if (systemDpi > 0 && systemDpi != g.dpiY) {
        metrics.lfMessageFont.lfHeight = MulDiv(metrics.lfMessageFont.lfHeight, g.dpiY, systemDpi);
      }
    }
  }
  if (ok) {
    g.font = CreateFontIndirectW(&metrics.lfMessageFont);
    g.fontOwned = g.font != nullptr;
  }
  if (!g.font) g.font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
}

LRESULT CALLBACK MainWindowProc(HWND, UINT, WPARAM, LPARAM);
LRESULT CALLBACK PanelProc(HWND, UINT, WPARAM, LPARAM);

bool RegisterClasses() {
  WNDCLASSEXW main{};
  main.cbSize = sizeof main;
  main.lpfnWndProc = MainWindowProc;
  main.hInstance = g.instance;
  main.hIcon = LoadIconW(g.instance, MAKEINTRESOURCEW(1));
  if (!main.hIcon) main.hIcon = LoadIconW(nullptr, MAKEINTRESOURCEW(32512));  // IDI_APPLICATION
  main.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));                 // IDC_ARROW
  main.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
  main.lpszClassName = kMainClass;

  WNDCLASSEXW panel = main;
  panel.lpfnWndProc = PanelProc;
  panel.hIcon = nullptr;
  panel.lpszClassName = kPanelClass;

  if (!RegisterClassExW(&main)) return false;
  if (!RegisterClassExW(&panel)) {
    UnregisterClassW(kMainClass, g.instance);
    return false;
  }
  g.classesRegistered = true;
  return true;
}

// --- events ------------------------------------------------------------------

// An event may come inside a sent message (another thread's WM_CLOSE, a
// BM_CLICK), which GetMessageW handles without returning: the posted WM_NULL
// makes it return so that NextEvent sees the event.
void Raise(State::Event event) {
  g.events.push_back(std::move(event));
  if (g.main) PostMessageW(g.main, WM_NULL, 0, 0);
}

void Raise(std::int32_t kind, std::int32_t origin) { Raise(State::Event{kind, origin, {}, {}}); }

// The files of a drop, in the order it gives them.
void OnDropFiles(WPARAM wParam) {
  auto drop = reinterpret_cast<HDROP>(wParam);
  std::vector<Text> files;
  const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
  for (UINT i = 0; i < count; ++i) {
    std::wstring name(DragQueryFileW(drop, i, nullptr, 0) + 1, L'\0');
    name.resize(DragQueryFileW(drop, i, name.data(), static_cast<UINT>(name.size())));
    if (!name.empty()) files.push_back(TextFromWide(name));
  }
  DragFinish(drop);
  if (!files.empty()) Raise(State::Event{FilesDroppedEvent, 0, {}, std::move(files)});
}

const Control* FindControl(std::int32_t id) {
  auto it = g.controls.find(id);
  return it == g.controls.end() || !it->second.hwnd ? nullptr : &it->second;
}

bool IsActivatable(Kind kind) { return kind == Kind::PushButton || kind == Kind::Option || kind == Kind::CheckBox; }

// WM_COMMAND of the main window, or passed up by a panel.
void OnCommand(WPARAM wParam, LPARAM lParam) {
  const int code = HIWORD(wParam);
  if (lParam == 0) {
    if (code == 0) Raise(MenuEvent, LOWORD(wParam));
    return;
  }
  if (code != BN_CLICKED) return;
  auto child = reinterpret_cast<HWND>(lParam);
  const std::int32_t id = GetDlgCtrlID(child);
  const Control* control = FindControl(id);
  if (!control || control->hwnd != child || !IsActivatable(control->kind)) return;
  // An activated option is always selected. Some versions of the button
  // control also report an unselected option that merely got the focus.
  if (control->kind == Kind::Option && SendMessageW(child, BM_GETCHECK, 0, 0) != BST_CHECKED) return;
  Raise(ControlEvent, id);
}

// Every option stays in the Tab order. The button control takes WS_TABSTOP
// from an option as it clears it (so that only the selected one of a group
// is reached with Tab); the toolkit's order visits each option in turn.
LRESULT CALLBACK OptionProc(HWND option, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR) {
  const LRESULT result = DefSubclassProc(option, message, wParam, lParam);
  if (message == BM_SETCHECK || message == BM_CLICK) {
    const LONG style = GetWindowLongW(option, GWL_STYLE);
    if (!(style & WS_TABSTOP)) SetWindowLongW(option, GWL_STYLE, style | WS_TABSTOP);
  }
  return result;
}

// Where a child at (0, 0) of `parent`'s client area lies from the parent's
// outer top-left corner: a panel's border, nothing for the main window, whose
// children are placed in its inner area.
POINT BorderOffset(HWND parent) {
  if (!parent || parent == g.main) return POINT{0, 0};
  RECT outer;
  POINT client{0, 0};
  if (!GetWindowRect(parent, &outer) || !ClientToScreen(parent, &client)) return POINT{0, 0};
  return POINT{client.x - outer.left, client.y - outer.top};
}

void PlaceChild(const Control& control) {
  const POINT border = BorderOffset(GetParent(control.hwnd));
  SetWindowPos(control.hwnd, nullptr, ScaleX(control.units.left) - border.x, ScaleY(control.units.top) - border.y,
               ScaleX(control.units.right), ScaleY(control.units.bottom), SWP_NOZORDER | SWP_NOACTIVATE);
  if (control.kind != Kind::Panel) SendMessageW(control.hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(g.font), TRUE);
}

RECT OuterRect(int innerWidthUnits, int innerHeightUnits) {
  RECT rect{0, 0, ScaleX(innerWidthUnits), ScaleY(innerHeightUnits)};
  using AdjustForDpi = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);
  auto adjustForDpi = User32Function<AdjustForDpi>("AdjustWindowRectExForDpi");
  // The menu bar, attached later, takes its height out of the inner area.
  if (!adjustForDpi || !adjustForDpi(&rect, kMainStyle, FALSE, kMainExStyle, static_cast<UINT>(g.dpiY))) {
    AdjustWindowRectEx(&rect, kMainStyle, FALSE, kMainExStyle);
  }
  return rect;
}

// The window moved to a screen of another resolution: scale everything anew.
void OnDpiChanged(HWND window, WPARAM wParam, LPARAM lParam) {
  g.dpiX = LOWORD(wParam);
  g.dpiY = HIWORD(wParam);
  // The controls keep the old font until they have the new one.
  const HFONT oldFont = g.font;
  const bool oldFontOwned = g.fontOwned;
  g.font = nullptr;
  g.fontOwned = false;
  MakeMessageFont();
  const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
  RECT outer = OuterRect(g.mainInner.cx, g.mainInner.cy);
  SetWindowPos(window, nullptr, suggested->left, suggested->top, outer.right - outer.left, outer.bottom - outer.top,
               SWP_NOZORDER | SWP_NOACTIVATE);
  for (const auto& [id, control] : g.controls) PlaceChild(control);
  if (oldFont && oldFontOwned) DeleteObject(oldFont);
}

// A key pressed with a menu open (or with Alt) that matches no "&" mnemonic:
// an entry without a marked letter answers to its first letter, so headings
// given without "&" are still reached from the keyboard.
LRESULT OnMenuChar(WPARAM wParam, LPARAM lParam) {
  auto menu = reinterpret_cast<HMENU>(lParam);
  const wchar_t key = static_cast<wchar_t>(LOWORD(wParam));
  const int count = menu ? GetMenuItemCount(menu) : 0;
  for (int i = 0; i < count; ++i) {
    wchar_t text[256] = {};
    if (GetMenuStringW(menu, static_cast<UINT>(i), text, 256, MF_BYPOSITION) <= 0) continue;
    if (std::wcschr(text, L'&')) continue;
    if (CharUpperW(reinterpret_cast<LPWSTR>(static_cast<ULONG_PTR>(text[0]))) ==
        CharUpperW(reinterpret_cast<LPWSTR>(static_cast<ULONG_PTR>(key))))
      return MAKELRESULT(i, MNC_EXECUTE);
  }
  return MAKELRESULT(0, MNC_IGNORE);
}

void RememberFocus(WPARAM wParam) {
  if (LOWORD(wParam) == WA_INACTIVE) {
    HWND focus = GetFocus();
    g.focusWhenDeactivated = focus && IsChild(g.main, focus) ? focus : nullptr;
  }
}

// Coming back to the window: the control that had the focus gets it again,
// or the first one in the Tab order. True when the focus was placed.
bool RestoreFocus(WPARAM wParam) {
  if (LOWORD(wParam) == WA_INACTIVE || !g.main) return false;
  HWND target = g.focusWhenDeactivated;
  if (!target || !IsWindow(target) || !IsChild(g.main, target)) target = GetNextDlgTabItem(g.main, nullptr, FALSE);
  if (!target) return false;
  SetFocus(target);
  return true;
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
      OnCommand(wParam, lParam);
      return 0;
    case WM_CLOSE:
      Raise(CloseWindowEvent, 0);  // the window stays open; the program decides
      return 0;
    case WM_ACTIVATE:
      RememberFocus(wParam);
      if (RestoreFocus(wParam)) return 0;
      break;
    case WM_DPICHANGED:
      OnDpiChanged(window, wParam, lParam);
      return 0;
    case WM_MENUCHAR:
      return OnMenuChar(wParam, lParam);
    case WM_DROPFILES:
      OnDropFiles(wParam);
      return 0;
    case kOpenerVerdictMessage: {
      std::unique_ptr<OpenedDocument> document(reinterpret_cast<OpenedDocument*>(lParam));
      Raise(State::Event{DocumentOpenedEvent, 0, std::move(*document), {}});
      return 0;
    }
    default:
      break;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

LRESULT CALLBACK PanelProc(HWND panel, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
      // Notifications of the panel's children go to the top-level window.
      return SendMessageW(GetAncestor(panel, GA_ROOT), WM_COMMAND, wParam, lParam);
    default:
      break;
  }
  return DefWindowProcW(panel, message, wParam, lParam);
}

// --- controls ----------------------------------------------------------------

HWND CurrentParent() { return g.panelStack.empty() ? g.main : g.panelStack.back(); }

// Creates a child of the main window or of the open panel. Consecutive option
// buttons of one parent form a group: its first button and the control after
// it start a new Win32 group (WS_GROUP), which also bounds the arrow keys.
void AddControl(Kind kind, std::int32_t id, int x, int y, int width, int height, const wchar_t* windowClass,
                DWORD style, DWORD exStyle, TextView text) {
  HWND parent = CurrentParent();
  if (!parent || g.controls.count(id)) return;
  const bool continuesGroup = kind == Kind::Option && g.anyCreated && g.lastCreatedKind == Kind::Option &&
                              g.lastCreatedParent == parent && !g.groups.empty();
  g.anyCreated = true;
  g.lastCreatedKind = kind;
  g.lastCreatedParent = parent;
  if (!continuesGroup) style |= WS_GROUP;

  Control control;
  control.kind = kind;
  control.units = RECT{x, y, width, height};
  // Panel children are placed from the panel's top-left corner, its border included.
  const POINT border = BorderOffset(parent);
  std::wstring caption = TextToWide(text);
  control.hwnd = CreateWindowExW(exStyle, windowClass, caption.c_str(), WS_CHILD | WS_VISIBLE | style,
                                 ScaleX(x) - border.x, ScaleY(y) - border.y, ScaleX(width), ScaleY(height), parent,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), g.instance, nullptr);
  if (kind == Kind::Option) {
    if (!continuesGroup) g.groups.emplace_back();
    g.groups.back().push_back(id);
    control.group = static_cast<int>(g.groups.size()) - 1;
  }
  if (!control.hwnd) {
    // Never appears, never raises events; the group keeps its place.
    if (kind == Kind::Panel) g.panelStack.push_back(nullptr);
    return;
  }
  if (kind != Kind::Panel) SendMessageW(control.hwnd, WM_SETFONT, reinterpret_cast<WPARAM>(g.font), FALSE);
  if (kind == Kind::Option) SetWindowSubclass(control.hwnd, OptionProc, 0, 0);
  g.controls.emplace(id, control);
  if (kind == Kind::Panel) g.panelStack.push_back(control.hwnd);
}

void SetCheck(HWND button, bool on) {
  // BM_SETCHECK changes the state only: no BN_CLICKED, so no event.
  SendMessageW(button, BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0);
}

// Enter and Escape in the main window are handled here, not by the dialog
// manager, which would turn them into clicks of whatever controls have the
// ids IDOK (1) and IDCANCEL (2). Enter presses a focused push button; Escape
// does nothing. True when the message was taken.
bool HandleDialogKeys(const MSG& message) {
  if (message.message != WM_KEYDOWN || (message.wParam != VK_RETURN && message.wParam != VK_ESCAPE)) return false;
  if (message.hwnd != g.main && !IsChild(g.main, message.hwnd)) return false;
  if (message.wParam == VK_RETURN) {
    HWND focus = GetFocus();
    const Control* control = focus ? FindControl(GetDlgCtrlID(focus)) : nullptr;
    if (control && control->hwnd == focus && control->kind == Kind::PushButton) SendMessageW(focus, BM_CLICK, 0, 0);
  }
  return true;
}

}  // namespace

HWND win32::MainWindowHandle() { return g.main; }

bool InitializeToolkit() {
  failureReason.clear();
  std::setlocale(LC_ALL, "");
  std::setlocale(LC_NUMERIC, "C");
  g = State{};
  g.instance = GetModuleHandleW(nullptr);
  BecomeDpiAware();
  ReadScreenDpi();
  g.oleInitialized = SUCCEEDED(OleInitialize(nullptr));
  INITCOMMONCONTROLSEX common{sizeof common, ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES};
  InitCommonControlsEx(&common);
  if (!RegisterClasses()) {
    failureReason = u"cannot register the window classes";
    return false;
  }
  MakeMessageFont();
  return true;
}

Text ToolkitFailureReason() { return failureReason; }

std::int32_t ScreenDotsPerInch() { return g.dpiX; }

void ShutdownToolkit() {
  if (g.main) DestroyWindow(g.main);  // its menu bar and controls go with it
  g.main = nullptr;
  g.controls.clear();
  ReleaseFont();
  if (g.classesRegistered) {
    UnregisterClassW(kPanelClass, g.instance);
    UnregisterClassW(kMainClass, g.instance);
  }
  if (g.oleInitialized) OleUninitialize();
  g = State{};
}

bool CreateTopWindow(std::int32_t number, std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height,
                     TextView title) {
  if (g.main || !g.classesRegistered) return false;
  g.mainNumber = number;
  g.mainInner = SIZE{width, height};
  const RECT outer = OuterRect(width, height);
  const std::wstring caption = TextToWide(title);
  g.main = CreateWindowExW(kMainExStyle, kMainClass, caption.c_str(), kMainStyle, ScaleX(x), ScaleY(y),
                           outer.right - outer.left, outer.bottom - outer.top, nullptr, nullptr, g.instance, nullptr);
  if (!g.main) return false;
  // Opened on a screen of another resolution than the primary one: the window
  // takes that screen's scale, and so do the controls created after it.
  using DpiForWindow = UINT(WINAPI*)(HWND);
  if (auto dpiForWindow = User32Function<DpiForWindow>("GetDpiForWindow")) {
    const int dpi = static_cast<int>(dpiForWindow(g.main));
    if (dpi > 0 && (dpi != g.dpiX || dpi != g.dpiY)) {
      g.dpiX = g.dpiY = dpi;
      MakeMessageFont();
      const RECT scaled = OuterRect(width, height);
      SetWindowPos(g.main, nullptr, 0, 0, scaled.right - scaled.left, scaled.bottom - scaled.top,
                   SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
  }
  ShowWindow(g.main, SW_SHOWNORMAL);
  UpdateWindow(g.main);
  SetForegroundWindow(g.main);
  return true;
}

bool AttachMenuBar(std::int32_t window) {
  if (!g.main || window != g.mainNumber || g.menuBar) return false;
  g.menuBar = CreateMenu();
  if (!g.menuBar) return false;
  if (!SetMenu(g.main, g.menuBar)) {
    DestroyMenu(g.menuBar);
    g.menuBar = nullptr;
    return false;
  }
  return true;
}

void AddMenuHeading(TextView text) {
  if (!g.menuBar) return;
  HMENU heading = CreatePopupMenu();
  if (!heading) return;
  const std::wstring caption = TextToWide(text);
  if (!AppendMenuW(g.menuBar, MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(heading), caption.c_str())) {
    DestroyMenu(heading);
    return;
  }
  g.lastHeading = heading;
  DrawMenuBar(g.main);
}

// The Ctrl shortcut is not bound here: the Windows menu keeps its texts and keys as they are.
void AddMenuEntry(std::int32_t id, TextView text, char16_t) {
  HMENU menu = g.lastHeading ? g.lastHeading : g.menuBar;
  if (!menu) return;
  const std::wstring caption = TextToWide(text);
  AppendMenuW(menu, MF_STRING, static_cast<UINT_PTR>(static_cast<std::uint16_t>(id)), caption.c_str());
  if (menu == g.menuBar) DrawMenuBar(g.main);
}

void AddMenuSeparator() {
  if (g.lastHeading) AppendMenuW(g.lastHeading, MF_SEPARATOR, 0, nullptr);
}

void AddPushButton(std::int32_t id, std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height,
                   TextView text) {
  AddControl(Kind::PushButton, id, x, y, width, height, L"BUTTON", WS_TABSTOP | BS_PUSHBUTTON, 0, text);
}

void AddLabel(std::int32_t id, std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height,
              TextView text) {
  AddControl(Kind::Label, id, x, y, width, height, L"STATIC", SS_LEFT, 0, text);
}

void AddOptionButton(std::int32_t id, std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height,
                     TextView text) {
  AddControl(Kind::Option, id, x, y, width, height, L"BUTTON", WS_TABSTOP | BS_AUTORADIOBUTTON, 0, text);
}

void AddCheckBox(std::int32_t id, std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height,
                 TextView text) {
  AddControl(Kind::CheckBox, id, x, y, width, height, L"BUTTON", WS_TABSTOP | BS_AUTOCHECKBOX, 0, text);
}

void BeginPanel(std::int32_t id, std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height) {
  HWND parent = CurrentParent();
  if (!parent) {
    g.panelStack.push_back(nullptr);  // inside a panel that failed: children fail too
    return;
  }
  if (g.controls.count(id)) {
    g.panelStack.push_back(nullptr);
    return;
  }
  // A single flat border (WS_BORDER), outside the children's reach.
  AddControl(Kind::Panel, id, x, y, width, height, kPanelClass, WS_BORDER | WS_CLIPSIBLINGS, WS_EX_CONTROLPARENT,
             u"");
}

void EndPanel() {
  if (!g.panelStack.empty()) g.panelStack.pop_back();
}

std::int32_t ReadControlState(std::int32_t id) {
  const Control* control = FindControl(id);
  if (!control || (control->kind != Kind::Option && control->kind != Kind::CheckBox)) return 0;
  return SendMessageW(control->hwnd, BM_GETCHECK, 0, 0) == BST_CHECKED ? 1 : 0;
}

void WriteControlState(std::int32_t id, std::int32_t state) {
  const Control* control = FindControl(id);
  if (!control) return;
  if (control->kind == Kind::CheckBox) {
    SetCheck(control->hwnd, state != 0);
  } else if (control->kind == Kind::Option) {
    if (state != 0 && control->group >= 0) {
      for (std::int32_t other : g.groups[control->group]) {
        const Control* member = FindControl(other);
        if (member && other != id) SetCheck(member->hwnd, false);
      }
    }
    SetCheck(control->hwnd, state != 0);
  }
}

std::int32_t NextEvent() {
  if (!g.main) return CloseWindowEvent;  // no window: nothing could ever come
  // The window has the focus itself (as after opening): give it to the first control.
  if (GetFocus() == g.main) {
    if (HWND first = GetNextDlgTabItem(g.main, nullptr, FALSE)) SetFocus(first);
  }
  while (g.events.empty()) {
    MSG message;
    const BOOL got = GetMessageW(&message, nullptr, 0, 0);
    if (got == 0 || got == -1) {
      if (got == 0) PostQuitMessage(static_cast<int>(message.wParam));  // leave it for whoever runs next
      Raise(CloseWindowEvent, 0);
      break;
    }
    if (HandleDialogKeys(message)) continue;
    if (!IsDialogMessageW(g.main, &message)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }
  State::Event event = std::move(g.events.front());
  g.events.pop_front();
  g.origin = event.origin;
  if (event.kind == DocumentOpenedEvent) g.lastDocument = std::move(event.document);
  if (event.kind == FilesDroppedEvent) g.lastFiles = std::move(event.files);
  return event.kind;
}

std::int32_t EventOrigin() { return g.origin; }

// The opener runs on a thread of its own; its verdict is posted to the main
// window, whose procedure raises the event on this thread. A window gone by
// then drops it.
void OpenWithDefaultProgram(TextView path) {
  HWND window = g.main;
  LaunchDocumentInBackground(path, [window, path = Text(path)](LaunchOutcome outcome) {
    auto document = std::make_unique<OpenedDocument>(OpenedDocument{path, std::move(outcome)});
    if (window && PostMessageW(window, kOpenerVerdictMessage, 0, reinterpret_cast<LPARAM>(document.get())))
      document.release();
  });
}

OpenedDocument LastOpenedDocument() { return g.lastDocument; }

std::vector<Text> DroppedFiles() { return g.lastFiles; }

// Screen readers take a check box's name from its text here.
void SetAccessibleName(std::int32_t, TextView) {}

}  // namespace ui
