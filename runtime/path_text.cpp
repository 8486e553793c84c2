#include "runtime/path_text.h"

#include "runtime/paths.h"
#include "runtime/utf8.h"

std::string PathText(TextView path) { return GeneralizedUtf8FromText(path); }

Text TextFromPathText(std::string_view bytes) { return TextFromGeneralizedUtf8(bytes); }

std::string_view FolderOfPathText(std::string_view path) {
  std::size_t end = path.size();
  while (end > 0 && !IsSeparator(static_cast<unsigned char>(path[end - 1]))) --end;
  return path.substr(0, end);
}
