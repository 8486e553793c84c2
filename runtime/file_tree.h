// Folders and the facts of files, for walking an archive of projects.
//
// Paths are Text. Nothing here fails loudly: a path that cannot be examined
// is PathKind::Missing, a folder that cannot be listed gives false. What
// comes back is the caller's.
#pragma once

#include "runtime/text.h"

#include <cstdint>
#include <vector>

enum class PathKind : std::uint8_t { Missing, File, Folder, Other };

// What the path names, links followed.
PathKind PathKindOf(TextView path);

struct FolderEntry {
  Text name;          // the entry's name alone, no folder
  PathKind kind;      // links followed: a link to a folder is a Folder
  bool link = false;  // the entry itself is a symbolic link (or junction)
};

// The entries of a folder, "." and ".." left out, in no particular order.
// False (and no entries) when the folder cannot be listed.
bool ListFolder(TextView folder, std::vector<FolderEntry>& entries);

// The folder where programs keep the user's settings: %APPDATA% on Windows,
// ~/Library/Application Support on macOS, $XDG_CONFIG_HOME or ~/.config
// elsewhere. Empty when it cannot be found.
Text UserSettingsFolder();
