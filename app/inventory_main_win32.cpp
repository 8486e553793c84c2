#include "app/inventory_cli.h"

#include "runtime/utf8.h"
#include "runtime/wide_win32.h"

#include <windows.h>

namespace {

// Text to a console as UTF-16; to a file or pipe as UTF-8. False when it
// could not be written whole.
bool writeText(DWORD which, TextView text) {
  HANDLE handle = GetStdHandle(which);
  if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return false;
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
  InventoryStreams streams{[](TextView line) { return writeText(STD_OUTPUT_HANDLE, Text(line) + u"\r\n"); },
                           [](TextView line) { writeText(STD_ERROR_HANDLE, Text(line) + u"\r\n"); },
                           {}};
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
      writeText(STD_ERROR_HANDLE, text);
    };
  }
  return runInventoryCli(arguments, streams);
}
