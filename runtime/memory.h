// Large blocks of memory for tables that grow to hundreds of megabytes. On
// systems that offer huge pages, blocks of 2 MiB and more are advised to use
// them (a few hundred page faults instead of a hundred thousand). Every
// block, however made, is given back with FreeLarge. Failures return nullptr
// and leave a block that was to grow as it was.
#pragma once

#include <cstddef>
#include <cstdint>

// Grows (or makes, for nullptr) a block; the C library may move it without
// copying where the system allows.
void* ReallocateLarge(void* block, std::size_t bytes);
// A new block that starts on a huge-page boundary where the system has them.
void* AllocateAligned(std::size_t bytes);
void FreeLarge(void* block);

// The physical memory the system can give now without taking it from other
// programs (Linux MemAvailable, Windows' available physical memory), in
// bytes; -1 when unknown.
std::int64_t OsAvailableMemory();

// While a MemoryBudget lives, the large tables this thread grows (line
// tables, record lists) may take at most `bytes` together: growing beyond
// throws std::bad_alloc, as when the system has nothing more to give. This
// turns a project too big for the machine into "not enough memory" before
// the system would end the program for it. Without a budget (or with a
// negative one) only the system limits them. Budgets do not nest.
class MemoryBudget {
 public:
  explicit MemoryBudget(std::int64_t bytes);
  ~MemoryBudget();
  MemoryBudget(const MemoryBudget&) = delete;
  MemoryBudget& operator=(const MemoryBudget&) = delete;
};
// What the tables report as they grow and shrink.
void ChargeMemory(std::size_t bytes);  // throws std::bad_alloc beyond the budget
void RefundMemory(std::size_t bytes);
