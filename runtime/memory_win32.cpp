#include "runtime/memory.h"

#include <windows.h>

#include <cstdlib>

// Windows gives large pages only to privileged programs: plain blocks.
void* ReallocateLarge(void* block, std::size_t bytes) { return std::realloc(block, bytes); }
void* AllocateAligned(std::size_t bytes) { return std::malloc(bytes); }
void FreeLarge(void* block) { std::free(block); }

std::int64_t OsAvailableMemory() {
  MEMORYSTATUSEX status = {};
  status.dwLength = sizeof status;
  if (!GlobalMemoryStatusEx(&status)) return -1;
  return static_cast<std::int64_t>(status.ullAvailPhys);
}
