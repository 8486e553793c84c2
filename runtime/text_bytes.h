// The bytes of a text file before they are text, for every reader of project
// files: the byte-order mark, line ends found 64 bytes at a time as bit
// masks, runs of blanks and of ASCII passed over 16 bytes at a time, and
// UTF-8 checked as the bytes stream by (Utf8Check, runtime/utf8.h).
//
// The scans read up to kScanSlack bytes past the end they are given (a
// block of 64 bytes, or 16 for the runs of blanks); a buffer scanned with
// them keeps that many readable bytes after its end (their values do not
// matter). None of them fails or allocates. The scans run for every byte of
// a project, so the ones called per line or per block are inline.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

enum class TextFormat : std::int32_t {
  Ansi = 24,
  Utf8 = 2,
  Utf16Le = 25,
  Utf16Be = 4,
  Utf32Le = 5,
  Utf32Be = 6,
};

// The format a byte-order mark at the start of `bytes` announces and the
// mark's length; Ansi and 0 without one. `count` may be below four only at
// the end of the file.
struct ByteOrderMark {
  TextFormat format;
  std::size_t length;
};
ByteOrderMark DetectByteOrderMark(const unsigned char* bytes, std::size_t count);

inline constexpr std::size_t kScanSlack = 64;

// 64 bytes from p as bits (bit i for byte i): the bytes that end a line
// (NUL, LF, CR) and the bytes of 0x80 and above.
struct LineBits {
  std::uint64_t ends;
  std::uint64_t high;
};
inline LineBits ScanLineBits(const unsigned char* p) {
  LineBits bits{0, 0};
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  const __m128i lf = _mm_set1_epi8(0x0A);
  const __m128i cr = _mm_set1_epi8(0x0D);
  for (int k = 0; k < 4; ++k) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * k));
    const __m128i hit = _mm_or_si128(_mm_cmpeq_epi8(v, zero), _mm_or_si128(_mm_cmpeq_epi8(v, lf), _mm_cmpeq_epi8(v, cr)));
    bits.ends |= static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(hit))) << (16 * k);
    bits.high |= static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(v))) << (16 * k);
  }
#else
  for (int i = 0; i < 64; ++i) {
    const unsigned char b = p[i];
    bits.ends |= static_cast<std::uint64_t>(b == 0 || b == 0x0A || b == 0x0D) << i;
    bits.high |= static_cast<std::uint64_t>(b >= 0x80) << i;
  }
#endif
  return bits;
}
// 64 bytes from p: the bits of "<" and ">", and with `withHigh` in `high`
// those of bytes of 0x80 and above (else 0).
inline std::uint64_t ScanAngleBits(const unsigned char* p, std::uint64_t& high, bool withHigh = true) {
  std::uint64_t angles = 0;
  high = 0;
#if defined(__SSE2__)
  // "<" and ">" differ only in bit 1: one compare finds both.
  const __m128i two = _mm_set1_epi8(2);
  const __m128i gt = _mm_set1_epi8('>');
  for (int k = 0; k < 4; ++k) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * k));
    angles |= static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_or_si128(v, two), gt))))
              << (16 * k);
    if (withHigh) high |= static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(v))) << (16 * k);
  }
#else
  for (int i = 0; i < 64; ++i) {
    angles |= static_cast<std::uint64_t>(p[i] == '<' || p[i] == '>') << i;
    if (withHigh) high |= static_cast<std::uint64_t>(p[i] >= 0x80) << i;
  }
#endif
  return angles;
}
// Bits 0 to n - 1 (n at most 64): the part of a block that lies in the data.
inline std::uint64_t LowBits(std::size_t n) { return n >= 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << n) - 1; }

// The line ends of a buffer, handed out in order as one block of 64 bytes
// after another is looked at. The positions count from the buffer's start;
// when the buffer's bytes move down, shift() follows them.
class LineStops {
 public:
  // Starts over at `at`, forgetting the ends found.
  void restart(std::size_t at) {
    scan_ = base_ = at;
    mask_ = 0;
  }
  void shift(std::size_t by) {
    scan_ -= by;
    base_ -= by;
  }
  // The next end found at or after `from`; false when the ends found so far
  // are used up (then look at the next block).
  bool next(std::size_t from, std::size_t& at) {
    while (mask_ != 0) {
      at = base_ + static_cast<std::size_t>(__builtin_ctzll(mask_));
      mask_ &= mask_ - 1;
      if (at >= from) return true;
    }
    return false;
  }
  bool pending() const { return mask_ != 0; }
  // Looks at the next block of up to 64 bytes of `buffer` before `end`; its
  // high bits go to `high`, and with `stopAtHigh` they count as ends. False
  // when no byte is left to look at.
  bool scan(const unsigned char* buffer, std::size_t end, std::uint64_t& high, bool stopAtHigh = false) {
    if (scan_ >= end) return false;
    const std::size_t n = end - scan_ < 64 ? end - scan_ : 64;
    const LineBits bits = ScanLineBits(buffer + scan_);
    base_ = scan_;
    mask_ = (bits.ends | (stopAtHigh ? bits.high : 0)) & LowBits(n);
    high = bits.high & LowBits(n);
    scan_ += n;
    return true;
  }
  // The first byte not yet looked at; skipTo() passes over bytes without
  // looking for ends in them (the ends found are forgotten).
  std::size_t scanned() const { return scan_; }
  void skipTo(std::size_t at) {
    scan_ = at;
    mask_ = 0;
  }

 private:
  std::size_t scan_ = 0;   // first byte whose ends are not yet in mask_
  std::size_t base_ = 0;   // the byte that bit 0 of mask_ stands for
  std::uint64_t mask_ = 0; // ends found and not yet handed out
};

// The first byte at or after p that ends a line or, with `stopAtHigh`, is of
// 0x80 and above; `end` when there is none.
const unsigned char* FindLineStop(const unsigned char* p, const unsigned char* end, bool stopAtHigh);
// The first byte at or after p that is of 0x80 and above, or `end`.
const unsigned char* SkipAscii(const unsigned char* p, const unsigned char* end);

// The first byte at or after p that is neither `a` nor `b`, or `end`.
inline const unsigned char* SkipEither(const unsigned char* p, const unsigned char* end, unsigned char a,
                                       unsigned char b) {
#if defined(__SSE2__)
  const __m128i va = _mm_set1_epi8(static_cast<char>(a));
  const __m128i vb = _mm_set1_epi8(static_cast<char>(b));
  while (p < end) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const unsigned same =
        static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(v, va), _mm_cmpeq_epi8(v, vb))));
    if (same != 0xFFFF) {
      p += __builtin_ctz(~same);
      return p < end ? p : end;
    }
    p += 16;
  }
  return end;
#else
  while (p < end && (*p == a || *p == b)) ++p;
  return p;
#endif
}
// The first byte at or after p that is not a space, or `end`.
inline const unsigned char* SkipSpaces(const unsigned char* p, const unsigned char* end) {
  return SkipEither(p, end, ' ', ' ');
}
// The first byte at or after p that is neither a space nor a tab, or `end`.
inline const unsigned char* SkipBlanks(const unsigned char* p, const unsigned char* end) {
  return SkipEither(p, end, ' ', '\t');
}
