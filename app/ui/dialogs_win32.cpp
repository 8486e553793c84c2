// The window toolkit on Win32: displays, message boxes and the open-file
// requester.
#include "app/ui/toolkit.h"
#include "app/ui/win32_backend.h"
#include "runtime/paths.h"
#include "runtime/wide_win32.h"

#include <commdlg.h>

#include <algorithm>
#include <vector>

namespace ui {
namespace {

struct Display {
  RECT area;
  bool primary;
};

std::vector<Display> displays;

BOOL CALLBACK CollectDisplay(HMONITOR monitor, HDC, LPRECT, LPARAM) {
  MONITORINFO info{};
  info.cbSize = sizeof info;
  if (GetMonitorInfoW(monitor, &info)) displays.push_back({info.rcMonitor, (info.dwFlags & MONITORINFOF_PRIMARY) != 0});
  return TRUE;
}

void ReadDisplays() {
  displays.clear();
  EnumDisplayMonitors(nullptr, nullptr, CollectDisplay, 0);
  // Display 0 is the primary one; the others keep the system's order.
  std::stable_partition(displays.begin(), displays.end(), [](const Display& d) { return d.primary; });
  if (displays.empty()) {
    const int width = GetSystemMetrics(SM_CXSCREEN);
    const int height = GetSystemMetrics(SM_CYSCREEN);
    if (width > 0 && height > 0) displays.push_back({RECT{0, 0, width, height}, true});
  }
}

const Display* DisplayAt(std::int32_t index) {
  if (displays.empty()) ReadDisplays();
  if (index < 0 || static_cast<std::size_t>(index) >= displays.size()) return nullptr;
  return &displays[static_cast<std::size_t>(index)];
}

HWND Owner() {
  HWND main = win32::MainWindowHandle();
  return main && IsWindow(main) ? main : nullptr;
}

bool IsValidFileName(TextView name) {
  for (char16_t c : name) {
    if (c < 0x20 || TextView(u"<>:\"/\\|?*").find(c) != TextView::npos) return false;
  }
  return true;
}

// "description|pattern|description|pattern" to the NUL-separated list the
// requester takes; an unpaired last description is left out.
std::wstring FilterList(TextView patterns) {
  std::vector<TextView> parts;
  std::size_t start = 0;
  while (!patterns.empty()) {
    const std::size_t bar = patterns.find(u'|', start);
    parts.push_back(patterns.substr(start, bar == TextView::npos ? TextView::npos : bar - start));
    if (bar == TextView::npos) break;
    start = bar + 1;
  }
  std::wstring list;
  for (std::size_t i = 0; i + 1 < parts.size(); i += 2) {
    list += TextToWide(parts[i]);
    list += L'\0';
    list += TextToWide(parts[i + 1]);
    list += L'\0';
  }
  if (!list.empty()) list += L'\0';
  return list;
}

std::wstring CurrentFolder() {
  const DWORD size = GetCurrentDirectoryW(0, nullptr);
  if (size == 0) return {};
  std::wstring folder(size, L'\0');
  folder.resize(GetCurrentDirectoryW(size, folder.data()));
  return folder;
}

}  // namespace

std::int32_t CountDisplays() {
  ReadDisplays();
  return static_cast<std::int32_t>(displays.size());
}

// The whole monitor, as Windows programs are centred (the primary one stands at (0, 0)).
DisplayRect DisplayArea(std::int32_t index) {
  const Display* display = DisplayAt(index);
  if (!display) return DisplayRect{};
  const RECT& area = display->area;
  return DisplayRect{area.left, area.top, area.right - area.left, area.bottom - area.top};
}

void ShowMessageBox(TextView caption, TextView text) {
  const std::wstring wideCaption = TextToWide(caption);
  const std::wstring wideText = TextToWide(text);
  MessageBoxW(Owner(), wideText.c_str(), wideCaption.c_str(), MB_OK);
}

Text ChooseFileToOpen(TextView title, TextView initialPath, TextView patterns, std::int32_t patternIndex) {
  // Room for any path the requester may give; the caller checks it against
  // the system's limit.
  constexpr std::size_t kPathUnits = 32768;
  std::size_t split = initialPath.size();
  while (split > 0 && !IsSeparator(initialPath[split - 1])) --split;
  const std::wstring folder = TextToWide(initialPath.substr(0, split));
  const TextView name = initialPath.substr(split);

  std::vector<wchar_t> chosen(kPathUnits, L'\0');
  if (IsValidFileName(name) && name.size() < kPathUnits) std::copy(name.begin(), name.end(), chosen.begin());

  const std::wstring filter = FilterList(patterns);
  const std::wstring wideTitle = TextToWide(title);
  OPENFILENAMEW request{};
  request.lStructSize = sizeof request;
  request.hwndOwner = Owner();
  request.lpstrFilter = filter.empty() ? nullptr : filter.c_str();
  request.nFilterIndex = patternIndex >= 0 ? static_cast<DWORD>(patternIndex) + 1 : 1;
  request.lpstrFile = chosen.data();
  request.nMaxFile = static_cast<DWORD>(chosen.size());
  request.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
  request.lpstrTitle = wideTitle.c_str();
  // The file need not exist (a typed name is accepted), its folder must.
  request.Flags = OFN_EXPLORER | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR | OFN_HIDEREADONLY | OFN_ENABLESIZING;

  // OFN_NOCHANGEDIR is not honoured by every version of the requester: put
  // the current directory back ourselves.
  const std::wstring current = CurrentFolder();
  const BOOL accepted = GetOpenFileNameW(&request);
  if (!current.empty()) SetCurrentDirectoryW(current.c_str());
  if (!accepted) return {};  // cancelled
  const auto end = std::find(chosen.begin(), chosen.end(), L'\0');
  return TextFromWide({chosen.data(), static_cast<std::size_t>(end - chosen.begin())});
}


}  // namespace ui
