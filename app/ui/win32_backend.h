// Internals shared by the Win32 backend's source files (window and controls,
// dialogs). Private to app/ui: only the backend's .cpp files include it.
#pragma once

#include "runtime/text.h"

#include <windows.h>

#include <string>

namespace ui::win32 {

// A NUL-terminated wide copy of a text, for the Win32 calls.
inline std::wstring Wide(TextView text) { return std::wstring(text.begin(), text.end()); }

// The top-level window, or null before CreateTopWindow / after shut-down.
HWND MainWindowHandle();

}  // namespace ui::win32
