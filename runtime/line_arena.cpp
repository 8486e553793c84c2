#include "runtime/line_arena.h"

#include <cstdlib>
#include <new>
#include <utility>

#ifdef __linux__
#include <sys/mman.h>
#endif

namespace {

constexpr std::size_t kHugePage = std::size_t{2} << 20;

// Asks for huge pages over a large block, where the system offers them: a
// table of a few hundred megabytes then costs a few hundred page faults
// instead of a hundred thousand. The whole mapping of the block is advised
// alike, so that the C library can still grow it in place.
void AdviseHuge(void* block, std::size_t bytes) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  if (bytes < kHugePage) return;
  const auto begin = reinterpret_cast<std::uintptr_t>(block) & ~std::uintptr_t{4095};
  const auto end = (reinterpret_cast<std::uintptr_t>(block) + bytes + 4095) & ~std::uintptr_t{4095};
  ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#else
  (void)block;
  (void)bytes;
#endif
}

void* Regrow(void* block, std::size_t bytes) {
  void* grown = std::realloc(block, bytes);
  if (!grown) throw std::bad_alloc();
  AdviseHuge(grown, bytes);
  return grown;
}

// An index block on a huge-page boundary where that is possible.
std::uint64_t* NewBlock(std::size_t bytes) {
  void* block = nullptr;
#if defined(__linux__)
  if (::posix_memalign(&block, kHugePage, bytes) != 0) throw std::bad_alloc();
  AdviseHuge(block, bytes);
#else
  block = std::malloc(bytes);
  if (!block) throw std::bad_alloc();
#endif
  return static_cast<std::uint64_t*>(block);
}

}  // namespace

LineArena::~LineArena() { clear(); }

void LineArena::swap(LineArena& other) noexcept {
  std::swap(text_, other.text_);
  std::swap(textSize_, other.textSize_);
  std::swap(textCapacity_, other.textCapacity_);
  std::swap(lineStart_, other.lineStart_);
  std::swap(blocks_, other.blocks_);
  std::swap(blockCount_, other.blockCount_);
  std::swap(lineCount_, other.lineCount_);
  std::swap(indexCapacity_, other.indexCapacity_);
}

void LineArena::clear() {
  std::free(text_);
  for (std::size_t b = 0; b < blockCount_; ++b) std::free(blocks_[b]);
  std::free(blocks_);
  text_ = nullptr;
  blocks_ = nullptr;
  textSize_ = textCapacity_ = lineStart_ = 0;
  blockCount_ = lineCount_ = indexCapacity_ = 0;
}

void LineArena::reserve(std::int64_t bytes) {
  if (bytes <= 0 || static_cast<std::uint64_t>(bytes) <= textCapacity_) return;
  text_ = static_cast<unsigned char*>(Regrow(text_, static_cast<std::size_t>(bytes)));
  textCapacity_ = static_cast<std::size_t>(bytes);
}

void LineArena::growText(std::size_t atLeast) {
  std::size_t capacity = textCapacity_ < 4096 ? 4096 : textCapacity_ + textCapacity_ / 2;
  if (capacity - textSize_ < atLeast) capacity = textSize_ + atLeast;
  text_ = static_cast<unsigned char*>(Regrow(text_, capacity));
  textCapacity_ = capacity;
}

void LineArena::growIndex() {
  if (blockCount_ == 1 && indexCapacity_ < kBlockEntries) {  // the first block doubles
    const std::size_t entries = indexCapacity_ * 2;
    blocks_[0] = static_cast<std::uint64_t*>(Regrow(blocks_[0], entries * sizeof(std::uint64_t)));
    indexCapacity_ = entries;
    return;
  }
  // The list of blocks is small: one pointer per 2 MiB of index.
  auto** blocks = static_cast<std::uint64_t**>(std::realloc(blocks_, (blockCount_ + 1) * sizeof(std::uint64_t*)));
  if (!blocks) throw std::bad_alloc();
  blocks_ = blocks;
  if (blockCount_ == 0) {
    constexpr std::size_t kFirst = 256;
    blocks_[0] = static_cast<std::uint64_t*>(Regrow(nullptr, kFirst * sizeof(std::uint64_t)));
    indexCapacity_ = kFirst;
  } else {
    blocks_[blockCount_] = NewBlock(kBlockEntries * sizeof(std::uint64_t));
    indexCapacity_ += kBlockEntries;
  }
  ++blockCount_;
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
  addIndex(lineStart_ | kWide);
  lineStart_ = textSize_;
}

void LineArena::takeOpenLine(std::string& out) {
  out.append(reinterpret_cast<const char*>(text_) + lineStart_, textSize_ - lineStart_);
  textSize_ = lineStart_;
}
