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

// The folder part, up to and including the last separator.
Text PathPart(TextView path);
// The file name after the last separator, extension included.
Text FileNamePart(TextView path);
// The process's current directory, ending in the platform's separator
// ("\" on Windows, "/" elsewhere); empty when it cannot be read.
Text CurrentDirectory();
// The path made absolute against the current directory; empty when the path
// is relative and the current directory cannot be read. Windows resolves "."
// and ".." by name, as its requester shows paths. POSIX drops "." and empty
// segments, and leaves ".." to the system: the folder holding it is resolved
// as the system resolves it (links included), the file name is kept.
Text AbsolutePath(TextView path);
// The platform's folder separator.
char16_t FolderSeparator();
