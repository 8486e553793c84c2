#include "runtime/os_file.h"
#include "runtime/wide_win32.h"

#include <windows.h>

namespace {

constexpr std::int64_t kMaxTransfer = 0x40000000;  // 1 GiB per call

HANDLE ToHandle(OsHandle handle) { return reinterpret_cast<HANDLE>(handle); }

OsHandle FromHandle(HANDLE handle) {
  return handle == INVALID_HANDLE_VALUE || handle == nullptr ? 0 : reinterpret_cast<OsHandle>(handle);
}

}  // namespace

OsHandle OsOpenExisting(TextView path) {
  if (path.empty()) return 0;
  return FromHandle(CreateFileW(TextToWide(path).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
}

OsHandle OsCreateAlways(TextView path) {
  if (path.empty()) return 0;
  return FromHandle(CreateFileW(TextToWide(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
}

OsHandle OsTruncateExisting(TextView path) {
  if (path.empty()) return 0;
  return FromHandle(CreateFileW(TextToWide(path).c_str(), GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING, 0, nullptr));
}

OsHandle OsDuplicateStandardOutput() {
  HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  HANDLE copy = nullptr;
  if (out == nullptr || out == INVALID_HANDLE_VALUE ||
      !DuplicateHandle(GetCurrentProcess(), out, GetCurrentProcess(), &copy, 0, FALSE, DUPLICATE_SAME_ACCESS))
    return 0;
  return FromHandle(copy);
}

std::int64_t OsRead(OsHandle handle, void* destination, std::int64_t count) {
  auto* out = static_cast<char*>(destination);
  std::int64_t done = 0;
  while (done < count) {
    DWORD chunk = static_cast<DWORD>(count - done > kMaxTransfer ? kMaxTransfer : count - done);
    DWORD got = 0;
    if (!ReadFile(ToHandle(handle), out + done, chunk, &got, nullptr) || got == 0) break;
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
    if (!WriteFile(ToHandle(handle), in + done, chunk, &put, nullptr) || put == 0) break;
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

bool OsClose(OsHandle handle) { return CloseHandle(ToHandle(handle)) != 0; }

bool OsRemoveFile(TextView path) { return !path.empty() && DeleteFileW(TextToWide(path).c_str()) != 0; }
