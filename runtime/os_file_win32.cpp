#include "runtime/os_file.h"
#include "runtime/wide_win32.h"

#include <windows.h>

#include <atomic>
#include <random>
#include <string>

namespace {

constexpr std::int64_t kMaxTransfer = 0x40000000;  // 1 GiB per call

thread_local std::int64_t lastError = 0;

bool Fail(std::int64_t code) {
  lastError = code;
  return false;
}
OsHandle FailHandle(std::int64_t code) {
  lastError = code;
  return kInvalidHandle;
}

HANDLE ToHandle(OsHandle handle) { return reinterpret_cast<HANDLE>(handle); }

OsHandle FromHandle(HANDLE handle) {
  if (handle == INVALID_HANDLE_VALUE || handle == nullptr) return FailHandle(GetLastError());
  return reinterpret_cast<OsHandle>(handle);
}

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

// The folder part of a name, with its final separator; empty for a bare name.
std::wstring FolderOf(const std::wstring& name) {
  const std::size_t at = name.find_last_of(L"\\/");
  return at == std::wstring::npos ? std::wstring() : name.substr(0, at + 1);
}

bool IsShareRefusal(DWORD error) { return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION; }

FileIdentity IdentityOf(HANDLE handle) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(handle, &info)) return {};
  FileIdentity id;
  id.device = info.dwVolumeSerialNumber;
  id.file = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  id.known = true;
  return id;
}

// Opens a path only to ask about it: no access, every kind of sharing.
HANDLE OpenToAsk(const std::wstring& name) {
  return CreateFileW(name.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                     OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

std::wstring RandomName() {
  static std::mt19937_64 generator{std::random_device{}() ^ GetCurrentProcessId()};
  static constexpr wchar_t kLetters[] = L"abcdefghijklmnopqrstuvwxyz0123456789";
  std::wstring name = L".quorvel-";
  for (int i = 0; i < 10; ++i) name.push_back(kLetters[generator() % 36]);
  return name + L".tmp";
}

// Unfinished files removed when the console is interrupted or closed.
struct InterruptSlot {
  std::atomic<bool> used{false};
  wchar_t path[1024] = {};
};
InterruptSlot interruptSlots[8];

BOOL WINAPI RemoveUnfinishedFiles(DWORD) {
  for (InterruptSlot& slot : interruptSlots)
    if (slot.used.load()) DeleteFileW(slot.path);
  return FALSE;  // the next handler (in the end the system's) ends the process
}

}  // namespace

std::int64_t OsLastError() { return lastError; }
void OsSetLastError(std::int64_t code) { lastError = code; }

Text OsErrorText(std::int64_t code) {
  if (!OwnErrorText(code).empty()) return Text(OwnErrorText(code));
  wchar_t* text = nullptr;
  const DWORD length =
      FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                     nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  Text result;
  if (length > 0 && text) result.assign(text, text + length);
  LocalFree(text);
  while (!result.empty() && (result.back() == u'\r' || result.back() == u'\n' || result.back() == u' ' ||
                             result.back() == u'.'))
    result.pop_back();
  if (result.empty()) result = u"error " + IntegerToText(code);
  return result;
}

namespace {

// A console, a pipe or a device ("NUL", "COM1", "\\.\pipe\x") is no file
// to read to its end: closed again before a byte is read.
OsHandle OnlyDiskFile(HANDLE handle) {
  if (handle == INVALID_HANDLE_VALUE) return FailHandle(GetLastError());
  if (GetFileType(handle) != FILE_TYPE_DISK) {
    CloseHandle(handle);
    return FailHandle(kErrorNotRegularFile);
  }
  return reinterpret_cast<OsHandle>(handle);
}

}  // namespace

OsHandle OsOpenExisting(TextView path) {
  if (path.empty()) return FailHandle(ERROR_FILE_NOT_FOUND);
  const OsHandle handle = OnlyDiskFile(CreateFileW(TextToWide(path).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                                   FILE_ATTRIBUTE_NORMAL, nullptr));
  if (handle == kInvalidHandle && IsShareRefusal(static_cast<DWORD>(lastError))) lastError = kErrorHeldByAnotherProgram;
  return handle;
}

OsHandle OsOpenShared(TextView path) {
  if (path.empty()) return FailHandle(ERROR_FILE_NOT_FOUND);
  // Sharing deletion too, so that a file being read can still be replaced.
  return OnlyDiskFile(CreateFileW(TextToWide(path).c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
}

OsHandle OsCreateAlways(TextView path) {
  if (path.empty()) return FailHandle(ERROR_PATH_NOT_FOUND);
  return FromHandle(CreateFileW(TextToWide(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
}

OsHandle OsTruncateExisting(TextView path) {
  if (path.empty()) return FailHandle(ERROR_PATH_NOT_FOUND);
  return FromHandle(CreateFileW(TextToWide(path).c_str(), GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING, 0, nullptr));
}

OsHandle OsDuplicateStandardOutput() {
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  HANDLE copy = nullptr;
  if (out == nullptr || out == INVALID_HANDLE_VALUE) return FailHandle(ERROR_INVALID_HANDLE);
  if (!DuplicateHandle(GetCurrentProcess(), out, GetCurrentProcess(), &copy, 0, FALSE, DUPLICATE_SAME_ACCESS))
    return FailHandle(GetLastError());
  return FromHandle(copy);
}

std::int64_t OsRead(OsHandle handle, void* destination, std::int64_t count) {
  auto* out = static_cast<char*>(destination);
  std::int64_t done = 0;
  while (done < count) {
    DWORD chunk = static_cast<DWORD>(count - done > kMaxTransfer ? kMaxTransfer : count - done);
    DWORD got = 0;
    if (!ReadFile(ToHandle(handle), out + done, chunk, &got, nullptr)) {
      Fail(GetLastError());
      break;
    }
    if (got == 0) break;
    done += got;
  }
  return done;
}

std::int64_t OsWrite(OsHandle handle, const void* source, std::int64_t count) {
  const auto* in = static_cast<const char*>(source);
  std::int64_t done = 0;
  while (done < count) {
    DWORD chunk = static_cast<DWORD>(count - done > kMaxTransfer ? kMaxTransfer : count - done);
    DWORD put = 0;
    if (!WriteFile(ToHandle(handle), in + done, chunk, &put, nullptr)) {
      Fail(GetLastError());
      break;
    }
    if (put == 0) {
      Fail(ERROR_DISK_FULL);
      break;
    }
    done += put;
  }
  return done;
}

std::int64_t OsSeek(OsHandle handle, std::int64_t distance, SeekFrom from) {
  LONG high = static_cast<LONG>(distance >> 32);
  DWORD low = SetFilePointer(ToHandle(handle), static_cast<LONG>(distance & 0xFFFFFFFF), &high,
                             from == SeekFrom::Begin ? FILE_BEGIN : FILE_CURRENT);
  if (low == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR) return -1;
  return (static_cast<std::int64_t>(high) << 32) | low;
}

std::int64_t OsFileSize(OsHandle handle) {
  LARGE_INTEGER size;
  if (!GetFileSizeEx(ToHandle(handle), &size)) return -1;
  return size.QuadPart;
}

bool OsClose(OsHandle handle) { return CloseHandle(ToHandle(handle)) != 0 || Fail(GetLastError()); }

bool OsRemoveFile(TextView path) {
  if (path.empty()) return Fail(ERROR_FILE_NOT_FOUND);
  return DeleteFileW(TextToWide(path).c_str()) != 0 || Fail(GetLastError());
}

FileIdentity OsPathIdentity(TextView path) {
  if (path.empty()) return {};
  HANDLE handle = OpenToAsk(TextToWide(path));
  if (handle == INVALID_HANDLE_VALUE) return {};
  const FileIdentity id = IdentityOf(handle);
  CloseHandle(handle);
  return id;
}

FileIdentity OsHandleIdentity(OsHandle handle) { return handle == kInvalidHandle ? FileIdentity{} : IdentityOf(ToHandle(handle)); }

bool OsHandleIsRegularFile(OsHandle handle) { return handle != kInvalidHandle && GetFileType(ToHandle(handle)) == FILE_TYPE_DISK; }

bool OsPlanOutput(TextView path, OutputPlan& plan) {
  plan = OutputPlan{};
  if (path.empty()) return Fail(ERROR_PATH_NOT_FOUND);
  const std::wstring name = TextToWide(path);
  plan.target = Text(path);
  HANDLE handle = OpenToAsk(name);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    if (error != ERROR_FILE_NOT_FOUND) return Fail(IsShareRefusal(error) ? kErrorHeldByAnotherProgram : error);
    if (IsSeparator(name.back())) return Fail(kErrorNotAFolder);
    // A new file: its folder must be there and its name fit a file system
    // (255 units on every one Windows writes reports to).
    const std::wstring folder = FolderOf(name);
    if (name.size() - folder.size() > 255) return Fail(ERROR_FILENAME_EXCED_RANGE);
    if (!folder.empty()) {
      const DWORD attributes = GetFileAttributesW(folder.c_str());
      if (attributes == INVALID_FILE_ATTRIBUTES) return Fail(GetLastError());
      if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) return Fail(ERROR_DIRECTORY);
    }
    plan.kind = OutputKind::Replace;
    return true;
  }
  const DWORD type = GetFileType(handle);
  plan.existing = IdentityOf(handle);
  BY_HANDLE_FILE_INFORMATION info = {};
  const bool disk = type == FILE_TYPE_DISK && GetFileInformationByHandle(handle, &info);
  // A link at the name: the file it leads to is the one replaced.
  std::wstring resolved;
  if (disk && (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    const DWORD need = GetFinalPathNameByHandleW(handle, nullptr, 0, FILE_NAME_NORMALIZED);
    if (need > 0) {
      resolved.resize(need);
      const DWORD length = GetFinalPathNameByHandleW(handle, resolved.data(), need, FILE_NAME_NORMALIZED);
      resolved.resize(length < need ? length : 0);
    }
  }
  CloseHandle(handle);

  if (disk && (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) return Fail(ERROR_DIRECTORY);
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  if (out != nullptr && out != INVALID_HANDLE_VALUE && GetFileType(out) == FILE_TYPE_DISK &&
      IdentityOf(out) == plan.existing) {
    plan.kind = OutputKind::StandardOutput;
    return true;
  }
  if (!disk) {
    plan.kind = OutputKind::Direct;
    return true;
  }
  if (!resolved.empty()) plan.target = TextFromWide(resolved);
  // The file must be one we may replace: not read-only, not held by another
  // program that refuses writers (readers that share do not stop us).
  HANDLE probe = CreateFileW(TextToWide(plan.target).c_str(), GENERIC_WRITE,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr);
  if (probe == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    return Fail(IsShareRefusal(error) ? kErrorHeldByAnotherProgram : error);
  }
  CloseHandle(probe);
  plan.kind = OutputKind::Replace;
  return true;
}

OsHandle OsOpenDirectOutput(TextView path) {
  if (path.empty()) return FailHandle(ERROR_PATH_NOT_FOUND);
  return FromHandle(CreateFileW(TextToWide(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr));
}

OsHandle OsCreateTemporaryBeside(TextView target, Text& temporary) {
  const std::wstring folder = FolderOf(TextToWide(target));
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::wstring candidate = folder + RandomName();
    // Registered before it exists: the console's interrupt comes on a thread of its own.
    const Text name = TextFromWide(candidate);
    OsRemoveOnInterrupt(name);
    HANDLE handle = CreateFileW(candidate.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                                nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      const DWORD error = GetLastError();
      OsForgetOnInterrupt(name);
      if (error == ERROR_FILE_EXISTS) continue;
      return FailHandle(error);
    }
    temporary = name;
    return reinterpret_cast<OsHandle>(handle);
  }
  return FailHandle(ERROR_FILE_EXISTS);
}

bool OsSyncFile(OsHandle handle) { return FlushFileBuffers(ToHandle(handle)) != 0 || Fail(GetLastError()); }

bool OsReplaceFile(TextView temporary, TextView target) {
  if (MoveFileExW(TextToWide(temporary).c_str(), TextToWide(target).c_str(),
                  MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    return true;
  const DWORD error = GetLastError();
  return Fail(IsShareRefusal(error) ? kErrorHeldByAnotherProgram : error);
}

void OsRemoveOnInterrupt(TextView path) {
  static const bool installed = SetConsoleCtrlHandler(RemoveUnfinishedFiles, TRUE) != 0;
  (void)installed;
  if (path.size() >= 1024) return;
  for (InterruptSlot& slot : interruptSlots) {
    if (slot.used.load()) continue;
    std::copy(path.begin(), path.end(), slot.path);
    slot.path[path.size()] = 0;
    slot.used.store(true);
    return;
  }
}

void OsForgetOnInterrupt(TextView path) {
  for (InterruptSlot& slot : interruptSlots)
    if (slot.used.load() && TextView(reinterpret_cast<const char16_t*>(slot.path)) == path) {
      slot.used.store(false);
      return;
    }
}
