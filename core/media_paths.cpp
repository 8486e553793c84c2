#include "core/media_paths.h"

#include "runtime/paths.h"
#include "runtime/utf8.h"

namespace {

// A relative media path with the platform's separator for either one.
std::string nativeSeparators(std::string_view file) {
  std::string out(file);
  const char native = static_cast<char>(FolderSeparator());
  for (char& c : out)
    if (c == '/' || c == '\\') c = native;
  return out;
}

}  // namespace

bool isAbsoluteMediaPath(std::string_view file) {
  if (file.empty()) return false;
  if (file[0] == '/' || file[0] == '\\') return true;
  const char c = file[0];
  return file.size() >= 2 && file[1] == ':' && ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'));
}

Text resolveMediaPath(TextView folder, std::string_view file) {
  if (isAbsoluteMediaPath(file)) return TextFromUtf8(file);
  return Text(folder) + TextFromUtf8(nativeSeparators(file));
}

std::string resolvedMediaText(std::string_view folder, std::string_view file) {
  if (isAbsoluteMediaPath(file)) return std::string(file);
  return std::string(folder) + nativeSeparators(file);
}
