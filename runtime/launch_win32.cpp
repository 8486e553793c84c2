// ShellExecuteW's "open" verb: a value above 32 means the program started;
// SE_ERR_NOASSOC and SE_ERR_ASSOCINCOMPLETE mean no program is registered
// for the file's type.
#include "runtime/launch.h"
#include "runtime/wide_win32.h"

#include <windows.h>
#include <shellapi.h>

LaunchResult LaunchDocument(TextView path) {
  if (path.empty()) return LaunchResult::Failed;
  const std::wstring name = TextToWide(path);
  const auto result =
      reinterpret_cast<INT_PTR>(ShellExecuteW(nullptr, L"open", name.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
  if (result > 32) return LaunchResult::Started;
  if (result == SE_ERR_NOASSOC || result == SE_ERR_ASSOCINCOMPLETE) return LaunchResult::NoProgram;
  return LaunchResult::Failed;
}
