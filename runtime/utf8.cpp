#include "runtime/utf8.h"

#include "runtime/text_bytes.h"

namespace {

constexpr char16_t kReplacement = 0xFFFD;

// What becomes of a surrogate that is not half of a pair: U+FFFD, its byte
// (U+DC80..U+DCFF, a POSIX name's byte that is not UTF-8), or its own three
// bytes (generalized UTF-8).
enum class LoneSurrogate { Replaced, AsByte, AsItself };

// Length of the well-formed sequence starting at `i`, or a negative number
// when it is malformed. `surrogates`: ED A0..BF xx (a lone surrogate written
// on its own) is well-formed too.
int SequenceAt(std::string_view s, std::size_t i, char32_t& cp, bool surrogates) {
  const auto b0 = static_cast<unsigned char>(s[i]);
  if (b0 < 0x80) { cp = b0; return 1; }
  int need;
  unsigned char lo = 0x80, hi = 0xBF;
  if (b0 >= 0xC2 && b0 <= 0xDF) { need = 1; cp = b0 & 0x1F; }
  else if (b0 >= 0xE0 && b0 <= 0xEF) {
    need = 2; cp = b0 & 0x0F;
    if (b0 == 0xE0) lo = 0xA0;
    if (b0 == 0xED && !surrogates) hi = 0x9F;
  } else if (b0 >= 0xF0 && b0 <= 0xF4) {
    need = 3; cp = b0 & 0x07;
    if (b0 == 0xF0) lo = 0x90;
    if (b0 == 0xF4) hi = 0x8F;
  } else {
    return -1;
  }
  for (int k = 1; k <= need; ++k) {
    if (i + k >= s.size()) return -k;
    const auto b = static_cast<unsigned char>(s[i + k]);
    if (b < lo || b > hi) return -k;
    lo = 0x80; hi = 0xBF;
    cp = (cp << 6) | (b & 0x3F);
  }
  return need + 1;
}

}  // namespace

// Decodes as the Windows conversion does: the lead byte fixes the length;
// a sequence cut by the end of the input takes the rest of the input with it;
// otherwise continuation bytes are taken one by one until one is missing or
// the value so far is overlong, a surrogate or beyond U+10FFFF, and what was
// taken becomes one U+FFFD.
void AppendUtf8Decoded(std::string_view bytes, Text& out) {
  out.reserve(out.size() + bytes.size());
  const auto* s = reinterpret_cast<const unsigned char*>(bytes.data());
  const auto* const limit = s + bytes.size();
  while (s < limit) {
    const unsigned char lead = *s++;
    if (lead < 0x80) { out.push_back(lead); continue; }
    const int length = lead < 0xC2 ? 0 : lead < 0xE0 ? 1 : lead < 0xF0 ? 2 : lead < 0xF5 ? 3 : 0;
    if (limit - s < length) {
      s = limit;
      out.push_back(kReplacement);
      continue;
    }
    char32_t value = lead & (length == 1 ? 0x1F : length == 2 ? 0x0F : 0x07);
    bool valid = false;
    unsigned char c;
    switch (length) {
      case 3:
        if ((c = *s ^ 0x80) >= 0x40) break;
        value = (value << 6) | c;
        ++s;
        if (value < 0x10) break;
        [[fallthrough]];
      case 2:
        if ((c = *s ^ 0x80) >= 0x40) break;
        value = (value << 6) | c;
        if (value >= (0x110000 >> 6)) break;
        ++s;
        if (value < 0x20) break;
        if (value >= (0xD800 >> 6) && value <= (0xDFFF >> 6)) break;
        [[fallthrough]];
      case 1:
        if ((c = *s ^ 0x80) >= 0x40) break;
        value = (value << 6) | c;
        ++s;
        if (value < 0x80) break;
        valid = true;
        break;
      default:
        break;
    }
    if (!valid) {
      out.push_back(kReplacement);
    } else if (value >= 0x10000) {
      value -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (value >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (value & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(value));
    }
  }
}

namespace {

void AppendEncoded(TextView text, std::string& out, LoneSurrogate lone) {
  out.reserve(out.size() + text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c < 0x80) { out.push_back(static_cast<char>(c)); continue; }
    if (c >= 0xD800 && c <= 0xDFFF) {
      if (c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
        c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
        ++i;
      } else if (lone == LoneSurrogate::AsByte && c >= 0xDC80 && c <= 0xDCFF) {
        out.push_back(static_cast<char>(c - 0xDC00));
        continue;
      } else if (lone != LoneSurrogate::AsItself) {
        c = kReplacement;
      }
    }
    if (c < 0x800) {
      out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    } else if (c < 0x10000) {
      out.push_back(static_cast<char>(0xE0 | (c >> 12)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xF0 | (c >> 18)));
      out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    }
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

// Each well-formed sequence as its character; a byte that is not part of one
// as the unit `strayBase` + byte.
Text Decoded(std::string_view bytes, bool surrogates, char16_t strayBase) {
  Text out;
  out.reserve(bytes.size());
  std::size_t i = 0;
  while (i < bytes.size()) {
    char32_t cp = 0;
    const int n = SequenceAt(bytes, i, cp, surrogates);
    if (n < 0) {  // not part of a well-formed sequence: the byte stands for itself
      out.push_back(static_cast<char16_t>(strayBase + static_cast<unsigned char>(bytes[i])));
      ++i;
      continue;
    }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
    i += static_cast<std::size_t>(n);
  }
  return out;
}

}  // namespace

void AppendUtf8Encoded(TextView text, std::string& out) { AppendEncoded(text, out, LoneSurrogate::Replaced); }

Text TextFromUtf8(std::string_view bytes) {
  Text out;
  AppendUtf8Decoded(bytes, out);
  return out;
}

std::string TextToUtf8(TextView text) {
  std::string out;
  AppendUtf8Encoded(text, out);
  return out;
}

std::string NativePathFromText(TextView path) {
  std::string out;
  AppendEncoded(path, out, LoneSurrogate::AsByte);
  return out;
}

std::string GeneralizedUtf8FromText(TextView text) {
  std::string out;
  AppendEncoded(text, out, LoneSurrogate::AsItself);
  return out;
}

Text TextFromGeneralizedUtf8(std::string_view bytes) { return Decoded(bytes, true, 0); }

Text TextFromNativePath(std::string_view bytes) { return Decoded(bytes, false, 0xDC00); }

bool IsWellFormedUtf8(std::string_view bytes) {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  Utf8Check check;
  check.feed(p, p + bytes.size());
  return check.complete();
}

bool Utf8Check::feed(const unsigned char* p, const unsigned char* end) {
  if (!wellFormed_) return false;
  while (p < end) {
    if (need_ == 0) {
      p = SkipAscii(p, end);
      if (p == end) break;
      const unsigned char b = *p++;
      low_ = 0x80;
      high_ = 0xBF;
      if (b >= 0xC2 && b <= 0xDF) need_ = 1;
      else if (b == 0xE0) { need_ = 2; low_ = 0xA0; }
      else if ((b >= 0xE1 && b <= 0xEC) || b == 0xEE || b == 0xEF) need_ = 2;
      else if (b == 0xED) { need_ = 2; high_ = 0x9F; }
      else if (b == 0xF0) { need_ = 3; low_ = 0x90; }
      else if (b >= 0xF1 && b <= 0xF3) need_ = 3;
      else if (b == 0xF4) { need_ = 3; high_ = 0x8F; }
      else return wellFormed_ = false;
    } else {
      const unsigned char b = *p++;
      if (b < low_ || b > high_) return wellFormed_ = false;
      --need_;
      low_ = 0x80;
      high_ = 0xBF;
    }
  }
  return true;
}
