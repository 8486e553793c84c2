// What runtime/paths.cpp takes from the platform's file (paths_posix.cpp,
// paths_win32.cpp), for runtime/paths.cpp alone.
#pragma once

#include "runtime/text.h"

// AbsolutePath(path, PathNames::Resolved) of a path that is not empty.
Text SystemAbsolutePath(TextView path);
