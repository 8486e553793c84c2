#include "app/export_cli.h"
#include "runtime/utf8.h"
#include "runtime/wide_win32.h"

#include <windows.h>

namespace {

// Text to a console as UTF-16; to a file or pipe as UTF-8. False when the
// line could not be written whole.
bool writeLine(DWORD which, TextView line) {
  HANDLE handle = GetStdHandle(which);
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return false;
  Text text = Text(line) + u"\r\n";
  DWORD mode, done = 0;
  if (GetConsoleMode(handle, &mode))
    return WriteConsoleW(handle, text.data(), static_cast<DWORD>(text.size()), &done, nullptr) && done == text.size();
  std::string bytes = TextToUtf8(text);
  return WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &done, nullptr) && done == bytes.size();
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::vector<Text> arguments;
  for (int i = 1; i < argc; ++i) arguments.push_back(TextFromWide(argv[i]));
  return runExportCli(arguments, {[](TextView line) { return writeLine(STD_OUTPUT_HANDLE, line); },
                                  [](TextView line) { writeLine(STD_ERROR_HANDLE, line); }});
}
