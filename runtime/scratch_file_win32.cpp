#include "runtime/scratch_file.h"
#include "runtime/wide_win32.h"

#include <random>
#include <windows.h>

namespace {

std::wstring TemporaryFolder() {
  wchar_t folder[MAX_PATH + 2] = {};
  const DWORD length = GetTempPathW(MAX_PATH + 1, folder);
  return length > 0 && length <= MAX_PATH + 1 ? std::wstring(folder, length) : std::wstring(L".\\");
}

std::wstring RandomName() {
  static std::mt19937_64 generator{std::random_device{}() ^ static_cast<std::uint64_t>(GetCurrentProcessId())};
  static constexpr wchar_t kLetters[] = L"abcdefghijklmnopqrstuvwxyz0123456789";
  std::wstring name = L".quorvel-scratch-";
  for (int i = 0; i < 10; ++i) name.push_back(kLetters[generator() % 36]);
  return name + L".tmp";
}

}  // namespace

OsHandle OsCreateScratchFile(TextView folder) {
  std::wstring where = folder.empty() ? TemporaryFolder() : TextToWide(folder);
  if (where.empty() || (where.back() != L'\\' && where.back() != L'/')) where.push_back(L'\\');
  for (int attempt = 0; attempt < 100; ++attempt) {
    // Deleted by the system when the handle closes, however the process ends.
    HANDLE handle = CreateFileW((where + RandomName()).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (handle != INVALID_HANDLE_VALUE) return reinterpret_cast<OsHandle>(handle);
    if (GetLastError() != ERROR_FILE_EXISTS) {
      OsSetLastError(GetLastError());
      return kInvalidHandle;
    }
  }
  OsSetLastError(ERROR_FILE_EXISTS);
  return kInvalidHandle;
}
