#include "runtime/file_tree.h"
#include "runtime/utf8.h"

#include <cerrno>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string NativeName(TextView path) { return NativePathFromText(path); }

PathKind KindOf(const struct stat& info) {
  if (S_ISREG(info.st_mode)) return PathKind::File;
  if (S_ISDIR(info.st_mode)) return PathKind::Folder;
  return PathKind::Other;
}

FileIdentity IdentityOf(const struct stat& info) {
  FileIdentity id;
  id.device = static_cast<std::uint64_t>(info.st_dev);
  id.file = static_cast<std::uint64_t>(info.st_ino);
  id.known = true;
  return id;
}

}  // namespace

PathKind PathKindOf(TextView path) { return ExaminePath(path).kind; }

PathFacts ExaminePath(TextView path) {
  PathFacts facts;
  if (path.empty()) return facts;
  const std::string name = NativeName(path);
  struct stat info;
  if (::stat(name.c_str(), &info) == 0) {
    facts.kind = KindOf(info);
    facts.identity = IdentityOf(info);
  } else if (errno != ENOENT) {
    facts.error = errno;
  }
  return facts;
}

bool IsSymbolicLink(TextView path) {
  struct stat info;
  return !path.empty() && ::lstat(NativeName(path).c_str(), &info) == 0 && S_ISLNK(info.st_mode);
}

bool ListFolder(TextView folder, std::vector<FolderEntry>& entries) {
  entries.clear();
  const std::string name = NativeName(folder);
  DIR* dir = ::opendir(name.c_str());
  if (dir == nullptr) {
    OsSetLastError(errno);
    return false;
  }
  const int fd = ::dirfd(dir);
  errno = 0;
  while (struct dirent* entry = ::readdir(dir)) {
    const std::string_view entryName(entry->d_name);
    if (entryName == "." || entryName == "..") continue;
    FolderEntry out;
    out.name = TextFromNativePath(entryName);
    struct stat info;
    if (::fstatat(fd, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0) {
      // A folder that may be listed but not searched: the names are there,
      // nothing more; the listing may still know a folder for one.
      out.error = errno;
      if (entry->d_type == DT_DIR) out.kind = PathKind::Folder;
    } else {
      out.link = S_ISLNK(info.st_mode);
      if (out.link && ::fstatat(fd, entry->d_name, &info, 0) != 0) {
        if (errno != ENOENT) out.error = errno;  // ENOENT: the link leads nowhere
      } else {
        out.kind = KindOf(info);
        out.identity = IdentityOf(info);
      }
    }
    entries.push_back(std::move(out));
    errno = 0;
  }
  const int error = errno;
  ::closedir(dir);
  if (error != 0) {
    entries.clear();
    OsSetLastError(error);
    return false;
  }
  return true;
}

Text UserSettingsFolder() {
#if defined(__APPLE__)
  const char* home = std::getenv("HOME");
  if (home == nullptr || *home == 0) return {};
  return TextFromNativePath(home) + u"/Library/Application Support";
#else
  if (const char* config = std::getenv("XDG_CONFIG_HOME"); config != nullptr && config[0] == '/')
    return TextFromNativePath(config);
  const char* home = std::getenv("HOME");
  if (home == nullptr || *home == 0) {
    const struct passwd* user = ::getpwuid(::getuid());
    if (user == nullptr || user->pw_dir == nullptr) return {};
    home = user->pw_dir;
  }
  return TextFromNativePath(home) + u"/.config";
#endif
}
