#include "runtime/paths.h"
#include "runtime/paths_system.h"
#include "runtime/wide_win32.h"

#include <windows.h>

#include <vector>

char16_t FolderSeparator() { return u'\\'; }

Text PathPart(TextView path) {
  std::size_t start = (!path.empty() && path[0] == u'"') ? 1 : 0;
  std::size_t end = start;  // just after the last separator
  for (std::size_t i = start; i < path.size() && path[i] != u'|'; ++i)
    if (IsSeparator(path[i])) end = i + 1;
  return Text(path.substr(start, end - start));
}

Text FileNamePart(TextView path) {
  std::size_t start = 0;
  bool separator = false;
  for (std::size_t i = 0; i < path.size(); ++i)
    if (IsSeparator(path[i])) { start = i + 1; separator = true; }
  if (!separator && !path.empty() && path[0] == u'"') start = 1;
  std::size_t end = path.find(u'"', start);
  if (end == TextView::npos) end = path.size();
  return Text(path.substr(start, end - start));
}

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

Text SystemAbsolutePath(TextView path) {
  const std::wstring name = TextToWide(path);
  DWORD need = GetFullPathNameW(name.c_str(), 0, nullptr, nullptr);
  if (need == 0) return Text(path);
  std::vector<wchar_t> buffer(need + 1);
  DWORD length = GetFullPathNameW(name.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(), nullptr);
  if (length == 0 || length >= buffer.size()) return Text(path);
  return TextFromWide({buffer.data(), length});
}
