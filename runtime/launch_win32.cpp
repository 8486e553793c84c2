#include "runtime/launch.h"

#include <windows.h>
#include <shellapi.h>

bool LaunchDocument(TextView path) {
  std::wstring name(path.begin(), path.end());
  auto result = reinterpret_cast<INT_PTR>(ShellExecuteW(nullptr, L"open", name.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
  return result > 32;
}
