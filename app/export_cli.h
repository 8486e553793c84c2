// The command-line exporter: quorvel-export [options] PROJECT.rpp...
// Loads each project as the window's Load does and writes its report as the
// window's Export does. Returns the exit status: 0 when every report was
// written and listed, 1 when any failed, 2 for bad usage. A failure names
// the path that failed, the window's message and the reason.
#pragma once

#include "runtime/text.h"

#include <functional>
#include <vector>

// Each takes one line, without its terminator. `out` is false when the line
// could not be written (a full disk, a closed pipe).
struct CliStreams {
  std::function<bool(TextView)> out;
  std::function<void(TextView)> err;
};

int runExportCli(const std::vector<Text>& arguments, const CliStreams& streams);
