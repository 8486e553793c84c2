// ShellExecuteExW's "open" verb, on the caller's thread (a thread of its own
// for the window, which COM is set up on here): success means the program
// registered for the type was started. ERROR_NO_ASSOCIATION (and the
// SE_ERR_NOASSOC family) means no program is registered; any other error is a
// failure in the system's words. No error dialog of the shell's is shown: the
// caller says what happened.
#include "runtime/launch.h"

#include "runtime/os_file.h"
#include "runtime/wide_win32.h"

#include <windows.h>
#include <objbase.h>
#include <shellapi.h>

LaunchOutcome RunDocumentOpener(TextView path) {
  if (path.empty()) return LaunchOutcome{LaunchResult::Failed, u"no file was named"};
  const std::wstring name = TextToWide(path);
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  SHELLEXECUTEINFOW request{};
  request.cbSize = sizeof request;
  request.fMask = SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC;
  request.lpVerb = L"open";
  request.lpFile = name.c_str();
  request.nShow = SW_SHOWNORMAL;
  const BOOL started = ShellExecuteExW(&request);
  const DWORD error = started ? ERROR_SUCCESS : GetLastError();
  if (SUCCEEDED(com)) CoUninitialize();
  if (started) return LaunchOutcome{};
  const auto code = reinterpret_cast<INT_PTR>(request.hInstApp);
  if (error == ERROR_NO_ASSOCIATION || code == SE_ERR_NOASSOC || code == SE_ERR_ASSOCINCOMPLETE)
    return LaunchOutcome{LaunchResult::NoProgram, {}};
  return LaunchOutcome{LaunchResult::Failed, OsErrorText(error)};
}
