// The command-line exporter: quorvel-export [options] PROJECT.rpp...
// Loads each project as the window's Load does and writes its report as the
// window's Export does. Returns the exit status: 0 when every report was
// written and listed, 1 when any failed, 2 for bad usage. A failure names
// the path that failed, the window's message and the reason.
#pragma once

#include "app/command_line.h"

#include <vector>

int runExportCli(const std::vector<Text>& arguments, const CliStreams& streams);
