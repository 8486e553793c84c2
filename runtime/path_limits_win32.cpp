#include "runtime/path_limits.h"

#include <windows.h>

bool PathFitsSystemLimits(TextView path) { return path.size() < MAX_PATH; }
