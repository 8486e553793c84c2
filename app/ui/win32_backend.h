// Internals shared by the Win32 backend's source files (window and controls,
// dialogs). Private to app/ui: only the backend's .cpp files include it.
#pragma once

#include <windows.h>

namespace ui::win32 {

// The top-level window, or null before CreateTopWindow / after shut-down.
HWND MainWindowHandle();

}  // namespace ui::win32
