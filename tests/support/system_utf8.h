// The system's own UTF-8 conversion, where it has one (Windows:
// MultiByteToWideChar / WideCharToMultiByte with CP_UTF8), to hold the
// program's codec against. Where there is none, SystemUtf8Available() is
// false and the other two return empty strings.
#pragma once

#include "runtime/text.h"

#include <string>
#include <string_view>

bool SystemUtf8Available();
Text SystemUtf8Decoded(std::string_view bytes);
std::string SystemUtf8Encoded(TextView text);
