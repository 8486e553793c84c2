#include "runtime/dates.h"
#include "runtime/paths.h"
#include "runtime/utf8.h"

#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

char16_t FolderSeparator() { return u'/'; }

Text CurrentDirectory() {
  std::vector<char> buffer(4096);
  while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
    if (errno != ERANGE) return {};
    buffer.resize(buffer.size() * 2);
  }
  Text folder = TextFromNativePath(buffer.data());
  if (folder.empty()) return {};
  if (folder.back() != u'/') folder.push_back(u'/');
  return folder;
}

Text AbsolutePath(TextView path) {
  Text full = (!path.empty() && path[0] == u'/') ? Text(path) : CurrentDirectory() + Text(path);
  // Resolve "." and ".." by name, as the requester shows paths.
  std::vector<Text> parts;
  std::size_t i = 0;
  while (i <= full.size()) {
    std::size_t j = full.find(u'/', i);
    if (j == Text::npos) j = full.size();
    Text part = full.substr(i, j - i);
    if (part == u"..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != u".") {
      parts.push_back(std::move(part));
    }
    i = j + 1;
  }
  Text result;
  for (const Text& part : parts) result += u"/" + part;
  return result.empty() ? Text(u"/") : result;
}

Timestamp FileTimestamp(TextView path, TimestampKind kind) {
  if (path.empty()) return 0;
  Text trimmed(path);
  while (!trimmed.empty() && (trimmed.back() == u'/' || trimmed.back() == u'\\')) trimmed.pop_back();
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
