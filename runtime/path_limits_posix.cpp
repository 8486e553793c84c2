#include "runtime/path_limits.h"

#include "runtime/utf8.h"

#include <climits>
#include <string>

bool PathFitsSystemLimits(TextView path) {
  const std::string bytes = NativePathFromText(path);
  if (bytes.size() >= PATH_MAX) return false;
  std::size_t start = 0;
  while (start <= bytes.size()) {
    std::size_t end = bytes.find('/', start);
    if (end == std::string::npos) end = bytes.size();
    if (end - start > NAME_MAX) return false;
    start = end + 1;
  }
  return true;
}
