#include "runtime/paths.h"

#include "runtime/paths_system.h"

namespace {

// Starts at a root: "/" or "\", or "C:\" on Windows.
bool StartsAtRoot(TextView path) {
  if (!path.empty() && IsSeparator(path[0])) return true;
  return FolderSeparator() == u'\\' && path.size() >= 3 && path[1] == u':' && IsSeparator(path[2]);
}

}  // namespace

bool IsSeparator(char16_t c) { return c == u'/' || c == FolderSeparator(); }

Text FolderOf(TextView path) {
  std::size_t end = path.size();
  while (end > 0 && !IsSeparator(path[end - 1])) --end;
  return Text(path.substr(0, end));
}

Text AbsolutePath(TextView path, PathNames names) {
  if (path.empty()) return {};
  if (names == PathNames::Resolved) return SystemAbsolutePath(path);
  if (StartsAtRoot(path)) return Text(path);
  Text full = CurrentDirectory();
  if (full.empty()) return {};
  TextView rest = path;
  while (rest.size() >= 2 && rest[0] == u'.' && IsSeparator(rest[1])) rest.remove_prefix(2);
  if (rest == u".") rest = {};
  return full + Text(rest);
}
