#include "memory_limit.h"

bool MemoryLimit::Supported() { return false; }
MemoryLimit::MemoryLimit(std::int64_t) {}
MemoryLimit::~MemoryLimit() = default;
