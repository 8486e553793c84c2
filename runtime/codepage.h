// Conversions between bytes and Text in UTF-8 and in the system's ANSI code
// page (Windows-1252 where the system has none). They append to `out`.
// Malformed UTF-8 becomes U+FFFD; characters the ANSI code page cannot hold
// are written as "?"; unpaired surrogates become EF BF BD in UTF-8.
#pragma once

#include <string>
#include <string_view>

void DecodeUtf8(std::string_view bytes, std::u16string& out);
void DecodeAnsi(std::string_view bytes, std::u16string& out);
void EncodeUtf8(std::u16string_view text, std::string& out);
void EncodeAnsi(std::u16string_view text, std::string& out);
