#include "runtime/dates.h"
#include "runtime/paths.h"
#include "runtime/wide_win32.h"

#include <windows.h>

#include <vector>

char16_t FolderSeparator() { return u'\\'; }

Text CurrentDirectory() {
  std::vector<wchar_t> buffer(MAX_PATH);
  DWORD length = GetCurrentDirectoryW(static_cast<DWORD>(buffer.size()), buffer.data());
  if (length >= buffer.size()) {  // a longer directory: ask again with room for it
    buffer.resize(length + 1);
    length = GetCurrentDirectoryW(static_cast<DWORD>(buffer.size()), buffer.data());
    if (length >= buffer.size()) return {};
  }
  if (length == 0) return {};
  Text folder = TextFromWide({buffer.data(), length});
  if (folder.back() != u'\\') folder.push_back(u'\\');
  return folder;
}

Text AbsolutePath(TextView path) {
  if (path.empty()) return {};
  const std::wstring name = TextToWide(path);
  DWORD need = GetFullPathNameW(name.c_str(), 0, nullptr, nullptr);
  if (need == 0) return Text(path);
  std::vector<wchar_t> buffer(need + 1);
  DWORD length = GetFullPathNameW(name.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(), nullptr);
  if (length == 0 || length >= buffer.size()) return Text(path);
  return TextFromWide({buffer.data(), length});
}

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
