#include "runtime/memory.h"

#include <new>

namespace {

struct Budget {
  bool active = false;
  std::size_t limit = 0;
  std::size_t used = 0;
};
thread_local Budget budget;

}  // namespace

MemoryBudget::MemoryBudget(std::int64_t bytes) {
  budget.active = bytes >= 0;
  budget.limit = bytes >= 0 ? static_cast<std::size_t>(bytes) : 0;
  budget.used = 0;
}

MemoryBudget::~MemoryBudget() { budget = Budget{}; }

void ChargeMemory(std::size_t bytes) {
  if (!budget.active) return;
  if (bytes > budget.limit - budget.used) throw std::bad_alloc();
  budget.used += bytes;
}

void RefundMemory(std::size_t bytes) {
  if (!budget.active) return;
  budget.used = bytes > budget.used ? 0 : budget.used - bytes;
}
