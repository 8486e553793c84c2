#include "runtime/dates.h"
#include "runtime/wide_win32.h"

#include <windows.h>

Timestamp FileTimestamp(TextView path, TimestampKind kind) {
  if (path.empty()) return 0;
  std::wstring name = TextToWide(path);
  while (!name.empty() && (name.back() == L'\\' || name.back() == L'/')) name.pop_back();
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW(name.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return 0;
  FILETIME chosen = kind == TimestampKind::Modified   ? found.ftLastWriteTime
                    : kind == TimestampKind::Accessed ? found.ftLastAccessTime
                                                      : found.ftCreationTime;
  Timestamp result = 0;
  SYSTEMTIME utc, local;
  FILETIME localTime;
  if (FileTimeToSystemTime(&chosen, &utc) && SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local) &&
      SystemTimeToFileTime(&local, &localTime)) {
    const std::int64_t ticks =
        (static_cast<std::int64_t>(localTime.dwHighDateTime) << 32) | localTime.dwLowDateTime;
    result = ticks / 10000000 - 11644473600LL;
  }
  FindClose(search);
  return result;
}
