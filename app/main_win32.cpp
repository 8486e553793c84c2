// quorvel.exe: the window program on Windows: quorvel.exe [PROJECT.rpp]. A
// project named on the command line (as "Open with" passes it) is loaded at
// start-up. The exit code is always 0.
#include "app/shell.h"
#include "runtime/wide_win32.h"

#include <windows.h>
#include <shellapi.h>

namespace {

// The first argument after the program's own name, or empty text.
Text firstArgument() {
  int count = 0;
  LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
  if (arguments == nullptr) return Text();
  const Text text = count > 1 ? TextFromWide(arguments[1]) : Text();
  LocalFree(arguments);
  return text;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  runQuorvel(firstArgument());
  return 0;
}
