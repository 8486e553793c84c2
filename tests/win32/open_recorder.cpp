// Stands in for the program registered for .html files during the window
// test: appends the document it was asked to open, one line in UTF-8, to the
// file named by QUORVEL_OPEN_RECORD.
#include <windows.h>
#include <shellapi.h>

#include <string>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  wchar_t recordPath[MAX_PATH * 2];
  const DWORD length = GetEnvironmentVariableW(L"QUORVEL_OPEN_RECORD", recordPath, MAX_PATH * 2);
  if (length == 0 || length >= MAX_PATH * 2) return 2;
  int count = 0;
  wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
  if (!arguments) return 2;
  std::wstring line;
  for (int i = 1; i < count; ++i) line += (i > 1 ? L" " : L"") + std::wstring(arguments[i]);
  LocalFree(arguments);
  line += L"\n";

  std::string bytes(static_cast<std::size_t>(line.size()) * 4, '\0');
  const int used = WideCharToMultiByte(CP_UTF8, 0, line.data(), static_cast<int>(line.size()), bytes.data(),
                                       static_cast<int>(bytes.size()), nullptr, nullptr);
  HANDLE file = CreateFileW(recordPath, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 1;
  DWORD written = 0;
  const BOOL ok = WriteFile(file, bytes.data(), static_cast<DWORD>(used), &written, nullptr);
  CloseHandle(file);
  return ok && written == static_cast<DWORD>(used) ? 0 : 1;
}
