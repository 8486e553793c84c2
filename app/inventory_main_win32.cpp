#include "app/inventory_cli.h"

#include "runtime/wide_win32.h"

#include <windows.h>

int wmain(int argc, wchar_t** argv) {
  std::vector<Text> arguments;
  for (int i = 1; i < argc; ++i) arguments.push_back(TextFromWide(argv[i]));
  InventoryStreams streams{standardStreams(), {}};
  DWORD mode;
  if (GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode)) {
    streams.progress = [](std::string_view line) {
      // Back to the line's start, the text, then spaces over what was longer.
      static std::size_t shown = 0;
      Text text(1, u'\r');
      text.append(line.begin(), line.end());
      if (line.size() < shown) {
        text.append(shown - line.size(), u' ');
        text.push_back(u'\r');
        text.append(line.begin(), line.end());
      }
      shown = line.size();
      writeStandardError(text);
    };
  }
  return runInventoryCli(arguments, streams);
}
