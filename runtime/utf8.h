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

// The same check over bytes that stream by in pieces of any size (a
// sequence may be split between two pieces): the one check of UTF-8.
class Utf8Check {
 public:
  // Checks the next bytes. False from the first byte that shows the stream
  // is not UTF-8 on; the bytes after it are not looked at, nor any later piece.
  bool feed(const unsigned char* p, const unsigned char* end);
  bool wellFormed() const { return wellFormed_; }
  // Inside a sequence: the next piece must go on with it.
  bool inSequence() const { return need_ != 0; }
  // Well-formed and not cut short: true when the stream may end here.
  bool complete() const { return wellFormed_ && need_ == 0; }

 private:
  // Continuation bytes still expected, and the range the next one must lie in.
  int need_ = 0;
  unsigned char low_ = 0x80, high_ = 0xBF;
  bool wellFormed_ = true;
};

// POSIX file names, which are bytes, as Text and back without loss: each
// well-formed UTF-8 sequence becomes its character, and every byte that is not
// part of one becomes the unit U+DC00 + byte (U+DC80 to U+DCFF). On the way
// back such a unit, when it is not the second half of a surrogate pair,
// becomes its byte again; other unpaired surrogates become EF BF BD. Every
// POSIX call that takes or returns a path goes through these two.
Text TextFromNativePath(std::string_view bytes);
std::string NativePathFromText(TextView path);

// Generalized UTF-8: UTF-8 in which an unpaired surrogate is written as its
// own three bytes (ED A0..BF 80..BF) rather than EF BF BD, so that any Text,
// a POSIX name's stray bytes (U+DC80..U+DCFF) included, comes back whole. On
// the way back a byte that is not part of such a sequence is taken as
// Latin-1 (U+0000..U+00FF).
std::string GeneralizedUtf8FromText(TextView text);
Text TextFromGeneralizedUtf8(std::string_view bytes);
