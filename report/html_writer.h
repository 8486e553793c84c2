// Writes the whole HTML report of a project, line by line, to an open
// numbered file (UTF-8, CR LF after every line). Every text that comes from
// the project file or its path is HTML-escaped. The model is not changed and
// write failures are left for the caller to find (NumberedFileFailed).
#pragma once

#include "core/project_data.h"

#include <cstdint>

void writeReport(const ProjectData& project, std::int64_t fileNumber);
