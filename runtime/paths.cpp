#include "runtime/paths.h"

namespace {
bool IsSeparator(char16_t c) { return c == u'\\' || c == u'/'; }
}  // namespace

Text PathPart(TextView path) {
  std::size_t start = (!path.empty() && path[0] == u'"') ? 1 : 0;
  std::size_t end = start;  // just after the last separator
  for (std::size_t i = start; i < path.size() && path[i] != u'|'; ++i)
    if (IsSeparator(path[i])) end = i + 1;
  return Text(path.substr(start, end - start));
}

Text FileNamePart(TextView path) {
  std::size_t start = 0;
  bool separator = false;
  for (std::size_t i = 0; i < path.size(); ++i)
    if (IsSeparator(path[i])) { start = i + 1; separator = true; }
  if (!separator && !path.empty() && path[0] == u'"') start = 1;
  std::size_t end = path.find(u'"', start);
  if (end == TextView::npos) end = path.size();
  return Text(path.substr(start, end - start));
}
