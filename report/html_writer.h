// Writes the whole HTML report of a project to a byte sink: UTF-8 without a
// byte-order mark, CR LF after every line. Every text that comes from the
// project file or its path is HTML-escaped. The model is not changed. The
// bytes go to the sink in blocks of about 64 KiB (runtime/byte_sink.h). False
// when the sink refused bytes; may throw std::bad_alloc.
#pragma once

#include "core/project_data.h"
#include "runtime/byte_sink.h"

bool writeReport(const ProjectData& project, ByteSink& sink);
