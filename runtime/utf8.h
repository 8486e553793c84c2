// UTF-8, the one place for it: conversions between bytes and Text with the
// rules of the Windows conversion (MultiByteToWideChar / WideCharToMultiByte
// with CP_UTF8), on every platform. Decoding turns each malformed sequence
// into one U+FFFD; encoding writes an unpaired surrogate as EF BF BD. None of
// them fails. The Append forms append to the caller's string; the others
// return a new one that the caller owns.
#pragma once

#include "runtime/text.h"

#include <string>
#include <string_view>

void AppendUtf8Decoded(std::string_view bytes, Text& out);
void AppendUtf8Encoded(TextView text, std::string& out);
Text TextFromUtf8(std::string_view bytes);
std::string TextToUtf8(TextView text);

// True when the bytes are well-formed UTF-8: no overlong forms, no encoded
// surrogates, nothing above U+10FFFF, no sequence cut short.
bool IsWellFormedUtf8(std::string_view bytes);

// POSIX file names, which are bytes, as Text and back without loss: each
// well-formed UTF-8 sequence becomes its character, and every byte that is not
// part of one becomes the unit U+DC00 + byte (U+DC80 to U+DCFF). On the way
// back such a unit, when it is not the second half of a surrogate pair,
// becomes its byte again; other unpaired surrogates become EF BF BD. Every
// POSIX call that takes or returns a path goes through these two.
Text TextFromNativePath(std::string_view bytes);
std::string NativePathFromText(TextView path);
