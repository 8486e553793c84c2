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

PathKind PathKindOf(TextView path) { return ExaminePath(path).kind; }

PathFacts ExaminePath(TextView path) {
  PathFacts facts;
  if (path.empty()) return facts;
  const std::wstring name = TextToWide(path);
  // Opening the path follows links, as the POSIX stat does.
  HANDLE file = CreateFileW(name.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) facts.error = error;
    return facts;
  }
  BY_HANDLE_FILE_INFORMATION info;
  if (GetFileInformationByHandle(file, &info)) {
    facts.kind = KindOfAttributes(info.dwFileAttributes);
    if (facts.kind == PathKind::File && GetFileType(file) != FILE_TYPE_DISK) facts.kind = PathKind::Other;
    facts.identity.device = info.dwVolumeSerialNumber;
    facts.identity.file = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    facts.identity.known = true;
  } else {
    facts.error = GetLastError();
  }
  CloseHandle(file);
  return facts;
}

bool IsSymbolicLink(TextView path) {
  if (path.empty()) return false;
  const DWORD attributes = GetFileAttributesW(TextToWide(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

bool ListFolder(TextView folder, std::vector<FolderEntry>& entries) {
  entries.clear();
  std::wstring pattern = TextToWide(folder);
  if (!pattern.empty() && pattern.back() != L'\\' && pattern.back() != L'/') pattern.push_back(L'\\');
  const std::wstring prefix = pattern;
  pattern.push_back(L'*');
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileExW(pattern.c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr, 0);
  if (search == INVALID_HANDLE_VALUE) {
    OsSetLastError(GetLastError());
    return false;
  }
  do {
    const std::wstring_view name(found.cFileName);
    if (name == L"." || name == L"..") continue;
    FolderEntry entry;
    entry.name = TextFromWide(name);
    entry.kind = KindOfAttributes(found.dwFileAttributes);
    entry.link = (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    if (entry.link) {
      const PathFacts facts = ExaminePath(TextFromWide(prefix) + entry.name);
      entry.kind = facts.kind;
      entry.error = facts.error;
      entry.identity = facts.identity;
    }
    entries.push_back(std::move(entry));
  } while (FindNextFileW(search, &found));
  const DWORD error = GetLastError();
  FindClose(search);
  if (error != ERROR_NO_MORE_FILES) {
    entries.clear();
    OsSetLastError(error);
    return false;
  }
  return true;
}

Text UserSettingsFolder() {
  DWORD need = GetEnvironmentVariableW(L"APPDATA", nullptr, 0);
  if (need == 0) return {};
  std::wstring value(need, L'\0');
  DWORD length = GetEnvironmentVariableW(L"APPDATA", value.data(), need);
  if (length == 0 || length >= need) return {};
  return TextFromWide({value.data(), length});
}
