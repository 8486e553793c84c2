// One project file's inventory, read from the disk and checked: its plug-ins
// against REAPER's caches, its media files against the file system.
#pragma once

#include "core/media_search.h"
#include "core/plugin_caches.h"
#include "core/project_inventory.h"
#include "runtime/os_file.h"
#include "runtime/text.h"

#include <cstdint>
#include <string>
#include <vector>

// Reads one project file and completes its inventory: statuses from the
// caches (none: every status "unknown") and media resolved against the
// project's folder. What the inventory sets aside beyond memory goes to
// `scratchFolder` (see readProjectInventory). On failure `reason` says why,
// with the system's reason where it has one, and the inventory is empty. Each
// media file checked is compared with the files the run writes (`targets`:
// the output, standard output), so that no list of them is kept:
// mediaIsTarget[t] names (PathText) the first that is targets[t], "" when
// none is. A missing media file is looked for by its name with `search`
// (none: not looked for). Relative media paths are resolved from
// `mediaFolder` (ends with a separator; "" for the file's own folder), as a
// backup's are from the folder of the project it backs up.
struct ProjectFileResult {
  ProjectInventory inventory;
  std::string reason;  // "" when the project was read (UTF-8, as the inventory writes it)
  std::int64_t bytes = 0;
  std::vector<std::string> mediaIsTarget;
};
ProjectFileResult inventoryProjectFile(TextView path, const PluginCaches* caches, TextView scratchFolder = {},
                                       const std::vector<FileIdentity>& targets = {}, MediaSearch* search = nullptr,
                                       TextView mediaFolder = {});
