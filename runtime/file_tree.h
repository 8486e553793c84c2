// Folders and the facts of files, for walking an archive of projects.
//
// Paths are Text. Nothing here fails loudly: PathKindOf gives Missing for a
// path that cannot be examined, ExaminePath and the entries of ListFolder
// also say why (`error`), and a folder that cannot be listed gives false with
// OsLastError() telling why. What comes back is the caller's.
#pragma once

#include "runtime/os_file.h"
#include "runtime/text.h"

#include <cstdint>
#include <vector>

enum class PathKind : std::uint8_t { Missing, File, Folder, Other };

// What the path names, links followed.
PathKind PathKindOf(TextView path);

// The same with the reasons and the identity. `error` is the system's code
// (errno, GetLastError) when the path could not be examined (a folder on the
// way that may not be searched, a loop of links, a name too long); it is 0
// when the path is simply not there, a link that leads nowhere included.
struct PathFacts {
  PathKind kind = PathKind::Missing;  // links followed: a link to a folder is a Folder
  std::int64_t error = 0;             // 0 unless kind is Missing
  FileIdentity identity;              // of what the name leads to
};
PathFacts ExaminePath(TextView path);

// Whether the name itself is a symbolic link (or junction), whatever it
// leads to: what tells a link that leads nowhere from a name that is not there.
bool IsSymbolicLink(TextView path);

struct FolderEntry {
  Text name;  // the entry's name alone, no folder
  PathKind kind = PathKind::Missing;
  bool link = false;      // the entry itself is a symbolic link (or junction)
  std::int64_t error = 0;
  FileIdentity identity;  // known on POSIX; on Windows ask ExaminePath
};

// The entries of a folder, "." and ".." left out, in no particular order.
// An entry that cannot be examined has kind Missing and its error, except
// that one the listing itself says is a folder is a Folder (so that a walk
// tries it, and says why it cannot list it). False (and no entries) when the
// folder cannot be listed.
bool ListFolder(TextView folder, std::vector<FolderEntry>& entries);

// The folder where programs keep the user's settings: %APPDATA% on Windows,
// ~/Library/Application Support on macOS, $XDG_CONFIG_HOME or ~/.config
// elsewhere. Empty when it cannot be found.
Text UserSettingsFolder();
