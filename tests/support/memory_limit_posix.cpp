#include "memory_limit.h"

#include <cstdio>
#include <sys/resource.h>
#include <unistd.h>

namespace {

// The address space the process takes now, in bytes.
std::int64_t AddressSpace() {
  long pages = 0;
  if (std::FILE* statm = std::fopen("/proc/self/statm", "r")) {
    if (std::fscanf(statm, "%ld", &pages) != 1) pages = 0;
    std::fclose(statm);
  }
  return static_cast<std::int64_t>(pages) * ::sysconf(_SC_PAGESIZE);
}

}  // namespace

bool MemoryLimit::supported() {
#if defined(__SANITIZE_ADDRESS__)
  return false;
#else
  return AddressSpace() > 0;
#endif
}

MemoryLimit::MemoryLimit(std::int64_t bytes) {
  struct rlimit limit;
  getrlimit(RLIMIT_AS, &limit);
  previous_ = static_cast<std::int64_t>(limit.rlim_cur);
  limit.rlim_cur = static_cast<rlim_t>(AddressSpace() + bytes);
  setrlimit(RLIMIT_AS, &limit);
}

MemoryLimit::~MemoryLimit() {
  struct rlimit limit;
  getrlimit(RLIMIT_AS, &limit);
  limit.rlim_cur = static_cast<rlim_t>(previous_);
  setrlimit(RLIMIT_AS, &limit);
}
