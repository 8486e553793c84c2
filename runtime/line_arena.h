// Lines of text in one arena, with one 64-bit index entry per line.
//
// A line whose units all fit in one byte is stored one byte per unit, any
// other line as UTF-16 units; the index entry holds the line's offset and a
// flag for the wide form. The reader appends narrow lines piece by piece,
// straight from its file buffer (addNarrow, endNarrowLine), so an ASCII line
// is copied once between the file and its place in the table.
//
// The text grows with realloc (the C library can then move a large block
// without copying it); the index grows in fixed blocks that never move.
// Nothing is initialised before it is written.
#pragma once

#include "runtime/text.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

class LineArena {
 public:
  LineArena() = default;
  LineArena(const LineArena&) = delete;
  LineArena& operator=(const LineArena&) = delete;
  // Moving hands the memory over; the source is left empty.
  LineArena(LineArena&& other) noexcept { swap(other); }
  LineArena& operator=(LineArena&& other) noexcept {
    if (this != &other) {
      clear();
      swap(other);
    }
    return *this;
  }
  ~LineArena();
  void swap(LineArena& other) noexcept;

  // Empties the arena and gives its memory back.
  void clear();
  // Room for this many bytes of text without growing.
  void reserve(std::int64_t bytes);

  std::int64_t count() const { return static_cast<std::int64_t>(lineCount_); }
  // Appends a whole line, narrow when every unit is below 0x100.
  void append(TextView line);

  // The line being built: bytes that each stand for one unit below 0x100.
  void addNarrow(const unsigned char* bytes, std::size_t n) {
    if (n == 0) return;
    if (textCapacity_ - textSize_ < n) growText(n);
    std::memcpy(text_ + textSize_, bytes, n);
    textSize_ += n;
  }
  // Ends the line being built (possibly empty) as a narrow line.
  void endNarrowLine() {
    addIndex(lineStart_);
    lineStart_ = textSize_;
  }
  // Moves the bytes of the line being built to the end of `out` and forgets them.
  void takeOpenLine(std::string& out);

  bool isWide(std::int64_t line) const { return (entry(line) & kWide) != 0; }
  // The stored bytes of a line: one per unit when narrow, two (UTF-16, in
  // memory order) when wide. The line must exist.
  std::string_view stored(std::int64_t line) const {
    const std::uint64_t begin = entry(line) & ~kWide;
    const std::uint64_t end =
        static_cast<std::size_t>(line) + 1 < lineCount_ ? (entry(line + 1) & ~kWide) : lineStart_;
    return {reinterpret_cast<const char*>(text_) + begin, static_cast<std::size_t>(end - begin)};
  }
  // The bytes the arena holds, for measuring.
  std::size_t textBytes() const { return textSize_; }

 private:
  static constexpr std::uint64_t kWide = std::uint64_t{1} << 63;
  // The index lives in blocks of 2 MiB that never move once made; only the
  // first starts small and grows, so that a small table stays small.
  static constexpr int kBlockShift = 18;
  static constexpr std::size_t kBlockEntries = std::size_t{1} << kBlockShift;

  std::uint64_t entry(std::int64_t line) const {
    const auto i = static_cast<std::size_t>(line);
    return blocks_[i >> kBlockShift][i & (kBlockEntries - 1)];
  }
  void addIndex(std::uint64_t value) {
    if (lineCount_ == indexCapacity_) growIndex();
    blocks_[lineCount_ >> kBlockShift][lineCount_ & (kBlockEntries - 1)] = value;
    ++lineCount_;
  }
  void growText(std::size_t atLeast);
  void growIndex();

  unsigned char* text_ = nullptr;
  std::size_t textSize_ = 0;
  std::size_t textCapacity_ = 0;
  std::size_t lineStart_ = 0;  // where the line being built begins
  std::uint64_t** blocks_ = nullptr;
  std::size_t blockCount_ = 0;
  std::size_t lineCount_ = 0;
  std::size_t indexCapacity_ = 0;  // entries the blocks can hold
};
