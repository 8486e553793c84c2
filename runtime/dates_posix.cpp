#include "runtime/dates.h"
#include "runtime/utf8.h"

#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>

Timestamp FileTimestamp(TextView path, TimestampKind kind) {
  if (path.empty()) return 0;
  Text trimmed(path);
  while (!trimmed.empty() && trimmed.back() == u'/') trimmed.pop_back();
  if (trimmed.empty()) return 0;
  std::string name = NativePathFromText(trimmed);
  struct statx info;
  if (::statx(AT_FDCWD, name.c_str(), 0, STATX_BASIC_STATS | STATX_BTIME, &info) != 0) return 0;
  std::int64_t seconds;
  switch (kind) {
    case TimestampKind::Accessed: seconds = info.stx_atime.tv_sec; break;
    case TimestampKind::Modified: seconds = info.stx_mtime.tv_sec; break;
    default: seconds = (info.stx_mask & STATX_BTIME) ? info.stx_btime.tv_sec : info.stx_ctime.tv_sec; break;
  }
  // Local wall-clock time of that moment, counted as if it were UTC.
  std::time_t moment = static_cast<std::time_t>(seconds);
  struct tm local;
  if (::localtime_r(&moment, &local) == nullptr) return 0;
  return static_cast<Timestamp>(::timegm(&local));
}
