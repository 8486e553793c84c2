#include "app/command_line.h"
#include "runtime/utf8.h"

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

CliStreams standardStreams() {
  return {[](TextView line) { return writeText(STD_OUTPUT_HANDLE, Text(line) + u"\r\n"); },
          [](TextView line) { writeText(STD_ERROR_HANDLE, Text(line) + u"\r\n"); }};
}

bool writeStandardError(TextView text) { return writeText(STD_ERROR_HANDLE, text); }
