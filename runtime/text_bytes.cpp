#include "runtime/text_bytes.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

constexpr std::uint64_t kHighBits = 0x8080808080808080ULL;

}  // namespace

ByteOrderMark DetectByteOrderMark(const unsigned char* b, std::size_t k) {
  if (k >= 4 && b[0] == 0xFF && b[1] == 0xFE && b[2] == 0 && b[3] == 0) return {TextFormat::Utf32Le, 4};
  if (k >= 2 && b[0] == 0xFF && b[1] == 0xFE) return {TextFormat::Utf16Le, 2};
  if (k >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) return {TextFormat::Utf8, 3};
  if (k >= 2 && b[0] == 0xFE && b[1] == 0xFF) return {TextFormat::Utf16Be, 2};
  if (k >= 4 && b[0] == 0 && b[1] == 0 && b[2] == 0xFE && b[3] == 0xFF) return {TextFormat::Utf32Be, 4};
  return {TextFormat::Ansi, 0};
}

const unsigned char* FindLineStop(const unsigned char* p, const unsigned char* end, bool stopAtHigh) {
  const std::uint64_t high = stopAtHigh ? ~std::uint64_t{0} : 0;
  while (p < end) {
    const LineBits bits = ScanLineBits(p);
    const std::uint64_t stops = (bits.ends | (bits.high & high)) & LowBits(static_cast<std::size_t>(end - p));
    if (stops != 0) return p + __builtin_ctzll(stops);
    p += 64;
  }
  return end;
}

const unsigned char* SkipAscii(const unsigned char* p, const unsigned char* end) {
#if defined(__SSE2__)
  while (end - p >= 16) {
    const int mask = _mm_movemask_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
    if (mask != 0) return p + __builtin_ctz(static_cast<unsigned>(mask));
    p += 16;
  }
#endif
  while (end - p >= 8) {
    std::uint64_t v;
    std::memcpy(&v, p, 8);
    if (v & kHighBits) break;
    p += 8;
  }
  while (p < end && *p < 0x80) ++p;
  return p;
}

