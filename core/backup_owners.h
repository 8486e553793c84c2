// Which project a backup (*.rpp-bak) backs up, so that the inventory lists it
// under that project instead of as a project of its own.
//
// A backup belongs to a project of the archive named:
// - like it, in the same folder: "Song.rpp-bak" beside "Song.rpp";
// - like the start of its name followed by "-", "_" or a space and a digit
//   (REAPER's timestamped backups), in the same folder or in the folder above
//   it: "Backups/Song-2024-05-01_1200.rpp-bak" under "Song.rpp".
// The longest such name wins, the same folder before the one above. Names
// are compared as their bytes, the ".rpp" in any letter case. A backup whose
// project is not in the archive has no owner: it is a project of its own.
#pragma once

#include "core/project_finder.h"

#include <cstddef>
#include <vector>

constexpr std::size_t kNoOwner = static_cast<std::size_t>(-1);

// For each path of `projects`, the index of the project it backs up, or
// kNoOwner (for every project file, and for a backup without its project).
std::vector<std::size_t> backupOwners(const ProjectPaths& projects);

// The order to read the projects in: each project followed by its backups
// (in path order), everything else in path order. Empty when no
// backup has an owner: the path order as it is.
std::vector<std::size_t> orderWithBackups(const std::vector<std::size_t>& owners);
