#include "runtime/paths.h"
#include "runtime/paths_system.h"
#include "runtime/utf8.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <unistd.h>
#include <vector>

char16_t FolderSeparator() { return u'/'; }

Text PathPart(TextView path) { return FolderOf(path); }

Text FileNamePart(TextView path) {
  const std::size_t slash = path.rfind(u'/');
  return Text(slash == TextView::npos ? path : path.substr(slash + 1));
}

Text CurrentDirectory() {
  std::vector<char> buffer(4096);
  while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
    if (errno != ERANGE) return {};
    buffer.resize(buffer.size() * 2);
  }
  // A folder removed while current reads as "(unreachable)/..." on some systems.
  if (buffer[0] != '/') return {};
  Text folder = TextFromNativePath(buffer.data());
  if (folder.back() != u'/') folder.push_back(u'/');
  return folder;
}

Text SystemAbsolutePath(TextView path) {
  Text full;
  if (path[0] == u'/') {
    full = Text(path);
  } else {
    full = CurrentDirectory();
    if (full.empty()) return {};
    full += path;
  }
  // "." and empty segments name nothing: they go. ".." stays for the system.
  std::vector<TextView> parts;
  bool dotDot = false;
  for (std::size_t i = 1; i <= full.size();) {
    std::size_t j = full.find(u'/', i);
    if (j == Text::npos) j = full.size();
    const TextView part = TextView(full).substr(i, j - i);
    if (!part.empty() && part != u".") parts.push_back(part);
    dotDot = dotDot || part == u"..";
    i = j + 1;
  }
  const bool endsInFolder = full.back() == u'/' || TextView(full).ends_with(u"/.");
  Text result;
  for (TextView part : parts) result += u"/" + Text(part);
  if (result.empty() || endsInFolder) result += u"/";
  if (!dotDot) return result;
  // The folder as the system reaches it; the last name as given.
  const Text folder = PathPart(result);
  char resolved[PATH_MAX];
  if (::realpath(NativePathFromText(folder).c_str(), resolved) == nullptr) return result;
  Text real = TextFromNativePath(resolved);
  if (real.back() != u'/') real.push_back(u'/');
  return real + FileNamePart(result);
}
