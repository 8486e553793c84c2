// Where the media files a project names are: a path written in a project
// may be absolute on some system ("/", "\\", "C:") or relative to the
// project's folder, with either separator. None of these calls fails.
#pragma once

#include "runtime/text.h"

#include <string>
#include <string_view>

bool isAbsoluteMediaPath(std::string_view file);
// `folder` ends with a separator.
Text resolveMediaPath(TextView folder, std::string_view file);
// The same in PathText form: `folder` as FolderOfPathText gives it.
std::string resolvedMediaText(std::string_view folder, std::string_view file);
