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

}  // namespace

LineArena::~LineArena() { clear(); }

void LineArena::swap(LineArena& other) noexcept {
  std::swap(text_, other.text_);
  std::swap(textSize_, other.textSize_);
  std::swap(textCapacity_, other.textCapacity_);
  std::swap(lineStart_, other.lineStart_);
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
  RefundMemory(textCapacity_ + indexCapacity_ * sizeof(std::uint32_t));
  FreeLarge(text_);
  for (std::size_t b = 0; b < blockCount_; ++b) FreeLarge(blocks_[b]);
  std::free(blocks_);
  std::free(bases_);
  std::free(far_);
  text_ = nullptr;
  blocks_ = nullptr;
  bases_ = nullptr;
  far_ = nullptr;
  textSize_ = textCapacity_ = lineStart_ = 0;
  blockCount_ = lineCount_ = indexCapacity_ = farCount_ = farCapacity_ = 0;
}

void LineArena::reserve(std::int64_t bytes) {
  if (bytes <= 0 || static_cast<std::uint64_t>(bytes) <= textCapacity_) return;
  text_ = static_cast<unsigned char*>(RegrowCharged(text_, textCapacity_, static_cast<std::size_t>(bytes)));
  textCapacity_ = static_cast<std::size_t>(bytes);
}

void LineArena::growText(std::size_t atLeast) {
  std::size_t capacity = textCapacity_ < 4096 ? 4096 : textCapacity_ + textCapacity_ / 2;
  if (capacity - textSize_ < atLeast) capacity = textSize_ + atLeast;
  text_ = static_cast<unsigned char*>(RegrowCharged(text_, textCapacity_, capacity));
  textCapacity_ = capacity;
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
    ChargeMemory(kBlockEntries * kEntry);
    void* block = AllocateAligned(kBlockEntries * kEntry);
    if (!block) {
      RefundMemory(kBlockEntries * kEntry);
      throw std::bad_alloc();
    }
    blocks_[blockCount_] = static_cast<std::uint32_t*>(block);
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
  if (narrow) {
    if (textCapacity_ - textSize_ < line.size()) growText(line.size());
    unsigned char* out = text_ + textSize_;
    for (std::size_t i = 0; i < line.size(); ++i) out[i] = static_cast<unsigned char>(line[i]);
    textSize_ += line.size();
    endNarrowLine();
    return;
  }
  const std::size_t bytes = line.size() * 2;
  if (textCapacity_ - textSize_ < bytes) growText(bytes);
  std::memcpy(text_ + textSize_, line.data(), bytes);
  textSize_ += bytes;
  addIndex(lineStart_, true);
  lineStart_ = textSize_;
}

void LineArena::takeOpenLine(std::string& out) {
  out.append(reinterpret_cast<const char*>(text_) + lineStart_, textSize_ - lineStart_);
  textSize_ = lineStart_;
}
