// End-to-end test of quorvel.exe: starts the real program, finds its window
// by title and its controls by id, and drives it as a user would: clicks,
// keys, the open-file requester and the message boxes. It checks the layout
// at 96 DPI, the states, the Tab order, the reports written (byte for byte
// against quorvel-export.exe) and that each report went to the program
// registered for .html files; a file that is not a project, projects dropped
// on the window (WM_DROPFILES) and a program for .html that cannot be
// started. Runs under Wine with an X display.
//
// Usage: quorvel_e2e_driver [--layout-only] [SCREENSHOT.bmp]
// With --layout-only it checks the window and its controls at the display's
// resolution (any DPI), then closes the window; the whole run expects 96 DPI.
// QUORVEL_E2E_PROGRAM in the environment names another quorvel.exe to test.
// Paths come from the build (QUORVEL_* definitions) as Unix paths and are
// reached through Wine's Z: drive.
#include "app/controls.h"

#include <windows.h>
#include <shlobj.h>

#include <cstdio>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

// --- reporting -----------------------------------------------------------------

int failures = 0;
int passes = 0;

std::string Utf8(const std::wstring& text) {
  if (text.empty()) return {};
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                       nullptr);
  std::string bytes(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), bytes.data(), size, nullptr, nullptr);
  return bytes;
}

void Check(bool ok, const std::wstring& what) {
  if (ok) {
    ++passes;
  } else {
    ++failures;
    std::printf("FAIL: %s\n", Utf8(what).c_str());
    std::fflush(stdout);
  }
}

void CheckEqual(const std::wstring& actual, const std::wstring& expected, const std::wstring& what) {
  Check(actual == expected, what + L": got \"" + actual + L"\", expected \"" + expected + L"\"");
}

void CheckEqual(long long actual, long long expected, const std::wstring& what) {
  Check(actual == expected,
        what + L": got " + std::to_wstring(actual) + L", expected " + std::to_wstring(expected));
}

void Step(const char* name) {
  std::printf("-- %s\n", name);
  std::fflush(stdout);
}

PROCESS_INFORMATION program{};

bool ProgramRunning() { return WaitForSingleObject(program.hProcess, 0) == WAIT_TIMEOUT; }

[[noreturn]] void Abort(const std::wstring& why) {
  std::printf("FAIL (fatal): %s\n", Utf8(why).c_str());
  std::printf("%d checks passed, %d failed before that\n", passes, failures);
  std::fflush(stdout);
  if (program.hProcess) TerminateProcess(program.hProcess, 1);
  std::exit(1);
}

// --- paths -----------------------------------------------------------------------

std::wstring Widen(const char* utf8) {
  const int size = MultiByteToWideChar(CP_UTF8, 0, utf8, -1, nullptr, 0);
  std::wstring text(static_cast<std::size_t>(size > 0 ? size - 1 : 0), L'\0');
  if (size > 1) MultiByteToWideChar(CP_UTF8, 0, utf8, -1, text.data(), size);
  return text;
}

// A Unix path to the same place seen through Wine's Z: drive.
std::wstring FromUnix(const char* unixPath) {
  std::wstring path = L"Z:" + Widen(unixPath);
  for (wchar_t& c : path)
    if (c == L'/') c = L'\\';
  return path;
}

// The program under test: the build's, or QUORVEL_E2E_PROGRAM (a Windows
// path), such as the copy unpacked from the zip.
std::wstring ProgramToTest() {
  const DWORD size = GetEnvironmentVariableW(L"QUORVEL_E2E_PROGRAM", nullptr, 0);
  if (size <= 1) return FromUnix(QUORVEL_EXE);
  std::wstring path(size, L'\0');
  path.resize(GetEnvironmentVariableW(L"QUORVEL_E2E_PROGRAM", path.data(), size));
  return path;
}

const std::wstring kProgram = ProgramToTest();
const std::wstring kExporter = FromUnix(QUORVEL_EXPORT_EXE);
const std::wstring kRecorder = FromUnix(QUORVEL_RECORDER_EXE);
const std::wstring kCorpus = FromUnix(QUORVEL_CORPUS);
const std::wstring kTestData = FromUnix(QUORVEL_TEST_DATA);
const std::wstring kWork = FromUnix(QUORVEL_WORK);

const std::wstring kAppFolder = kWork + L"\\app";
const std::wstring kProjectFolder = kWork + L"\\projects";
const std::wstring kExpectedFolder = kWork + L"\\expected";
const std::wstring kRecord = kWork + L"\\opened.txt";

const std::wstring kFirstProject = L"06-osx64-562-vocal-guitar-master-js";
const std::wstring kSecondProject = L"40-win64-778-master-vst-vst3-js-solo";

void RemoveTree(const std::wstring& folder) {
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = found.cFileName;
      if (name == L"." || name == L"..") continue;
      const std::wstring path = folder + L"\\" + name;
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(path);
      } else {
        DeleteFileW(path.c_str());
      }
    } while (FindNextFileW(search, &found));
    FindClose(search);
  }
  RemoveDirectoryW(folder.c_str());
}

std::string ReadBytes(const std::wstring& path, bool* ok = nullptr) {
  std::string bytes;
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (ok) *ok = file != INVALID_HANDLE_VALUE;
  if (file == INVALID_HANDLE_VALUE) return bytes;
  char buffer[65536];
  DWORD got = 0;
  while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.append(buffer, got);
  CloseHandle(file);
  return bytes;
}

// --- waiting -----------------------------------------------------------------------

constexpr DWORD kTimeoutMs = 20000;

bool WaitFor(const std::function<bool()>& condition, DWORD timeoutMs = kTimeoutMs) {
  const ULONGLONG end = GetTickCount64() + timeoutMs;
  while (!condition()) {
    if (GetTickCount64() > end) return false;
    Sleep(50);
  }
  return true;
}

// --- the program under test ---------------------------------------------------------

HWND mainWindow = nullptr;
int dpiX = 96;
int dpiY = 96;

// Units of 1/96 inch to pixels, as the program scales them.
int ScaleX(int units) { return MulDiv(units, dpiX, 96); }
int ScaleY(int units) { return MulDiv(units, dpiY, 96); }

std::wstring ClassOf(HWND window) {
  wchar_t name[256] = {};
  GetClassNameW(window, name, 256);
  return name;
}

std::wstring TextOf(HWND window) {
  wchar_t text[1024] = {};
  DWORD_PTR copied = 0;
  // WM_GETTEXT, with a time limit so a hung program cannot hang the test.
  if (!SendMessageTimeoutW(window, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 5000,
                           &copied))
    return L"<no answer>";
  return text;
}

// A program that stops answering ends the test: nothing after would mean anything.
LRESULT Send(HWND window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0) {
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG, 5000, &result)) {
    if (!IsWindow(window) && window != mainWindow) return 0;  // a box that just closed
    Abort(L"the program did not answer message " + std::to_wstring(message) +
          (ProgramRunning() ? L"" : L": it has ended"));
  }
  return static_cast<LRESULT>(result);
}

// Gives the program time to take the events already queued: two round trips
// through its message loop and a short pause.
void Settle() {
  Send(mainWindow, WM_NULL);
  Sleep(100);
  Send(mainWindow, WM_NULL);
  Sleep(100);
}

struct WindowSearch {
  DWORD process;
  std::wstring className;  // empty: any
  std::wstring title;
  HWND found;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM data) {
  auto* search = reinterpret_cast<WindowSearch*>(data);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner != search->process || !IsWindowVisible(window)) return TRUE;
  if (!search->className.empty() && ClassOf(window) != search->className) return TRUE;
  wchar_t title[256] = {};
  GetWindowTextW(window, title, 256);
  if (search->title != title) return TRUE;
  search->found = window;
  return FALSE;
}

HWND FindProgramWindow(const std::wstring& className, const std::wstring& title) {
  WindowSearch search{program.dwProcessId, className, title, nullptr};
  EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND WaitForProgramWindow(const std::wstring& className, const std::wstring& title) {
  HWND found = nullptr;
  WaitFor([&] { return (found = FindProgramWindow(className, title)) != nullptr; });
  return found;
}


// --- the controls -----------------------------------------------------------------------

// The expected layout is the program's own control table (app/controls.h).
using Kind = ControlKind;
using ControlRow = ControlSpec;
const auto& kControls = kMainControls;

std::wstring Wide(std::u16string_view text) { return std::wstring(text.begin(), text.end()); }

const ControlRow* RowOf(int id) {
  for (const ControlRow& row : kControls)
    if (row.id == id) return &row;
  return nullptr;
}

HWND Control(int id) {
  const ControlRow* row = RowOf(id);
  if (!row) return nullptr;
  HWND parent = row->parent < 0 ? mainWindow : GetDlgItem(mainWindow, row->parent);
  return parent ? GetDlgItem(parent, id) : nullptr;
}

int IdOf(HWND control) {
  for (const ControlRow& row : kControls)
    if (Control(row.id) == control && control) return row.id;
  return -1;
}

bool Checked(int id) { return Send(Control(id), BM_GETCHECK) == BST_CHECKED; }

// The checked controls among 6, 7, 10 to 21, as text: "7 10 11 12 ...".
std::wstring CheckedList() {
  std::wstring list;
  for (const ControlRow& row : kControls) {
    if (row.kind != Kind::Option && row.kind != Kind::CheckBox) continue;
    if (Checked(row.id)) list += (list.empty() ? L"" : L" ") + std::to_wstring(row.id);
  }
  return list;
}

void Click(int id) {
  HWND control = Control(id);
  Check(control != nullptr, L"control " + std::to_wstring(id) + L" exists to be clicked");
  if (control) Send(control, BM_CLICK);
}

void ChooseMenu(int entry) { PostMessageW(mainWindow, WM_COMMAND, MAKEWPARAM(entry, 0), 0); }

std::wstring Name(int id) { return L"control " + std::to_wstring(id); }

// --- message boxes and the requester ---------------------------------------------------

// Reads the message box of that caption, checks it has one OK button and no
// icon, closes it and returns its text.
std::wstring AnswerMessageBox(const std::wstring& caption) {
  HWND box = WaitForProgramWindow(L"#32770", caption);
  Check(box != nullptr, L"a message box \"" + caption + L"\" appears");
  if (!box) return L"<none>";
  HWND text = GetDlgItem(box, 0xFFFF);
  if (!text) text = GetDlgItem(box, 100);
  const std::wstring message = text ? TextOf(text) : L"<no text>";
  HWND ok = GetDlgItem(box, IDOK);
  Check(ok && IsWindowVisible(ok), L"message box \"" + caption + L"\" has an OK button");
  for (int other : {IDCANCEL, IDABORT, IDRETRY, IDIGNORE, IDYES, IDNO}) {
    HWND button = GetDlgItem(box, other);
    Check(!button || !IsWindowVisible(button),
          L"message box \"" + caption + L"\" has no button " + std::to_wstring(other));
  }
  HWND icon = GetDlgItem(box, 0x440);
  Check(!icon || !IsWindowVisible(icon) || Send(icon, STM_GETICON) == 0,
        L"message box \"" + caption + L"\" has no icon");
  PostMessageW(box, WM_COMMAND, IDOK, 0);
  Check(WaitFor([&] { return !IsWindow(box); }), L"message box \"" + caption + L"\" closes");
  Settle();
  return message;
}

// No message box of that caption shows up within a short while.
void ExpectNoMessageBox(const std::wstring& caption, const std::wstring& why) {
  Settle();
  const bool appeared = WaitFor([&] { return FindProgramWindow(L"#32770", caption) != nullptr; }, 700);
  Check(!appeared, why);
  if (appeared) PostMessageW(FindProgramWindow(L"#32770", caption), WM_COMMAND, IDOK, 0);
}

HWND WaitForRequester() {
  HWND requester = WaitForProgramWindow(L"#32770", L"Load Reaper project...");
  Check(requester != nullptr, L"the open-file requester \"Load Reaper project...\" appears");
  return requester;
}

HWND FileNameBox(HWND requester) {
  HWND box = GetDlgItem(requester, 0x47C);  // cmb13: the file name combo
  if (box && ClassOf(box) != L"Edit") {
    HWND edit = FindWindowExW(box, nullptr, L"Edit", nullptr);
    if (edit) box = edit;
  }
  if (!box) box = GetDlgItem(requester, 0x480);  // edt1, the older layout
  return box;
}

void CheckRequesterFilter(HWND requester) {
  HWND types = GetDlgItem(requester, 0x470);  // cmb1: the file types
  Check(types != nullptr, L"the requester has a file type list");
  if (types) CheckEqual(TextOf(types), L"Reaper project (*.rpp)", L"the requester's file type");
}

void AnswerRequester(const std::wstring& path) {
  HWND requester = WaitForRequester();
  if (!requester) return;
  CheckRequesterFilter(requester);
  HWND name = FileNameBox(requester);
  Check(name != nullptr, L"the requester has a file name box");
  if (name) Send(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
  PostMessageW(requester, WM_COMMAND, IDOK, 0);
  Check(WaitFor([&] { return !IsWindow(requester); }), L"the requester closes on OK with " + path);
  Settle();
}

void CancelRequester() {
  HWND requester = WaitForRequester();
  if (!requester) return;
  PostMessageW(requester, WM_COMMAND, IDCANCEL, 0);
  Check(WaitFor([&] { return !IsWindow(requester); }), L"the requester closes on Cancel");
  Settle();
}

// --- helpers outside the program -----------------------------------------------------------

DWORD RunAndWait(const std::wstring& commandLine, const std::wstring& folder) {
  std::wstring line = commandLine;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &startup, &info))
    return 9999;
  DWORD code = 9998;
  if (WaitForSingleObject(info.hProcess, 60000) == WAIT_OBJECT_0) GetExitCodeProcess(info.hProcess, &code);
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);
  return code;
}

// The report quorvel-export.exe writes for the same project file.
std::string ExpectedReport(const std::wstring& project, const std::wstring& name) {
  const DWORD code =
      RunAndWait(L"\"" + kExporter + L"\" --output-dir \"" + kExpectedFolder + L"\" \"" + project + L"\"", kWork);
  CheckEqual(code, 0, L"quorvel-export.exe on " + project);
  bool ok = false;
  std::string bytes = ReadBytes(kExpectedFolder + L"\\" + name + L".html", &ok);
  Check(ok && !bytes.empty(), L"quorvel-export.exe wrote " + name + L".html");
  return bytes;
}

void CheckReport(const std::wstring& written, const std::wstring& project, const std::wstring& name) {
  bool ok = false;
  const std::string actual = ReadBytes(written, &ok);
  Check(ok, L"the report " + written + L" was written");
  const std::string expected = ExpectedReport(project, name);
  Check(ok && actual == expected, L"the report " + written + L" equals quorvel-export's byte for byte (" +
                                      std::to_wstring(actual.size()) + L" against " +
                                      std::to_wstring(expected.size()) + L" bytes)");
}

std::vector<std::wstring> RecordedOpens() {
  std::vector<std::wstring> lines;
  const std::string bytes = ReadBytes(kRecord);
  std::size_t start = 0;
  while (start < bytes.size()) {
    std::size_t end = bytes.find('\n', start);
    if (end == std::string::npos) end = bytes.size();
    lines.push_back(Widen(bytes.substr(start, end - start).c_str()));
    start = end + 1;
  }
  return lines;
}

void CheckOpened(const std::wstring& path, std::size_t expectedCount) {
  const bool arrived = WaitFor([&] { return RecordedOpens().size() >= expectedCount; });
  Check(arrived, L"the report was handed to the program registered for .html (" + path + L")");
  const std::vector<std::wstring> opened = RecordedOpens();
  if (arrived && opened.size() >= expectedCount) {
    Check(CompareStringOrdinal(opened[expectedCount - 1].c_str(), -1, path.c_str(), -1, TRUE) == CSTR_EQUAL,
          L"the registered program got \"" + opened[expectedCount - 1] + L"\", expected \"" + path + L"\"");
  }
}

bool SetDefault(HKEY root, const std::wstring& key, const std::wstring& value) {
  HKEY handle;
  if (RegCreateKeyExW(root, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &handle, nullptr) != ERROR_SUCCESS)
    return false;
  const LONG result = RegSetValueExW(handle, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                     static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(handle);
  return result == ERROR_SUCCESS;
}

std::wstring ReadDefault(HKEY root, const std::wstring& key) {
  wchar_t value[512] = {};
  DWORD size = sizeof value;
  if (RegGetValueW(root, key.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, value, &size) != ERROR_SUCCESS) return {};
  return value;
}

// Registers the recorder as the program for .html files of this user (and,
// where the registry does not merge the user's classes into HKCR, of the
// machine: the test runs in a throw-away prefix).
void RegisterRecorder() {
  const std::wstring progId = L"QuorvelTest.OpenRecorder";
  const std::wstring command = L"\"" + kRecorder + L"\" \"%1\"";
  for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
    SetDefault(root, L"Software\\Classes\\.html", progId);
    SetDefault(root, L"Software\\Classes\\" + progId + L"\\shell\\open\\command", command);
    if (ReadDefault(HKEY_CLASSES_ROOT, L".html") == progId &&
        ReadDefault(HKEY_CLASSES_ROOT, progId + L"\\shell\\open\\command") == command)
      return;
  }
  Abort(L"could not register the recording program for .html");
}

// .html files lead to a type with no program to open it, as on a Windows
// where nothing is set for them.
void UnregisterRecorder() {
  for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) SetDefault(root, L"Software\\Classes\\.html", L"QuorvelTest.Nothing");
  SetDefault(HKEY_CURRENT_USER, L"Software\\Classes\\QuorvelTest.Nothing", L"A type no program opens");
}

// The window as the screen shows it, as a 24-bit BMP file.
void SaveScreenshot(const std::wstring& path) {
  RECT area;
  GetWindowRect(mainWindow, &area);
  const int width = area.right - area.left;
  const int height = area.bottom - area.top;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  void* pixels = nullptr;
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &pixels, nullptr, 0);
  if (bitmap && pixels) {
    HGDIOBJ previous = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, area.left, area.top, SRCCOPY);
    SelectObject(memory, previous);
    const DWORD rowBytes = ((static_cast<DWORD>(width) * 3 + 3) / 4) * 4;
    const DWORD imageBytes = rowBytes * static_cast<DWORD>(height);
    BITMAPFILEHEADER header{};
    header.bfType = 0x4D42;
    header.bfOffBits = sizeof header + sizeof info.bmiHeader;
    header.bfSize = header.bfOffBits + imageBytes;
    info.bmiHeader.biSizeImage = imageBytes;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      DWORD done;
      WriteFile(file, &header, sizeof header, &done, nullptr);
      WriteFile(file, &info.bmiHeader, sizeof info.bmiHeader, &done, nullptr);
      WriteFile(file, pixels, imageBytes, &done, nullptr);
      CloseHandle(file);
    }
  }
  if (bitmap) DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
}

// --- keyboard -----------------------------------------------------------------------------

// A key, with a modifier held down when `shift` is set.
void SendKey(WORD key, bool shift = false, WORD modifier = VK_SHIFT) {
  std::vector<INPUT> inputs;
  auto add = [&](WORD k, bool up) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = k;
    input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    inputs.push_back(input);
  };
  if (shift) add(modifier, false);
  add(key, false);
  add(key, true);
  if (shift) add(modifier, true);
  SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

// A key, then time for the program to act on it.
void PressKey(WORD key, bool shift = false, WORD modifier = VK_SHIFT) {
  SendKey(key, shift, modifier);
  Settle();
}

HWND FocusedControl() {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  if (!GetGUIThreadInfo(program.dwThreadId, &info)) return nullptr;
  return info.hwndFocus;
}

std::wstring FocusName() {
  HWND focus = FocusedControl();
  const int id = IdOf(focus);
  return id >= 0 ? std::to_wstring(id) : (focus == mainWindow ? L"window" : L"other");
}

// --- the test steps --------------------------------------------------------------------------

void CheckWindow() {
  Step("window");
  std::printf("   display resolution %d x %d DPI\n", dpiX, dpiY);

  const LONG style = GetWindowLongW(mainWindow, GWL_STYLE);
  Check((style & WS_CAPTION) == WS_CAPTION, L"the window has a title bar");
  Check((style & WS_SYSMENU) != 0, L"the window has a system menu and close box");
  Check((style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX)) == 0, L"the window has no minimise or maximise box");
  Check((style & WS_THICKFRAME) == 0, L"the window has no sizing border");
  Check(IsWindowVisible(mainWindow) && !IsIconic(mainWindow) && !IsZoomed(mainWindow), L"the window is shown normal");
  CheckEqual(ClassOf(mainWindow) == L"#32770" ? 1 : 0, 0, L"the window is not a dialog box");

  // Outer top-left corner: the window centred on display 0 at its size in units.
  const int displayWidth = GetSystemMetrics(SM_CXSCREEN);
  const int displayHeight = GetSystemMetrics(SM_CYSCREEN);
  RECT outer;
  GetWindowRect(mainWindow, &outer);
  // The display is measured in units first, so the window is centred at any scale.
  CheckEqual(outer.left, ScaleX((displayWidth * 96 / dpiX - kMainWindowWidth) / 2),
             L"window x on a " + std::to_wstring(displayWidth) + L" wide display");
  CheckEqual(outer.top, ScaleY((displayHeight * 96 / dpiX - kMainWindowHeight) / 2),
             L"window y on a " + std::to_wstring(displayHeight) + L" high display");
  // The inner size before the menu bar took its height.
  RECT expected{0, 0, ScaleX(kMainWindowWidth), ScaleY(kMainWindowHeight)};
  AdjustWindowRectEx(&expected, static_cast<DWORD>(style), FALSE, static_cast<DWORD>(GetWindowLongW(mainWindow, GWL_EXSTYLE)));
  CheckEqual(outer.right - outer.left, expected.right - expected.left, L"outer width");
  CheckEqual(outer.bottom - outer.top, expected.bottom - expected.top, L"outer height");
  RECT inner;
  GetClientRect(mainWindow, &inner);
  CheckEqual(inner.right, ScaleX(kMainWindowWidth), L"inner width");
  Check(inner.bottom < ScaleY(kMainWindowHeight) && inner.bottom >= ScaleY(kMainWindowHeight - 40),
        L"the menu bar takes its height from the " + std::to_wstring(kMainWindowHeight) + L" inner units (inner height " +
            std::to_wstring(inner.bottom) + L")");
  // The menu's entries live in the program's own memory under Wine; they
  // are reached through their keys in CheckMenuKeys.
  Check(GetMenu(mainWindow) != nullptr, L"the window has a menu bar");
}

void CheckControls() {
  Step("controls");
  const int order[] = {0, 1, 2, 4, 5, 7, 6, 8, 9, 21, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20};
  Check(GetDlgItem(mainWindow, 3) == nullptr, L"there is no control 3");
  for (const ControlRow& row : kControls) {
    HWND control = Control(row.id);
    Check(control != nullptr, Name(row.id) + L" exists under its parent");
    if (!control) continue;
    CheckEqual(GetDlgCtrlID(control), row.id, Name(row.id) + L" id");
    const LONG style = GetWindowLongW(control, GWL_STYLE);
    const LONG exStyle = GetWindowLongW(control, GWL_EXSTYLE);
    Check(IsWindowVisible(control) && IsWindowEnabled(control), Name(row.id) + L" is visible and enabled");
    switch (row.kind) {
      case Kind::PushButton:
        CheckEqual(ClassOf(control), L"Button", Name(row.id) + L" class");
        CheckEqual(style & BS_TYPEMASK, BS_PUSHBUTTON, Name(row.id) + L" is a push button");
        break;
      case Kind::Option:
        CheckEqual(ClassOf(control), L"Button", Name(row.id) + L" class");
        CheckEqual(style & BS_TYPEMASK, BS_AUTORADIOBUTTON, Name(row.id) + L" is an option button");
        break;
      case Kind::CheckBox:
        CheckEqual(ClassOf(control), L"Button", Name(row.id) + L" class");
        CheckEqual(style & BS_TYPEMASK, BS_AUTOCHECKBOX, Name(row.id) + L" is a check box");
        break;
      case Kind::Label:
        CheckEqual(ClassOf(control), L"Static", Name(row.id) + L" class");
        CheckEqual(style & SS_TYPEMASK, SS_LEFT, Name(row.id) + L" is a left-aligned label");
        break;
      case Kind::Panel:
        Check((style & WS_BORDER) != 0 && (style & WS_DLGFRAME) == 0, Name(row.id) + L" has a single flat border");
        Check((exStyle & WS_EX_CONTROLPARENT) != 0, Name(row.id) + L" lets the keyboard into its children");
        Check((exStyle & (WS_EX_CLIENTEDGE | WS_EX_STATICEDGE | WS_EX_WINDOWEDGE)) == 0,
              Name(row.id) + L" has no 3-D edge");
        break;
    }
    const bool focusable = row.kind != Kind::Label && row.kind != Kind::Panel;
    CheckEqual((style & WS_TABSTOP) != 0 ? 1 : 0, focusable ? 1 : 0, Name(row.id) + L" tab stop");
    if (row.kind != Kind::Panel) {
      CheckEqual(TextOf(control), Wide(row.label), Name(row.id) + L" text");
    }
    // Position from the parent's top-left corner: the window's inner area,
    // or a panel's outer corner.
    RECT rect;
    GetWindowRect(control, &rect);
    POINT origin{0, 0};
    if (row.parent < 0) {
      ClientToScreen(mainWindow, &origin);
    } else {
      RECT panel;
      GetWindowRect(GetDlgItem(mainWindow, row.parent), &panel);
      origin = POINT{panel.left, panel.top};
    }
    const std::wstring where = Name(row.id) + L" ";
    CheckEqual(rect.left - origin.x, ScaleX(row.x), where + L"x");
    CheckEqual(rect.top - origin.y, ScaleY(row.y), where + L"y");
    CheckEqual(rect.right - rect.left, ScaleX(row.width), where + L"width");
    CheckEqual(rect.bottom - rect.top, ScaleY(row.height), where + L"height");
  }
  // Creation order is the order of the children (z-order) in each parent.
  std::vector<int> seen;
  for (HWND child = GetWindow(mainWindow, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    seen.push_back(GetDlgCtrlID(child));
    if (GetDlgCtrlID(child) == 4 || GetDlgCtrlID(child) == 8) {
      for (HWND inner = GetWindow(child, GW_CHILD); inner; inner = GetWindow(inner, GW_HWNDNEXT))
        seen.push_back(GetDlgCtrlID(inner));
    }
  }
  Check(seen == std::vector<int>(std::begin(order), std::end(order)), L"the controls stand in creation order");

  // Option groups: WS_GROUP on the first option of a group and on the control after it.
  auto group = [](int id) { return (GetWindowLongW(Control(id), GWL_STYLE) & WS_GROUP) != 0 ? 1 : 0; };
  CheckEqual(group(7), 1, L"option 7 starts a group");
  CheckEqual(group(6), 0, L"option 6 continues 7's group");
  CheckEqual(group(21), 1, L"option 21 starts a group");
  CheckEqual(group(10), 0, L"option 10 continues 21's group");
  CheckEqual(group(11), 1, L"check box 11 ends the options' group");
}

void CheckInitialStates() {
  Step("initial states");
  CheckEqual(CheckedList(), L"7 10 11 12 13 14 15 16 17 18 19 20", L"checked at start");
}

void CheckTabOrder() {
  Step("tab order");
  const std::vector<int> forward = {0, 1, 2, 7, 6, 21, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20};
  // What the dialog manager will do with Tab and Shift+Tab.
  for (std::size_t i = 0; i < forward.size(); ++i) {
    const int from = forward[i];
    const int next = forward[(i + 1) % forward.size()];
    const int previous = forward[(i + forward.size() - 1) % forward.size()];
    CheckEqual(IdOf(GetNextDlgTabItem(mainWindow, Control(from), FALSE)), next, L"Tab from " + Name(from));
    CheckEqual(IdOf(GetNextDlgTabItem(mainWindow, Control(from), TRUE)), previous, L"Shift+Tab from " + Name(from));
  }
  // And the real keys.
  SetForegroundWindow(mainWindow);
  Settle();
  CheckEqual(FocusName(), L"0", L"the focus at start");
  std::wstring walked = FocusName();
  for (std::size_t i = 0; i < forward.size(); ++i) {
    PressKey(VK_TAB);
    walked += L" " + FocusName();
  }
  CheckEqual(walked, L"0 1 2 7 6 21 10 11 12 13 14 15 16 17 18 19 20 0", L"focus walked by Tab");
  std::wstring back = FocusName();
  for (int i = 0; i < 3; ++i) {
    PressKey(VK_TAB, true);
    back += L" " + FocusName();
  }
  CheckEqual(back, L"0 20 19 18", L"focus walked by Shift+Tab");
  CheckEqual(CheckedList(), L"7 10 11 12 13 14 15 16 17 18 19 20", L"moving the focus changes no state");

  // Enter and Escape on a check box neither export nor quit.
  // (The dialog manager would send them as clicks of the controls with ids
  // 1 and 2: Export and Quit.) One at a time, so that Escape cannot close a
  // box that Enter opened.
  PressKey(VK_RETURN);
  ExpectNoMessageBox(L"Information", L"Enter on a check box does not run Export");
  PressKey(VK_ESCAPE);
  Sleep(300);
  Check(ProgramRunning(), L"Escape does not end the program");
  if (!ProgramRunning()) Abort(L"the program ended on Escape");

  // Arrow keys move the selection inside an option group. Both options of
  // the destination group lead to folders; the last key returns to 7.
  for (int i = 0; i < 11; ++i) PressKey(VK_TAB, true);  // 18 -> 17 16 15 14 13 12 11 10 21 6 7
  CheckEqual(FocusName(), L"7", L"Shift+Tab reaches option 7");
  PressKey(VK_DOWN);
  CheckEqual(FocusName(), L"6", L"Down arrow moves to option 6");
  CheckEqual(CheckedList(), L"6 10 11 12 13 14 15 16 17 18 19 20", L"Down arrow selects option 6");
  PressKey(VK_UP);
  CheckEqual(FocusName(), L"7", L"Up arrow moves back to option 7");
  CheckEqual(CheckedList(), L"7 10 11 12 13 14 15 16 17 18 19 20", L"Up arrow selects option 7");
  // Enter on a focused push button presses it.
  for (int i = 0; i < 3; ++i) PressKey(VK_TAB, true);  // 7 -> 2 1 0
  CheckEqual(FocusName(), L"0", L"Shift+Tab from 7 reaches the Load button");
  PressKey(VK_TAB);  // Export
  PressKey(VK_RETURN);
  CheckEqual(AnswerMessageBox(L"Information"), L"No data to export !", L"Enter on the Export button runs Export");
}

void CheckBoxRules() {
  Step("check boxes");
  Click(12);
  Settle();
  CheckEqual(CheckedList(), L"7 10 11 15 16 17 18 19 20", L"unchecking Master unchecks its sub-boxes");
  Click(13);
  Settle();
  CheckEqual(CheckedList(), L"7 10 11 13 15 16 17 18 19 20", L"one Master sub-box leaves Master unchecked");
  Click(14);
  Settle();
  CheckEqual(CheckedList(), L"7 10 11 12 13 14 15 16 17 18 19 20", L"both Master sub-boxes check Master");
  Click(17);
  Settle();
  CheckEqual(CheckedList(), L"7 10 11 12 13 14 16 18 19 20", L"unchecking Pan unchecks Track");
  Click(15);
  Settle();
  CheckEqual(CheckedList(), L"7 10 11 12 13 14 15 16 17 18 19 20", L"checking Track checks all five");
  Click(15);
  Settle();
  CheckEqual(CheckedList(), L"7 10 11 12 13 14", L"unchecking Track unchecks all five");
  for (int id : {16, 17, 18, 19}) Click(id);
  Settle();
  CheckEqual(CheckedList(), L"7 10 11 12 13 14 16 17 18 19", L"four Track sub-boxes leave Track unchecked");
  Click(20);
  Settle();
  CheckEqual(CheckedList(), L"7 10 11 12 13 14 15 16 17 18 19 20", L"the fifth Track sub-box checks Track");
  Click(21);
  Settle();
  CheckEqual(CheckedList(), L"7 21 11 12 13 14 15 16 17 18 19 20", L"option 21 clears option 10 only");
  Click(11);
  Settle();
  CheckEqual(CheckedList(), L"7 21 12 13 14 15 16 17 18 19 20", L"Reaper common data changes itself only");
  Click(11);
  Click(10);
  Settle();
  CheckEqual(CheckedList(), L"7 10 11 12 13 14 15 16 17 18 19 20", L"back to the start states");
}

// The menu bar from the keyboard: Alt with the heading's letter, then the
// entry's mnemonic.
void CheckMenuKeys() {
  Step("menu keys");
  SetForegroundWindow(mainWindow);
  PressKey('F', true, VK_MENU);
  PressKey('O');
  CancelRequester();
  Check(ProgramRunning(), L"the program runs on after a cancelled requester");
  PressKey('H', true, VK_MENU);
  PressKey('A');
  const std::wstring about = AnswerMessageBox(L"About...");
  Check(about.rfind(L"Quorvel (17/07/2025)\n", 0) == 0, L"Alt+H, A shows the About box: \"" + about + L"\"");
}

void LoadAndExport() {
  Step("export before any load, and a cancelled load");
  Click(1);
  CheckEqual(AnswerMessageBox(L"Information"), L"No data to export !", L"Export before any load");
  Click(0);
  CancelRequester();
  Click(1);
  CheckEqual(AnswerMessageBox(L"Information"), L"No data to export !", L"Export after a cancelled load");

  Step("a file that does not exist");
  ChooseMenu(0);
  AnswerRequester(kAppFolder + L"\\missing.rpp");
  CheckEqual(AnswerMessageBox(L"Information"), L"Couldn't open the file!", L"Load of a missing file");

  Step("load a project by its bare name: the requester starts in the working directory");
  Click(0);
  AnswerRequester(kFirstProject + L".rpp");
  ExpectNoMessageBox(L"Information", L"loading a project shows no message");
  Click(1);
  ExpectNoMessageBox(L"Information", L"a successful export shows no message");
  const std::wstring firstReport = kAppFolder + L"\\" + kFirstProject + L".html";
  CheckOpened(firstReport, 1);
  CheckReport(firstReport, kAppFolder + L"\\" + kFirstProject + L".rpp", kFirstProject);

  Step("a second project through the menu, exported into its own folder");
  ChooseMenu(0);
  const std::wstring second = kProjectFolder + L"\\" + kSecondProject + L".rpp";
  AnswerRequester(second);
  Click(6);
  Settle();
  CheckEqual(CheckedList(), L"6 10 11 12 13 14 15 16 17 18 19 20", L"Reaper File Project folder selected");
  Click(1);
  ExpectNoMessageBox(L"Information", L"the export into the project's folder shows no message");
  const std::wstring secondBeside = kProjectFolder + L"\\" + kSecondProject + L".html";
  CheckOpened(secondBeside, 2);
  CheckReport(secondBeside, second, kSecondProject);

  Step("back to the application folder");
  Click(7);
  Click(1);
  ExpectNoMessageBox(L"Information", L"the export into the application folder shows no message");
  const std::wstring secondInApp = kAppFolder + L"\\" + kSecondProject + L".html";
  CheckOpened(secondInApp, 3);
  CheckReport(secondInApp, second, kSecondProject);
}

void CheckAbout() {
  Step("about box");
  ChooseMenu(3);
  const std::wstring about = AnswerMessageBox(L"About...");
  std::vector<std::wstring> lines(1);
  for (wchar_t c : about) {
    if (c == L'\n') {
      lines.emplace_back();
    } else {
      lines.back() += c;
    }
  }
  CheckEqual(static_cast<long long>(lines.size()), 5, L"About text lines");
  if (lines.size() == 5) {
    CheckEqual(lines[0], L"Quorvel (17/07/2025)", L"About line 1");
    CheckEqual(lines[1], L"", L"About line 2");
    Check(!lines[2].empty(), L"About line 3 describes the tool");
    CheckEqual(lines[3], L"", L"About line 4");
    Check(lines[4].rfind(L"Velmorn : ", 0) == 0 && lines[4].size() > 10, L"About line 5: \"" + lines[4] + L"\"");
  }
  Check(ProgramRunning(), L"the program runs on after the About box");
}

// The close box (the system menu's Close), or the close shortcut Alt+F4.
void CloseWindow(bool withShortcut) {
  Step(withShortcut ? "close shortcut" : "close box");
  if (withShortcut) {
    SetForegroundWindow(mainWindow);
    SendKey(VK_F4, true, VK_MENU);
  } else {
    PostMessageW(mainWindow, WM_SYSCOMMAND, SC_CLOSE, 0);
  }
  const bool ended = WaitForSingleObject(program.hProcess, kTimeoutMs) == WAIT_OBJECT_0;
  Check(ended, withShortcut ? L"Alt+F4 ends the program" : L"the close box ends the program");
  DWORD code = 12345;
  if (ended) GetExitCodeProcess(program.hProcess, &code);
  CheckEqual(code, 0, L"exit code");
}

void PrepareFolders() {
  RemoveTree(kWork);
  for (const std::wstring& folder : {kWork, kAppFolder, kProjectFolder, kExpectedFolder}) {
    if (!CreateDirectoryW(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
      Abort(L"cannot create " + folder);
  }
  // Two projects of the real corpus; where it is missing, the two projects of
  // tests/data under the same names, so that every window check still runs.
  const DWORD corpus = GetFileAttributesW(kCorpus.c_str());
  const bool haveCorpus = corpus != INVALID_FILE_ATTRIBUTES && (corpus & FILE_ATTRIBUTE_DIRECTORY);
  if (!haveCorpus)
    std::printf("   no corpus of real projects at %s: the window loads the projects of tests/data instead\n",
                Utf8(kCorpus).c_str());
  const std::pair<std::wstring, std::wstring> copies[] = {
      {haveCorpus ? kCorpus + L"\\" + kFirstProject + L".rpp" : kTestData + L"\\basic.rpp",
       kAppFolder + L"\\" + kFirstProject + L".rpp"},
      {haveCorpus ? kCorpus + L"\\" + kSecondProject + L".rpp" : kTestData + L"\\empty-master.rpp",
       kProjectFolder + L"\\" + kSecondProject + L".rpp"},
  };
  for (const auto& [from, to] : copies) {
    if (!CopyFileW(from.c_str(), to.c_str(), FALSE)) Abort(L"cannot copy " + from);
  }
}

// Starts quorvel.exe in the application folder, with `arguments` after its name.
void StartProgram(const std::wstring& arguments = L"") {
  SetEnvironmentVariableW(L"QUORVEL_OPEN_RECORD", kRecord.c_str());
  std::wstring line = L"\"" + kProgram + L"\"" + (arguments.empty() ? L"" : L" " + arguments);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  if (!CreateProcessW(kProgram.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, kAppFolder.c_str(), &startup,
                      &program))
    Abort(L"cannot start " + kProgram);
  mainWindow = WaitForProgramWindow(L"", L"Quorvel");
  if (!mainWindow) {
    TerminateProcess(program.hProcess, 1);
    Abort(L"no window titled \"Quorvel\" appeared");
  }
  Settle();
}

// The program file: a GUI program (no console window) whose manifest asks
// for per-monitor DPI awareness and the version-6 common controls.
void CheckProgramFile() {
  Step("program file");
  HMODULE image = LoadLibraryExW(kProgram.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  Check(image != nullptr, L"quorvel.exe loads as a resource file");
  if (!image) return;
  HRSRC found = FindResourceW(image, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));  // RT_MANIFEST
  Check(found != nullptr, L"quorvel.exe holds an application manifest");
  if (found) {
    const char* text = static_cast<const char*>(LockResource(LoadResource(image, found)));
    const std::string manifest(text ? text : "", text ? SizeofResource(image, found) : 0);
    for (const char* wanted : {"PerMonitorV2", "<dpiAware", "Microsoft.Windows.Common-Controls", "6.0.0.0"}) {
      Check(manifest.find(wanted) != std::string::npos, L"the manifest names " + Widen(wanted));
    }
  }
  FreeLibrary(image);

  const std::string bytes = ReadBytes(kProgram);
  const bool headed = bytes.size() > 0x40 && bytes[0] == 'M' && bytes[1] == 'Z';
  Check(headed, L"quorvel.exe is a PE file");
  if (!headed) return;
  LONG peOffset = 0;
  std::memcpy(&peOffset, bytes.data() + 0x3C, sizeof peOffset);
  const std::size_t subsystemAt = static_cast<std::size_t>(peOffset) + 4 + sizeof(IMAGE_FILE_HEADER) +
                                  offsetof(IMAGE_OPTIONAL_HEADER64, Subsystem);
  WORD subsystem = 0;
  if (subsystemAt + sizeof subsystem <= bytes.size()) std::memcpy(&subsystem, bytes.data() + subsystemAt, sizeof subsystem);
  CheckEqual(subsystem, IMAGE_SUBSYSTEM_WINDOWS_GUI, L"quorvel.exe subsystem (2: GUI, no console)");
}

// Sees the screen in pixels, as the DPI-aware program does.
void ReadDisplayResolution() {
  using SetContext = BOOL(WINAPI*)(HANDLE);
  HMODULE user32 = GetModuleHandleW(L"user32.dll");
  auto setContext = reinterpret_cast<SetContext>(
      reinterpret_cast<void*>(GetProcAddress(user32, "SetProcessDpiAwarenessContext")));
  if (!setContext || !setContext(reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-4)))) SetProcessDPIAware();
  HDC screen = GetDC(nullptr);
  dpiX = GetDeviceCaps(screen, LOGPIXELSX);
  dpiY = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
}

// A project named on the command line, as "Open with" passes it, loads at
// start-up as if chosen in the requester; one that cannot be opened shows
// the Load's message. `opened` counts the reports handed on so far.
void CommandLine(std::size_t& opened) {
  Step("a project named on the command line");
  const std::wstring project = kProjectFolder + L"\\" + kSecondProject + L".rpp";
  StartProgram(L"\"" + project + L"\"");
  ExpectNoMessageBox(L"Information", L"loading the command line's project shows no message");
  Click(1);
  ExpectNoMessageBox(L"Information", L"exporting the command line's project shows no message");
  const std::wstring report = kAppFolder + L"\\" + kSecondProject + L".html";
  CheckOpened(report, ++opened);
  CheckReport(report, project, kSecondProject);
  CloseWindow(false);

  Step("a missing project on the command line");
  StartProgram(L"\"" + kAppFolder + L"\\absent.rpp\"");
  CheckEqual(AnswerMessageBox(L"Information"), L"Couldn't open the file!", L"a missing project on the command line");
  Click(1);
  CheckEqual(AnswerMessageBox(L"Information"), L"No data to export !", L"Export after the missing project");
  CloseWindow(false);
}

// When ShellExecute finds no program for .html, the report is written all the
// same and the user is told where it is.
void NoProgramForReports(std::size_t opened) {
  Step("no program for .html files");
  UnregisterRecorder();
  const std::wstring project = kProjectFolder + L"\\" + kSecondProject + L".rpp";
  const std::wstring report = kAppFolder + L"\\" + kSecondProject + L".html";
  DeleteFileW(report.c_str());
  StartProgram(L"\"" + project + L"\"");
  Click(1);
  CheckEqual(AnswerMessageBox(L"Information"),
             L"The report was written to " + report + L", but no program is set to open HTML files.",
             L"Export with nothing to open the report");
  CheckReport(report, project, kSecondProject);
  CheckEqual(static_cast<long long>(RecordedOpens().size()), static_cast<long long>(opened),
             L"nothing was opened");
  CloseWindow(false);
}

// Writes `bytes` to `path`, replacing it.
void WriteBytes(const std::wstring& path, const std::string& bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  DWORD written = 0;
  const bool ok = file != INVALID_HANDLE_VALUE &&
                  WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                  written == bytes.size();
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  if (!ok) Abort(L"cannot write " + path);
}

// A file that is not a REAPER project (an image, notes) is refused as one
// that cannot be opened, and leaves nothing to export.
void NotAProject() {
  Step("a file that is not a project");
  const std::wstring notes = kAppFolder + L"\\notes.rpp";
  WriteBytes(notes, "These are notes, not a project.\r\n<REAPER_PROJECT 0.1 \"7.0/x64\"\r\n");
  Click(0);
  AnswerRequester(notes);
  CheckEqual(AnswerMessageBox(L"Information"), L"Couldn't open the file!", L"Load of a file that is not a project");
  Click(1);
  CheckEqual(AnswerMessageBox(L"Information"), L"No data to export !", L"Export after a file that is not a project");
}

// Files dropped on the window as Explorer drops them: a WM_DROPFILES whose
// HDROP (a DROPFILES block and the wide names, each ended by a NUL, the list
// by one more) is built in the program's own memory, where DragQueryFileW
// reads it.
void DropFiles(const std::vector<std::wstring>& files) {
  std::vector<wchar_t> names;
  for (const std::wstring& file : files) {
    names.insert(names.end(), file.begin(), file.end());
    names.push_back(L'\0');
  }
  names.push_back(L'\0');
  DROPFILES header{};
  header.pFiles = sizeof header;
  header.fWide = TRUE;
  std::string block(reinterpret_cast<const char*>(&header), sizeof header);
  block.append(reinterpret_cast<const char*>(names.data()), names.size() * sizeof(wchar_t));
  void* remote = VirtualAllocEx(program.hProcess, nullptr, block.size(), MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  Check(remote != nullptr, L"room for the dropped names in the program");
  if (!remote) return;
  SIZE_T written = 0;
  Check(WriteProcessMemory(program.hProcess, remote, block.data(), block.size(), &written) && written == block.size(),
        L"the dropped names are written into the program");
  PostMessageW(mainWindow, WM_DROPFILES, reinterpret_cast<WPARAM>(remote), 0);
  Settle();
}

// A project dropped from Explorer loads as Load does: of several files the
// first whose name ends in .rpp (any case); a drop of none changes nothing.
void DropAProject(std::size_t& opened) {
  Step("a project dropped on the window");
  StartProgram();
  const std::wstring notes = kAppFolder + L"\\readme.txt";
  WriteBytes(notes, "<REAPER_PROJECT\r\n");
  DropFiles({notes});
  ExpectNoMessageBox(L"Information", L"a drop without a project shows no message");
  Click(1);
  CheckEqual(AnswerMessageBox(L"Information"), L"No data to export !", L"a drop without a project loads nothing");

  const std::wstring project = kProjectFolder + L"\\" + kSecondProject + L".rpp";
  const std::wstring upper = kProjectFolder + L"\\DROPPED.RPP";
  if (!CopyFileW(project.c_str(), upper.c_str(), FALSE)) Abort(L"cannot copy " + project);
  DropFiles({notes, upper, kAppFolder + L"\\" + kFirstProject + L".rpp"});
  ExpectNoMessageBox(L"Information", L"loading a dropped project shows no message");
  Click(1);
  ExpectNoMessageBox(L"Information", L"exporting the dropped project shows no message");
  const std::wstring report = kAppFolder + L"\\DROPPED.html";
  CheckOpened(report, ++opened);
  CheckReport(report, upper, L"DROPPED");
  CloseWindow(false);
}

// A program registered for .html that cannot be started: the report is
// written, and the message says it could not be opened and why (not that no
// program is set).
void OpenerFails(std::size_t opened) {
  Step("the program for .html files cannot be started");
  const std::wstring progId = L"QuorvelTest.Broken";
  for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
    SetDefault(root, L"Software\\Classes\\.html", progId);
    SetDefault(root, L"Software\\Classes\\" + progId + L"\\shell\\open\\command",
               L"\"" + kWork + L"\\no-such-browser.exe\" \"%1\"");
  }
  const std::wstring project = kProjectFolder + L"\\" + kSecondProject + L".rpp";
  const std::wstring report = kAppFolder + L"\\" + kSecondProject + L".html";
  DeleteFileW(report.c_str());
  StartProgram(L"\"" + project + L"\"");
  Click(1);
  const std::wstring message = AnswerMessageBox(L"Information");
  const std::wstring start = L"The report was written to " + report + L", but it could not be opened: ";
  Check(message.rfind(start, 0) == 0 && message.size() > start.size() + 1 && message.back() == L'.',
        L"the message names the report and the reason: \"" + message + L"\"");
  CheckReport(report, project, kSecondProject);
  CheckEqual(static_cast<long long>(RecordedOpens().size()), static_cast<long long>(opened), L"nothing was opened");
  CloseWindow(false);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  bool layoutOnly = false;
  const wchar_t* screenshot = nullptr;
  for (int i = 1; i < argc; ++i) {
    if (std::wstring(argv[i]) == L"--layout-only") {
      layoutOnly = true;
    } else {
      screenshot = argv[i];
    }
  }
  ReadDisplayResolution();
  if (!layoutOnly && (dpiX != 96 || dpiY != 96))
    Abort(L"the whole run needs a display at 96 DPI, not " + std::to_wstring(dpiX));
  PrepareFolders();
  RegisterRecorder();
  CheckProgramFile();
  StartProgram();

  CheckWindow();
  CheckControls();
  CheckInitialStates();
  if (screenshot) SaveScreenshot(screenshot);
  if (layoutOnly) {
    CloseWindow(true);
    std::printf("%d checks passed, %d failed\n", passes, failures);
    return failures == 0 ? 0 : 1;
  }
  CheckTabOrder();
  CheckBoxRules();
  CheckMenuKeys();
  LoadAndExport();
  NotAProject();
  CheckAbout();
  CloseWindow(false);
  std::size_t opened = 3;  // by LoadAndExport
  CommandLine(opened);
  DropAProject(opened);
  NoProgramForReports(opened);
  OpenerFails(opened);

  if (ProgramRunning()) TerminateProcess(program.hProcess, 1);
  std::printf("%d checks passed, %d failed\n", passes, failures);
  return failures == 0 ? 0 : 1;
}
