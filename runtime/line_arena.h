// Lines of text in chunks, with one 32-bit index entry per line.
//
// A line whose units all fit in one byte is stored one byte per unit, any
// other line as UTF-16 units. The reader appends narrow lines piece by piece,
// straight from its file buffer (addNarrow, endNarrowLine), so an ASCII line
// is copied once between the file and its place in the table.
//
// The text lives in chunks of 2 MiB that never move once full, each on a
// huge-page boundary where the system has huge pages: memory is taken as the
// lines need it, yet a table of hundreds of megabytes costs a few hundred
// page faults and is read back without a TLB miss per page. Only the first
// chunk starts small and grows, so that a small table stays small. A line
// never spans two chunks: a short line that does not fit in what is left of
// a full chunk moves to the next one (at most an eighth of a chunk is left
// unused), and a longer one grows its chunk in place. Lines are addressed by
// their offset in the sequence of chunks, as if each took whole 2 MiB steps.
//
// The index holds, per line, that offset counted from the start of its index
// block (whose own offset is kept once per block) and a flag for the wide
// form: 4 bytes a line, so that a file of empty lines costs at most four
// times its size. A line more than 2 GiB past its block's start (only in
// files of several gigabytes) is looked up in a short list of its own. The
// index grows in fixed blocks that never move.
//
// Nothing is initialised before it is written. Running out of memory throws
// std::bad_alloc and leaves what is stored as it was.
#pragma once

#include "runtime/text.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

class LineArena {
 public:
  LineArena() = default;
  // For tests: lines at least `farFrom` bytes past their block's start go
  // to the list of far lines (normally 2 GiB).
  explicit LineArena(std::uint32_t farFrom) : farFrom_(farFrom < kFarEntry ? farFrom : kFarEntry) {}
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

  std::int64_t count() const { return static_cast<std::int64_t>(lineCount_); }
  // Appends a whole line, narrow when every unit is below 0x100.
  void append(TextView line);

  // The line being built: bytes that each stand for one unit below 0x100.
  void addNarrow(const unsigned char* bytes, std::size_t n) {
    if (n == 0) return;
    if (textCapacity_ - textSize_ < n) growText(n);
    std::memcpy(chunk_ + (textSize_ - chunkStart_), bytes, n);
    textSize_ += n;
  }
  // Ends the line being built (possibly empty) as a narrow line.
  void endNarrowLine() {
    addIndex(lineStart_, false);
    lineStart_ = textSize_;
  }
  // Moves the bytes of the line being built to the end of `out` and forgets them.
  void takeOpenLine(std::string& out);

  bool isWide(std::int64_t line) const { return (entry(line) & kWideEntry) != 0; }
  // The stored bytes of a line: one per unit when narrow, two (UTF-16, in
  // memory order) when wide. The line must exist.
  std::string_view stored(std::int64_t line) const {
    const std::size_t begin = offset(static_cast<std::size_t>(line));
    std::size_t end = static_cast<std::size_t>(line) + 1 < lineCount_ ? offset(static_cast<std::size_t>(line) + 1)
                                                                      : lineStart_;
    if (end == begin) return {};
    // The next line may begin in a later chunk: this one ends with its chunk's lines.
    const Slot& slot = slots_[begin >> kChunkShift];
    if (end > slot.end) end = slot.end;
    return {reinterpret_cast<const char*>(slot.base) + (begin & (kChunkBytes - 1)), end - begin};
  }
  // The bytes the text's chunks hold, for measuring.
  std::size_t chunkBytes() const { return charged_; }

 private:
  static constexpr std::uint32_t kWideEntry = std::uint32_t{1} << 31;
  static constexpr std::uint32_t kFarEntry = kWideEntry - 1;  // the offset is in far_
  // The index lives in blocks of 2 MiB that never move once made; only the
  // first starts small and grows, so that a small table stays small.
  static constexpr int kBlockShift = 19;
  static constexpr std::size_t kBlockEntries = std::size_t{1} << kBlockShift;
  // The text's chunks, and the longest line that moves on to a new chunk
  // rather than growing its own.
  static constexpr int kChunkShift = 21;
  static constexpr std::size_t kChunkBytes = std::size_t{1} << kChunkShift;
  static constexpr std::size_t kMovableLine = kChunkBytes / 8;

  // One 2 MiB step of the offsets: where its bytes are, and the offset at
  // which the lines of its chunk end once a later chunk has begun.
  struct Slot {
    unsigned char* base;
    std::size_t end;
    bool first;  // the first step of its chunk, which owns the memory
  };

  std::uint32_t entry(std::int64_t line) const {
    const auto i = static_cast<std::size_t>(line);
    return blocks_[i >> kBlockShift][i & (kBlockEntries - 1)];
  }
  std::size_t offset(std::size_t line) const {
    const std::uint32_t relative = blocks_[line >> kBlockShift][line & (kBlockEntries - 1)] & ~kWideEntry;
    return relative == kFarEntry ? farOffset(line) : bases_[line >> kBlockShift] + relative;
  }
  void addIndex(std::size_t start, bool wide) {
    if (lineCount_ == indexCapacity_) growIndex();
    const std::size_t block = lineCount_ >> kBlockShift;
    if ((lineCount_ & (kBlockEntries - 1)) == 0) bases_[block] = start;
    std::size_t relative = start - bases_[block];
    if (relative >= farFrom_) relative = addFar(start);
    blocks_[block][lineCount_ & (kBlockEntries - 1)] = static_cast<std::uint32_t>(relative) | (wide ? kWideEntry : 0);
    ++lineCount_;
  }
  void growText(std::size_t atLeast);
  void newChunk();
  void growChunk(std::size_t atLeast);
  void setSlots(std::size_t firstSlot);
  void growIndex();
  std::size_t addFar(std::size_t start);
  std::size_t farOffset(std::size_t line) const;

  // The chunk being filled, always the last one.
  unsigned char* chunk_ = nullptr;
  std::size_t chunkStart_ = 0;    // the offset of its first byte
  std::size_t textSize_ = 0;      // the offset after the last byte stored
  std::size_t textCapacity_ = 0;  // the offset after the chunk's last byte
  std::size_t lineStart_ = 0;     // where the line being built begins
  std::size_t charged_ = 0;       // bytes of all chunks, as charged to the memory budget
  Slot* slots_ = nullptr;
  std::size_t slotCount_ = 0;
  std::size_t slotCapacity_ = 0;
  std::uint32_t** blocks_ = nullptr;
  std::size_t* bases_ = nullptr;  // per block: the text offset its entries count from
  std::size_t blockCount_ = 0;
  std::size_t lineCount_ = 0;
  std::size_t indexCapacity_ = 0;  // entries the blocks can hold
  // Lines too far from their block's start: (line, offset), in line order.
  std::size_t* far_ = nullptr;
  std::size_t farCount_ = 0;
  std::size_t farCapacity_ = 0;
  std::uint32_t farFrom_ = kFarEntry;
};
