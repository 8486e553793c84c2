#include "app/export_cli.h"
#include "runtime/wide_win32.h"

int wmain(int argc, wchar_t** argv) {
  std::vector<Text> arguments;
  for (int i = 1; i < argc; ++i) arguments.push_back(TextFromWide(argv[i]));
  return runExportCli(arguments, standardStreams());
}
