#include "runtime/memory.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sys/mman.h>

namespace {

constexpr std::size_t kHugePage = std::size_t{2} << 20;

// The whole mapping of the block is advised alike, so that the C library can
// still grow it in place.
void AdviseHuge(void* block, std::size_t bytes) {
#if defined(MADV_HUGEPAGE)
  if (bytes < kHugePage) return;
  const auto begin = reinterpret_cast<std::uintptr_t>(block) & ~std::uintptr_t{4095};
  const auto end = (reinterpret_cast<std::uintptr_t>(block) + bytes + 4095) & ~std::uintptr_t{4095};
  ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
#else
  (void)block;
  (void)bytes;
#endif
}

}  // namespace

void* ReallocateLarge(void* block, std::size_t bytes) {
  void* grown = std::realloc(block, bytes);
  if (grown) AdviseHuge(grown, bytes);
  return grown;
}

void* AllocateAligned(std::size_t bytes) {
  void* block = nullptr;
  if (::posix_memalign(&block, bytes >= kHugePage ? kHugePage : alignof(std::max_align_t), bytes) != 0) return nullptr;
  AdviseHuge(block, bytes);
  return block;
}

void FreeLarge(void* block) { std::free(block); }

std::int64_t OsAvailableMemory() {
  std::FILE* info = std::fopen("/proc/meminfo", "r");
  if (!info) return -1;
  char line[256];
  long long kib = -1;
  while (std::fgets(line, sizeof line, info))
    if (std::sscanf(line, "MemAvailable: %lld kB", &kib) == 1) break;
  std::fclose(info);
  return kib < 0 ? -1 : static_cast<std::int64_t>(kib) * 1024;
}
