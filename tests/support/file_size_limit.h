// Makes writes beyond `bytes` fail for this process while the object lives,
// as on a full disk. supported() is false where the system cannot do it.
#pragma once

#include <cstdint>

class FileSizeLimit {
 public:
  explicit FileSizeLimit(std::int64_t bytes);
  ~FileSizeLimit();
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;
  static bool supported();

 private:
  std::int64_t previous_ = -1;
};
