// Paths as Text, by the rules of the platform. None of these calls fails:
// what cannot be had is the empty text.
//
// Windows: "\" and "/" both separate folders; a leading double quote is not
// part of the path, a double quote ends the file name and PathPart stops at
// the first "|", as the Windows requester's paths are read.
// POSIX: only "/" separates; every other byte, "\", "|" and double quotes
// included, is part of a name.
#pragma once

#include "runtime/text.h"

// True for a character that separates folders: "/", and "\" on Windows.
bool IsSeparator(char16_t c);
// The platform's folder separator.
char16_t FolderSeparator();
// The folder part, up to and including the last separator.
Text PathPart(TextView path);
// The folder part of a path as it is, up to and including the last
// separator, without the requester's rules that PathPart follows on Windows.
Text FolderOf(TextView path);
// The file name after the last separator, extension included.
Text FileNamePart(TextView path);
// The process's current directory, ending in the platform's separator
// ("\" on Windows, "/" elsewhere); empty when it cannot be read.
Text CurrentDirectory();

// How AbsolutePath treats the names in a path.
enum class PathNames {
  // The path the system means. Windows resolves "." and ".." by name, as its
  // requester shows paths. POSIX drops "." and empty segments, and leaves
  // ".." to the system: the folder holding it is resolved as the system
  // resolves it (links included), the file name is kept.
  Resolved,
  // The path as it was written, so that it shows how a file was reached
  // (the inventory lists "arch/../arch/x.rpp" as another path of
  // "arch/x.rpp"): a path from a root ("/", "\", "C:\") is kept whole; a
  // relative one follows the current directory, its leading "./" dropped.
  // ".." is left to the system when the path is opened.
  AsGiven,
};
// The path made absolute against the current directory; empty when the path
// is empty, or relative while the current directory cannot be read.
Text AbsolutePath(TextView path, PathNames names = PathNames::Resolved);
