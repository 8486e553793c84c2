// The command-line exporter: quorvel-export [options] PROJECT.rpp...
// Loads each project as the window's Load does and writes its report as the
// window's Export does. Returns the exit status: 0 when every report was
// written, 1 when any failed, 2 for bad usage.
#pragma once

#include "runtime/text.h"

#include <functional>
#include <vector>

struct CliStreams {
  std::function<void(TextView)> out;  // one line, without its terminator
  std::function<void(TextView)> err;
};

int RunExportCli(const std::vector<Text>& arguments, const CliStreams& streams);
