#include "runtime/launch.h"
#include "runtime/wide_win32.h"

#include <windows.h>
#include <shellapi.h>

bool LaunchDocument(TextView path) {
  const std::wstring name = TextToWide(path);
  auto result = reinterpret_cast<INT_PTR>(ShellExecuteW(nullptr, L"open", name.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
  return result > 32;
}
