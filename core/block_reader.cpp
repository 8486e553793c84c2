#include "core/block_reader.h"

#include <algorithm>
#include <cstring>
#include <string>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
constexpr std::uint64_t kHighBits = 0x8080808080808080ULL;

inline std::uint64_t zeroBytes(std::uint64_t v) { return (v - kOnes) & ~v & kHighBits; }

// The first byte of 0x80 or above at or after p, or `end`.
inline const unsigned char* skipAscii(const unsigned char* p, const unsigned char* end) {
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

// The first byte at or after p that is neither a space nor a tab, or `end`.
// Up to 16 bytes past `end` may be looked at (the buffer's slack).
inline const unsigned char* skipBlanks(const unsigned char* p, const unsigned char* end) {
#if defined(__SSE2__)
  const __m128i space = _mm_set1_epi8(' ');
  const __m128i tab = _mm_set1_epi8('\t');
  while (p < end) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const unsigned blank =
        static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(v, space), _mm_cmpeq_epi8(v, tab))));
    if (blank != 0xFFFF) return std::min(end, p + __builtin_ctz(~blank));
    p += 16;
  }
  return end;
#else
  while (p < end && (*p == ' ' || *p == '\t')) ++p;
  return p;
#endif
}

void appendUtf8(std::string& out, std::uint32_t c) {
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (c >> 18)));
    out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

// UTF-16 little-endian units from another source, handed on as UTF-8. The
// bytes the reader had already taken for the mark test come first.
class Utf16ToUtf8 : public ByteSource {
 public:
  Utf16ToUtf8(ByteSource& inner, std::string_view head) : inner_(inner), raw_(head) {}

  std::int64_t read(void* destination, std::int64_t count) override {
    while (out_.size() - taken_ == 0) {
      out_.clear();
      taken_ = 0;
      if (!refill()) return 0;
    }
    const std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(count), out_.size() - taken_);
    std::memcpy(destination, out_.data() + taken_, n);
    taken_ += n;
    return static_cast<std::int64_t>(n);
  }
  bool failed() const override { return inner_.failed(); }

 private:
  bool refill() {
    if (ended_) return false;
    if (raw_.size() < 2) {
      const std::size_t old = raw_.size();
      raw_.resize(old + kChunk);
      const std::int64_t got = inner_.read(raw_.data() + old, kChunk);
      raw_.resize(old + static_cast<std::size_t>(got > 0 ? got : 0));
      if (got <= 0) {
        ended_ = true;
        if (pendingHigh_) appendUtf8(out_, 0xFFFD);
        pendingHigh_ = 0;
        // An odd last byte is dropped, but as the Load reads it, it still
        // begins a line (an empty one): a NUL ends that line. Right after a
        // CR it is taken as the CR's follower instead, and begins nothing.
        if (!raw_.empty() && !lastWasCr_) out_.push_back('\0');
        return !out_.empty();
      }
    }
    const std::size_t units = raw_.size() / 2;
    for (std::size_t i = 0; i < units; ++i) {
      const std::uint32_t u = static_cast<unsigned char>(raw_[2 * i]) | (static_cast<unsigned char>(raw_[2 * i + 1]) << 8);
      if (pendingHigh_ != 0) {
        if (u >= 0xDC00 && u <= 0xDFFF) {
          appendUtf8(out_, 0x10000 + ((pendingHigh_ - 0xD800) << 10) + (u - 0xDC00));
          pendingHigh_ = 0;
          continue;
        }
        appendUtf8(out_, 0xFFFD);
        pendingHigh_ = 0;
      }
      lastWasCr_ = u == 0x0D;
      if (u >= 0xD800 && u <= 0xDBFF) pendingHigh_ = u;
      else if (u >= 0xDC00 && u <= 0xDFFF) appendUtf8(out_, 0xFFFD);
      else appendUtf8(out_, u);
    }
    raw_.erase(0, units * 2);
    return true;
  }

  static constexpr std::size_t kChunk = std::size_t{1} << 16;
  ByteSource& inner_;
  std::string raw_;
  std::string out_;
  std::size_t taken_ = 0;
  std::uint32_t pendingHigh_ = 0;
  bool lastWasCr_ = false;
  bool ended_ = false;
};

}  // namespace

// Room after the buffer's end, so that a block of 64 bytes can always be loaded.
constexpr std::size_t kSlack = 64;

BlockReader::BlockReader(ByteSource& source, std::size_t chunkBytes)
    : original_(source), source_(&source),
      buffer_(new unsigned char[std::max<std::size_t>(chunkBytes, 16) + kSlack]()),
      capacity_(std::max<std::size_t>(chunkBytes, 16)) {}

BlockReader::~BlockReader() = default;

bool BlockReader::readFailed() const { return original_.failed(); }

void BlockReader::checkUtf8(const unsigned char* p, const unsigned char* end) {
  while (p < end) {
    if (need_ == 0) {
      p = skipAscii(p, end);
      if (p == end) return;
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
      else { wellFormed_ = false; return; }
    } else {
      const unsigned char b = *p++;
      if (b < low_ || b > high_) {
        wellFormed_ = false;
        return;
      }
      --need_;
      low_ = 0x80;
      high_ = 0xBF;
    }
  }
}

bool BlockReader::fill() {
  if (atEnd_) return false;
  if (begin_ > 0) {
    std::memmove(buffer_.get(), buffer_.get() + begin_, end_ - begin_);
    end_ -= begin_;
    scan_ -= begin_;
    base_ -= begin_;  // mask_ stays valid: it only holds ends at or after begin_
    begin_ = 0;
  }
  if (end_ == capacity_) {  // one line fills the buffer: make room for more of it
    std::unique_ptr<unsigned char[]> bigger(new unsigned char[capacity_ * 2 + kSlack]());
    std::memcpy(bigger.get(), buffer_.get(), end_);
    buffer_ = std::move(bigger);
    capacity_ *= 2;
  }
  const std::int64_t got = source_->read(buffer_.get() + end_, static_cast<std::int64_t>(capacity_ - end_));
  if (got <= 0) {
    atEnd_ = true;
    if (need_ != 0) wellFormed_ = false;  // a sequence cut short by the end
    return false;
  }
  end_ += static_cast<std::size_t>(got);
  bytesRead_ += got;
  return true;
}

bool BlockReader::scanBlock() {
  if (scan_ >= end_) return false;
  const unsigned char* p = buffer_.get() + scan_;
  const std::size_t n = std::min<std::size_t>(64, end_ - scan_);
  std::uint64_t ends = 0, high = 0;
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  const __m128i lf = _mm_set1_epi8(0x0A);
  const __m128i cr = _mm_set1_epi8(0x0D);
  for (int k = 0; k < 4; ++k) {  // the slack after the buffer makes 64 bytes loadable
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * k));
    const __m128i hit = _mm_or_si128(_mm_cmpeq_epi8(v, zero), _mm_or_si128(_mm_cmpeq_epi8(v, lf), _mm_cmpeq_epi8(v, cr)));
    ends |= static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(hit))) << (16 * k);
    high |= static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(v))) << (16 * k);
  }
#else
  for (std::size_t i = 0; i < 64; ++i) {
    const unsigned char b = p[i];
    ends |= static_cast<std::uint64_t>(b == 0 || b == 0x0A || b == 0x0D) << i;
    high |= static_cast<std::uint64_t>(b >= 0x80) << i;
  }
#endif
  const std::uint64_t valid = n == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << n) - 1;
  if (undecided_ && wellFormed_ && ((high & valid) != 0 || need_ != 0)) checkUtf8(p, p + n);
  base_ = scan_;
  mask_ = ends & valid;
  scan_ += n;
  return true;
}

void BlockReader::start() {
  started_ = true;
  // At least four bytes for the mark test, unless the file is shorter.
  while (end_ < 4) {
    const std::int64_t got = source_->read(buffer_.get() + end_, static_cast<std::int64_t>(capacity_ - end_));
    if (got <= 0) {
      atEnd_ = true;
      break;
    }
    end_ += static_cast<std::size_t>(got);
    bytesRead_ += got;
  }
  const unsigned char* b = buffer_.get();
  const std::size_t k = end_;
  std::size_t skip = 0;
  if (k >= 4 && b[0] == 0xFF && b[1] == 0xFE && b[2] == 0 && b[3] == 0) { skip = 4; ansi_ = true; }
  else if (k >= 2 && b[0] == 0xFF && b[1] == 0xFE) {
    transcoder_ = std::make_unique<Utf16ToUtf8>(
        original_, std::string_view(reinterpret_cast<const char*>(b) + 2, k - 2));
    source_ = transcoder_.get();
    begin_ = end_ = scan_ = base_ = 0;
    atEnd_ = false;
    return;
  }
  else if (k >= 3 && b[0] == 0xEF && b[1] == 0xBB && b[2] == 0xBF) skip = 3;
  else if (k >= 2 && b[0] == 0xFE && b[1] == 0xFF) { skip = 2; ansi_ = true; }
  else if (k >= 4 && b[0] == 0 && b[1] == 0 && b[2] == 0xFE && b[3] == 0xFF) { skip = 4; ansi_ = true; }
  else undecided_ = true;
  begin_ = scan_ = base_ = skip;
}

namespace {

bool isLineEnd(unsigned char b) { return b == 0 || b == 0x0A || b == 0x0D; }

// Bits for the bytes "<" and ">" of 64 bytes and, when asked, for those of
// 0x80 and above. "<" and ">" differ only in bit 1: one compare finds both.
template <bool kHigh>
inline void angleAndHighBits(const unsigned char* p, std::uint64_t& angles, std::uint64_t& high) {
  angles = high = 0;
#if defined(__SSE2__)
  const __m128i two = _mm_set1_epi8(2);
  const __m128i gt = _mm_set1_epi8('>');
  for (int k = 0; k < 4; ++k) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * k));
    angles |= static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_or_si128(v, two), gt))))
              << (16 * k);
    if (kHigh) high |= static_cast<std::uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(v))) << (16 * k);
  }
#else
  for (int i = 0; i < 64; ++i) {
    angles |= static_cast<std::uint64_t>(p[i] == '<' || p[i] == '>') << i;
    if (kHigh) high |= static_cast<std::uint64_t>(p[i] >= 0x80) << i;
  }
#endif
}

}  // namespace

bool BlockReader::skipBlock() {
  int depth = 1;
  std::string_view line;
  // Lines whose ends are already known go one at a time.
  while (mask_ != 0 || skipLf_) {
    if (!next(line)) return false;
    if (!line.empty() && line[0] == '<') ++depth;
    else if (!line.empty() && line[0] == '>' && --depth == 0) return true;
  }
  // From here on begin_ is the start of the line that scan_ is in. Its
  // first byte may lie before scan_, already searched for line ends only.
  std::size_t first = begin_;
  while (first < scan_ && (buffer_[first] == ' ' || buffer_[first] == '\t')) ++first;
  if (first < scan_ && buffer_[first] == '<') ++depth;
  else if (first < scan_ && buffer_[first] == '>' && --depth == 0) return next(line);
  for (;;) {
    if (scan_ >= end_) {
      // Only the line being looked at is kept when the buffer is refilled.
      std::size_t lastEnd = end_;
      while (lastEnd > begin_ && !isLineEnd(buffer_[lastEnd - 1])) --lastEnd;
      begin_ = lastEnd;
      if (!fill()) {
        begin_ = end_;
        return false;
      }
      continue;
    }
    const unsigned char* p = buffer_.get() + scan_;
    const std::size_t n = std::min<std::size_t>(64, end_ - scan_);
    const std::uint64_t valid = n == 64 ? ~std::uint64_t{0} : (std::uint64_t{1} << n) - 1;
    std::uint64_t angles, high;
    if (undecided_ && wellFormed_) {
      angleAndHighBits<true>(p, angles, high);
      if ((high & valid) != 0 || need_ != 0) checkUtf8(p, p + n);
    } else {
      angleAndHighBits<false>(p, angles, high);
    }
    angles &= valid;
    for (; angles != 0; angles &= angles - 1) {
      const std::size_t at = scan_ + static_cast<std::size_t>(__builtin_ctzll(angles));
      // Does the line start here, after blanks alone?
      std::size_t start = at;
      while (start > begin_ && (buffer_[start - 1] == ' ' || buffer_[start - 1] == '\t')) --start;
      if (start > begin_ && !isLineEnd(buffer_[start - 1])) continue;
      if (buffer_[at] == '<') {
        ++depth;
        continue;
      }
      if (--depth > 0) continue;
      // The closing line: hand it out as next() does, from the line ends
      // of this block on.
      begin_ = start;
      base_ = scan_;
      mask_ = 0;
      for (std::size_t i = 0; i < n; ++i) mask_ |= static_cast<std::uint64_t>(isLineEnd(p[i])) << i;
      scan_ += n;
      return next(line);
    }
    scan_ += n;
  }
}

bool BlockReader::next(std::string_view& line) {
  if (!started_) start();
  for (;;) {
    if (skipLf_) {
      if (begin_ == end_ && !fill()) {
        skipLf_ = false;
        break;
      }
      if (buffer_[begin_] == 0x0A) ++begin_;
      skipLf_ = false;
    }
    // The next line end at or after begin_ (ends before it were taken with a CR).
    while (mask_ == 0 || base_ + static_cast<std::size_t>(__builtin_ctzll(mask_)) < begin_) {
      if (mask_ != 0) {
        mask_ &= mask_ - 1;
        continue;
      }
      if (scanBlock()) continue;
      if (!fill()) {
        if (begin_ == end_) return false;
        // The last line, without a terminator.
        const unsigned char* stop = buffer_.get() + end_;
        const unsigned char* first = skipBlanks(buffer_.get() + begin_, stop);
        line = std::string_view(reinterpret_cast<const char*>(first), static_cast<std::size_t>(stop - first));
        begin_ = end_;
        return true;
      }
    }
    const std::size_t stopAt = base_ + static_cast<std::size_t>(__builtin_ctzll(mask_));
    mask_ &= mask_ - 1;
    const unsigned char* stop = buffer_.get() + stopAt;
    const unsigned char* first = skipBlanks(buffer_.get() + begin_, stop);
    line = std::string_view(reinterpret_cast<const char*>(first), static_cast<std::size_t>(stop - first));
    begin_ = stopAt + 1;
    if (*stop == 0x0D) {
      if (begin_ < end_) {
        if (buffer_[begin_] == 0x0A) ++begin_;
      } else {
        skipLf_ = true;
      }
    }
    return true;
  }
  return false;
}
