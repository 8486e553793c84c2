#include "file_size_limit.h"

#include <csignal>
#include <sys/resource.h>

bool FileSizeLimit::supported() { return true; }

FileSizeLimit::FileSizeLimit(std::int64_t bytes) {
  std::signal(SIGXFSZ, SIG_IGN);  // a write past the limit then fails with EFBIG
  struct rlimit limit;
  getrlimit(RLIMIT_FSIZE, &limit);
  previous_ = static_cast<std::int64_t>(limit.rlim_cur);
  limit.rlim_cur = static_cast<rlim_t>(bytes);
  setrlimit(RLIMIT_FSIZE, &limit);
}

FileSizeLimit::~FileSizeLimit() {
  struct rlimit limit;
  getrlimit(RLIMIT_FSIZE, &limit);
  limit.rlim_cur = static_cast<rlim_t>(previous_);
  setrlimit(RLIMIT_FSIZE, &limit);
}
