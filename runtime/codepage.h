// Conversions between bytes and Text in the system's ANSI code page
// (Windows-1252 where the system has none). They append to `out` and never
// fail: characters the code page cannot hold are written as "?". UTF-8 is
// not a code page here: see runtime/utf8.h.
#pragma once

#include "runtime/text.h"

#include <string>
#include <string_view>

void DecodeAnsi(std::string_view bytes, Text& out);
void EncodeAnsi(TextView text, std::string& out);
