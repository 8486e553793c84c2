#include "runtime/file_tree.h"
#include "runtime/wide_win32.h"

#include <windows.h>

namespace {

PathKind KindOfAttributes(DWORD attributes) {
  if (attributes == INVALID_FILE_ATTRIBUTES) return PathKind::Missing;
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return PathKind::Folder;
  if (attributes & FILE_ATTRIBUTE_DEVICE) return PathKind::Other;
  return PathKind::File;
}

}  // namespace

PathKind PathKindOf(TextView path) {
  if (path.empty()) return PathKind::Missing;
  // Opening the path follows links, as the POSIX stat does.
  HANDLE file = CreateFileW(TextToWide(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return PathKind::Missing;
  BY_HANDLE_FILE_INFORMATION info;
  PathKind kind = PathKind::Missing;
  if (GetFileInformationByHandle(file, &info)) {
    kind = KindOfAttributes(info.dwFileAttributes);
    if (kind == PathKind::File && GetFileType(file) != FILE_TYPE_DISK) kind = PathKind::Other;
  }
  CloseHandle(file);
  return kind;
}

bool ListFolder(TextView folder, std::vector<FolderEntry>& entries) {
  entries.clear();
  std::wstring pattern = TextToWide(folder);
  if (!pattern.empty() && pattern.back() != L'\\' && pattern.back() != L'/') pattern.push_back(L'\\');
  const std::wstring prefix = pattern;
  pattern.push_back(L'*');
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr, 0);
  if (search == INVALID_HANDLE_VALUE) return false;
  do {
    const std::wstring_view name(found.cFileName);
    if (name == L"." || name == L"..") continue;
    FolderEntry entry{TextFromWide(name), KindOfAttributes(found.dwFileAttributes), false};
    entry.link = (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    if (entry.link) entry.kind = PathKindOf(TextFromWide(prefix) + entry.name);
    entries.push_back(std::move(entry));
  } while (FindNextFileW(search, &found));
  const bool complete = GetLastError() == ERROR_NO_MORE_FILES;
  FindClose(search);
  if (!complete) entries.clear();
  return complete;
}

Text UserSettingsFolder() {
  DWORD need = GetEnvironmentVariableW(L"APPDATA", nullptr, 0);
  if (need == 0) return {};
  std::wstring value(need, L'\0');
  DWORD length = GetEnvironmentVariableW(L"APPDATA", value.data(), need);
  if (length == 0 || length >= need) return {};
  return TextFromWide({value.data(), length});
}
