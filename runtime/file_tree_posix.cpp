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

}  // namespace

PathKind PathKindOf(TextView path) {
  if (path.empty()) return PathKind::Missing;
  struct stat info;
  if (::stat(NativeName(path).c_str(), &info) != 0) return PathKind::Missing;
  return KindOf(info);
}

bool ListFolder(TextView folder, std::vector<FolderEntry>& entries) {
  entries.clear();
  const std::string name = NativeName(folder);
  DIR* dir = ::opendir(name.c_str());
  if (dir == nullptr) return false;
  const int fd = ::dirfd(dir);
  errno = 0;
  while (struct dirent* entry = ::readdir(dir)) {
    const std::string_view entryName(entry->d_name);
    if (entryName == "." || entryName == "..") continue;
    FolderEntry out{TextFromNativePath(entryName), PathKind::Missing, false};
    struct stat info;
    if (::fstatat(fd, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0) {
      out.link = S_ISLNK(info.st_mode);
      if (out.link) {
        if (::fstatat(fd, entry->d_name, &info, 0) == 0) out.kind = KindOf(info);
      } else {
        out.kind = KindOf(info);
      }
    }
    entries.push_back(std::move(out));
    errno = 0;
  }
  const bool complete = errno == 0;
  ::closedir(dir);
  if (!complete) entries.clear();
  return complete;
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
