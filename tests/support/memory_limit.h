// Makes this process's memory run out `bytes` above what it uses now, while
// the object lives, as on a machine without more to give. supported() is
// false where the system cannot do it or a sanitizer reserves the address
// space itself.
#pragma once

#include <cstdint>

class MemoryLimit {
 public:
  explicit MemoryLimit(std::int64_t bytes);
  ~MemoryLimit();
  MemoryLimit(const MemoryLimit&) = delete;
  MemoryLimit& operator=(const MemoryLimit&) = delete;
  static bool supported();

 private:
  std::int64_t previous_ = -1;
};
