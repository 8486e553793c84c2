#include "core/block_reader.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace {

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
        if (held_ != 0) AppendUtf8Encoded(TextView(&held_, 1), out_);  // unpaired: U+FFFD
        held_ = 0;
        // An odd last byte is dropped, but as the Load reads it, it still
        // begins a line (an empty one): a NUL ends that line. Right after a
        // CR it is taken as the CR's follower instead, and begins nothing.
        if (!raw_.empty() && !lastWasCr_) out_.push_back('\0');
        return !out_.empty();
      }
    }
    const std::size_t count = raw_.size() / 2;
    if (count == 0) return true;
    units_.clear();
    if (held_ != 0) units_.push_back(held_);
    held_ = 0;
    for (std::size_t i = 0; i < count; ++i)
      units_.push_back(static_cast<char16_t>(static_cast<unsigned char>(raw_[2 * i]) |
                                             (static_cast<unsigned char>(raw_[2 * i + 1]) << 8)));
    lastWasCr_ = units_.back() == 0x0D;
    // A high surrogate at the end waits for the unit that may pair with it.
    if (units_.back() >= 0xD800 && units_.back() <= 0xDBFF) {
      held_ = units_.back();
      units_.pop_back();
    }
    AppendUtf8Encoded(units_, out_);
    raw_.erase(0, count * 2);
    return true;
  }

  static constexpr std::size_t kChunk = std::size_t{1} << 16;
  ByteSource& inner_;
  std::string raw_;
  Text units_;
  std::string out_;
  std::size_t taken_ = 0;
  char16_t held_ = 0;
  bool lastWasCr_ = false;
  bool ended_ = false;
};

}  // namespace

// Room after the buffer's end, so that a block of 64 bytes can always be loaded.
constexpr std::size_t kSlack = kScanSlack;

BlockReader::BlockReader(ByteSource& source, std::size_t chunkBytes)
    : original_(source), source_(&source),
      buffer_(new unsigned char[std::max<std::size_t>(chunkBytes, 16) + kSlack]()),
      capacity_(std::max<std::size_t>(chunkBytes, 16)) {}

BlockReader::~BlockReader() = default;

bool BlockReader::readFailed() const { return original_.failed(); }

bool BlockReader::fill() {
  if (atEnd_) return false;
  if (begin_ > 0) {
    std::memmove(buffer_.get(), buffer_.get() + begin_, end_ - begin_);
    end_ -= begin_;
    stops_.shift(begin_);  // the ends found stay valid: they all lie at or after begin_
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
    return false;
  }
  end_ += static_cast<std::size_t>(got);
  bytesRead_ += got;
  return true;
}

bool BlockReader::scanBlock() {
  const std::size_t at = stops_.scanned();
  std::uint64_t high;
  if (!stops_.scan(buffer_.get(), end_, high)) return false;
  if (undecided_ && utf8_.wellFormed() && (high != 0 || utf8_.inSequence()))
    utf8_.feed(buffer_.get() + at, buffer_.get() + stops_.scanned());
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
  const ByteOrderMark mark = DetectByteOrderMark(buffer_.get(), end_);
  switch (mark.format) {
    case TextFormat::Utf16Le:
      transcoder_ = std::make_unique<Utf16ToUtf8>(
          original_, std::string_view(reinterpret_cast<const char*>(buffer_.get()) + 2, end_ - 2));
      source_ = transcoder_.get();
      begin_ = end_ = 0;
      stops_.restart(0);
      atEnd_ = false;
      return;
    case TextFormat::Utf8:
      break;
    case TextFormat::Ansi:
      undecided_ = true;
      break;
    default:  // the other marks: the rest as ANSI bytes
      ansi_ = true;
      break;
  }
  begin_ = mark.length;
  stops_.restart(mark.length);
}

namespace {

bool isLineEnd(unsigned char b) { return b == 0 || b == 0x0A || b == 0x0D; }

}  // namespace

bool BlockReader::skipBlock() {
  int depth = 1;
  std::string_view line;
  // Lines whose ends are already known go one at a time.
  while (stops_.pending() || skipLf_) {
    if (!next(line)) return false;
    if (!line.empty() && line[0] == '<') ++depth;
    else if (!line.empty() && line[0] == '>' && --depth == 0) return true;
  }
  // From here on begin_ is the start of the line that the scan is in. Its
  // first byte may lie before the scan, already searched for line ends only.
  std::size_t scan = stops_.scanned();
  std::size_t first = begin_;
  while (first < scan && (buffer_[first] == ' ' || buffer_[first] == '\t')) ++first;
  if (first < scan && buffer_[first] == '<') ++depth;
  else if (first < scan && buffer_[first] == '>' && --depth == 0) return next(line);
  for (;;) {
    if (scan >= end_) {
      // Only the line being looked at is kept when the buffer is refilled.
      std::size_t lastEnd = end_;
      while (lastEnd > begin_ && !isLineEnd(buffer_[lastEnd - 1])) --lastEnd;
      const std::size_t moved = lastEnd;
      begin_ = lastEnd;
      stops_.skipTo(scan);
      if (!fill()) {
        begin_ = end_;
        return false;
      }
      scan -= moved;
      continue;
    }
    const unsigned char* p = buffer_.get() + scan;
    const std::size_t n = std::min<std::size_t>(64, end_ - scan);
    std::uint64_t high, angles;
    if (undecided_ && utf8_.wellFormed()) {
      angles = ScanAngleBits(p, high, true) & LowBits(n);
      if ((high & LowBits(n)) != 0 || utf8_.inSequence()) utf8_.feed(p, p + n);
    } else {
      angles = ScanAngleBits(p, high, false) & LowBits(n);
    }
    for (; angles != 0; angles &= angles - 1) {
      const std::size_t at = scan + static_cast<std::size_t>(__builtin_ctzll(angles));
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
      stops_.skipTo(scan);
      std::uint64_t ignored;
      stops_.scan(buffer_.get(), end_, ignored);
      return next(line);
    }
    scan += n;
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
    std::size_t stopAt;
    while (!stops_.next(begin_, stopAt)) {
      if (scanBlock()) continue;
      if (!fill()) {
        if (begin_ == end_) return false;
        // The last line, without a terminator.
        const unsigned char* stop = buffer_.get() + end_;
        const unsigned char* first = SkipBlanks(buffer_.get() + begin_, stop);
        line = std::string_view(reinterpret_cast<const char*>(first), static_cast<std::size_t>(stop - first));
        begin_ = end_;
        return true;
      }
    }
    const unsigned char* stop = buffer_.get() + stopAt;
    const unsigned char* first = SkipBlanks(buffer_.get() + begin_, stop);
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
