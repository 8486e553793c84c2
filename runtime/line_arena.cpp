#include "runtime/line_arena.h"

#include "runtime/memory.h"

#include <algorithm>
#include <cstdlib>
#include <new>
#include <utility>

namespace {

// Grows a block from `before` to `after` bytes within the thread's memory budget.
void* RegrowCharged(void* block, std::size_t before, std::size_t after) {
  ChargeMemory(after - before);
  void* grown = ReallocateLarge(block, after);
  if (!grown) {
    RefundMemory(after - before);
    throw std::bad_alloc();
  }
  return grown;
}

// A new block on a huge-page boundary, within the thread's memory budget.
void* AllocateCharged(std::size_t bytes) {
  ChargeMemory(bytes);
  void* block = AllocateAligned(bytes);
  if (!block) {
    RefundMemory(bytes);
    throw std::bad_alloc();
  }
  return block;
}

}  // namespace

LineArena::~LineArena() { clear(); }

void LineArena::swap(LineArena& other) noexcept {
  std::swap(chunk_, other.chunk_);
  std::swap(chunkStart_, other.chunkStart_);
  std::swap(textSize_, other.textSize_);
  std::swap(textCapacity_, other.textCapacity_);
  std::swap(lineStart_, other.lineStart_);
  std::swap(charged_, other.charged_);
  std::swap(slots_, other.slots_);
  std::swap(slotCount_, other.slotCount_);
  std::swap(slotCapacity_, other.slotCapacity_);
  std::swap(blocks_, other.blocks_);
  std::swap(bases_, other.bases_);
  std::swap(far_, other.far_);
  std::swap(farCount_, other.farCount_);
  std::swap(farCapacity_, other.farCapacity_);
  std::swap(farFrom_, other.farFrom_);
  std::swap(blockCount_, other.blockCount_);
  std::swap(lineCount_, other.lineCount_);
  std::swap(indexCapacity_, other.indexCapacity_);
}

void LineArena::clear() {
  RefundMemory(charged_ + indexCapacity_ * sizeof(std::uint32_t));
  for (std::size_t s = 0; s < slotCount_; ++s)
    if (slots_[s].first) FreeLarge(slots_[s].base);
  for (std::size_t b = 0; b < blockCount_; ++b) FreeLarge(blocks_[b]);
  std::free(slots_);
  std::free(blocks_);
  std::free(bases_);
  std::free(far_);
  chunk_ = nullptr;
  slots_ = nullptr;
  blocks_ = nullptr;
  bases_ = nullptr;
  far_ = nullptr;
  chunkStart_ = textSize_ = textCapacity_ = lineStart_ = charged_ = 0;
  slotCount_ = slotCapacity_ = 0;
  blockCount_ = lineCount_ = indexCapacity_ = farCount_ = farCapacity_ = 0;
}

// Points the steps of the current chunk from `firstSlot` on at its bytes,
// adding the steps it now needs.
void LineArena::setSlots(std::size_t firstSlot) {
  const std::size_t steps = (textCapacity_ - chunkStart_ + kChunkBytes - 1) >> kChunkShift;
  const std::size_t needed = (chunkStart_ >> kChunkShift) + steps;
  if (needed > slotCapacity_) {
    const std::size_t capacity = std::max<std::size_t>({needed, 16, slotCapacity_ * 2});
    auto* slots = static_cast<Slot*>(std::realloc(slots_, capacity * sizeof(Slot)));
    if (!slots) throw std::bad_alloc();
    slots_ = slots;
    slotCapacity_ = capacity;
  }
  for (std::size_t s = firstSlot; s < needed; ++s) {
    const std::size_t step = s - (chunkStart_ >> kChunkShift);
    slots_[s] = Slot{chunk_ + (step << kChunkShift), SIZE_MAX, step == 0};
  }
  slotCount_ = needed;
}

void LineArena::growText(std::size_t atLeast) {
  const std::size_t open = textSize_ - lineStart_;
  if (chunk_ && textCapacity_ - chunkStart_ >= kChunkBytes && open + atLeast <= kMovableLine) newChunk();
  else growChunk(atLeast);
}

// A full chunk is closed and the line being built moves to a new one, which
// begins at the next 2 MiB step of the offsets.
void LineArena::newChunk() {
  if (slotCount_ == slotCapacity_) {  // room for the new step first: nothing changes if that fails
    const std::size_t capacity = std::max<std::size_t>(16, slotCapacity_ * 2);
    auto* slots = static_cast<Slot*>(std::realloc(slots_, capacity * sizeof(Slot)));
    if (!slots) throw std::bad_alloc();
    slots_ = slots;
    slotCapacity_ = capacity;
  }
  auto* chunk = static_cast<unsigned char*>(AllocateCharged(kChunkBytes));
  charged_ += kChunkBytes;
  const std::size_t open = textSize_ - lineStart_;
  std::memcpy(chunk, chunk_ + (lineStart_ - chunkStart_), open);
  for (std::size_t s = chunkStart_ >> kChunkShift; s < slotCount_; ++s) slots_[s].end = lineStart_;
  chunk_ = chunk;
  chunkStart_ = slotCount_ << kChunkShift;
  lineStart_ = chunkStart_;
  textSize_ = chunkStart_ + open;
  textCapacity_ = chunkStart_ + kChunkBytes;
  setSlots(slotCount_);
}

// The current chunk grows in place (the C library may move it without
// copying): the first chunk up to 2 MiB, doubling, and a chunk whose line is
// too long to move, by half again in whole 2 MiB steps.
void LineArena::growChunk(std::size_t atLeast) {
  const std::size_t size = textCapacity_ - chunkStart_;
  const std::size_t used = textSize_ - chunkStart_;
  std::size_t capacity = size < 4096 ? 4096 : size < kChunkBytes ? size * 2 : size + size / 2;
  if (capacity - used < atLeast) capacity = used + atLeast;
  if (capacity > kChunkBytes) capacity = (capacity + kChunkBytes - 1) & ~(kChunkBytes - 1);
  const std::size_t steps = (capacity + kChunkBytes - 1) >> kChunkShift;
  if ((chunkStart_ >> kChunkShift) + steps > slotCapacity_) {
    const std::size_t wanted = std::max<std::size_t>({(chunkStart_ >> kChunkShift) + steps, 16, slotCapacity_ * 2});
    auto* slots = static_cast<Slot*>(std::realloc(slots_, wanted * sizeof(Slot)));
    if (!slots) throw std::bad_alloc();
    slots_ = slots;
    slotCapacity_ = wanted;
  }
  chunk_ = static_cast<unsigned char*>(RegrowCharged(chunk_, size, capacity));
  charged_ += capacity - size;
  textCapacity_ = chunkStart_ + capacity;
  setSlots(chunkStart_ >> kChunkShift);
}

void LineArena::growIndex() {
  constexpr std::size_t kEntry = sizeof(std::uint32_t);
  if (blockCount_ == 1 && indexCapacity_ < kBlockEntries) {  // the first block doubles
    const std::size_t entries = indexCapacity_ * 2;
    blocks_[0] = static_cast<std::uint32_t*>(RegrowCharged(blocks_[0], indexCapacity_ * kEntry, entries * kEntry));
    indexCapacity_ = entries;
    return;
  }
  // The lists of blocks and bases are small: one entry per 2 MiB of index.
  auto** blocks = static_cast<std::uint32_t**>(std::realloc(blocks_, (blockCount_ + 1) * sizeof(std::uint32_t*)));
  if (!blocks) throw std::bad_alloc();
  blocks_ = blocks;
  auto* bases = static_cast<std::size_t*>(std::realloc(bases_, (blockCount_ + 1) * sizeof(std::size_t)));
  if (!bases) throw std::bad_alloc();
  bases_ = bases;
  if (blockCount_ == 0) {
    constexpr std::size_t kFirst = 256;
    blocks_[0] = static_cast<std::uint32_t*>(RegrowCharged(nullptr, 0, kFirst * kEntry));
    indexCapacity_ = kFirst;
  } else {
    blocks_[blockCount_] = static_cast<std::uint32_t*>(AllocateCharged(kBlockEntries * kEntry));
    indexCapacity_ += kBlockEntries;
  }
  ++blockCount_;
}

std::size_t LineArena::addFar(std::size_t start) {
  if (farCount_ == farCapacity_) {
    const std::size_t capacity = farCapacity_ < 16 ? 16 : farCapacity_ * 2;
    auto* far = static_cast<std::size_t*>(std::realloc(far_, capacity * 2 * sizeof(std::size_t)));
    if (!far) throw std::bad_alloc();
    far_ = far;
    farCapacity_ = capacity;
  }
  far_[2 * farCount_] = lineCount_;
  far_[2 * farCount_ + 1] = start;
  ++farCount_;
  return kFarEntry;
}

std::size_t LineArena::farOffset(std::size_t line) const {
  std::size_t low = 0, high = farCount_;
  while (low < high) {  // the lines are in order
    const std::size_t middle = (low + high) / 2;
    if (far_[2 * middle] < line) low = middle + 1;
    else high = middle;
  }
  return far_[2 * low + 1];
}

void LineArena::append(TextView line) {
  bool narrow = true;
  for (char16_t c : line)
    if (c > 0xFF) {
      narrow = false;
      break;
    }
  textSize_ = lineStart_;  // a whole line replaces any piece still open
  const std::size_t bytes = narrow ? line.size() : line.size() * 2;
  if (textCapacity_ - textSize_ < bytes) growText(bytes);
  unsigned char* out = bytes == 0 ? nullptr : chunk_ + (textSize_ - chunkStart_);
  if (narrow) {
    for (std::size_t i = 0; i < line.size(); ++i) out[i] = static_cast<unsigned char>(line[i]);
  } else {
    std::memcpy(out, line.data(), bytes);
  }
  textSize_ += bytes;
  addIndex(lineStart_, !narrow);
  lineStart_ = textSize_;
}

void LineArena::takeOpenLine(std::string& out) {
  if (textSize_ > lineStart_)
    out.append(reinterpret_cast<const char*>(chunk_) + (lineStart_ - chunkStart_), textSize_ - lineStart_);
  textSize_ = lineStart_;
}
