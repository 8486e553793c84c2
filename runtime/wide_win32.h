// Text and the wide strings of the Win32 calls, for the Win32 files only: on
// Windows wchar_t is a UTF-16 unit, so the conversion copies unit by unit and
// cannot fail. TextToWide's result is NUL-terminated (c_str()) and owned by
// the caller. No windows.h here.
#pragma once

#include "runtime/text.h"

#include <string>
#include <string_view>

static_assert(sizeof(wchar_t) == sizeof(char16_t), "wide strings are UTF-16 only on Windows");

inline std::wstring TextToWide(TextView text) { return std::wstring(text.begin(), text.end()); }
inline Text TextFromWide(std::wstring_view wide) { return Text(wide.begin(), wide.end()); }
