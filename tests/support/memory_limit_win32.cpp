#include "memory_limit.h"

bool MemoryLimit::supported() { return false; }
MemoryLimit::MemoryLimit(std::int64_t) {}
MemoryLimit::~MemoryLimit() = default;
