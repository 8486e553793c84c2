// The archive inventory command:
//   quorvel-inventory [--reaper-resources DIR | --no-installed-check]
//                     [--format html|json|csv] [-o FILE|-] [--jobs N]
//                     [--include-backups] [--quiet] PATH...
// Reads every project the paths name (folders walked), checks its plug-ins
// against REAPER's caches and its media files on disk, and writes one
// inventory. Returns the exit status: 0 when every project was read, 1 when
// any could not be, none was found, the inventory could not be written or
// its path not printed, 2 for bad usage. The projects are only read, never
// written, and nothing is written onto any file the run reads or checks (a
// project, a plug-in cache, a media file): that output is refused whole.
#pragma once

#include "app/command_line.h"

#include <functional>
#include <string_view>
#include <vector>

// The lines of standard output and error, and a progress line.
struct InventoryStreams : CliStreams {
  // Redraws the progress line (no terminator; "" clears it). Empty when
  // standard error is not a terminal: then there is no progress line.
  std::function<void(std::string_view)> progress;
};

int runInventoryCli(const std::vector<Text>& arguments, const InventoryStreams& streams);
