// Portable UTF-8 codec with the Windows conversion's rules: each malformed
// sequence becomes one U+FFFD, an unpaired surrogate on output becomes
// EF BF BD. Appends to the caller's string; never fails.
#pragma once

#include <string>
#include <string_view>

void AppendUtf8Decoded(std::string_view bytes, std::u16string& out);
void AppendUtf8Encoded(std::u16string_view text, std::string& out);
// True when the bytes are well-formed UTF-8: no overlong forms, no encoded
// surrogates, nothing above U+10FFFF, no sequence cut short.
bool IsWellFormedUtf8(std::string_view bytes);
