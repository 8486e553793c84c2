// The longest path the system can open. On Windows a path of at most 259
// UTF-16 units (MAX_PATH less its terminator), as the open-file requester
// and the ANSI-era calls hold it; on POSIX at most PATH_MAX - 1 bytes in the
// file-name encoding, with no name between separators longer than NAME_MAX.
#pragma once

#include "runtime/text.h"

bool PathFitsSystemLimits(TextView path);
