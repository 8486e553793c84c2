// Paths as Text. "\" and "/" both separate folders in PathPart and
// FileNamePart. None of these calls fails: what cannot be had is empty text.
#pragma once

#include "runtime/text.h"

// The folder part, up to and including the last separator met before the
// end or the first "|"; a leading double quote is left out.
Text PathPart(TextView path);
// The file name after the last separator, extension included, ending before
// a double quote that follows it.
Text FileNamePart(TextView path);
// The process's current directory, ending in the platform's separator
// ("\" on Windows, "/" elsewhere); empty when it cannot be read.
Text CurrentDirectory();
// The path made absolute against the current directory, as a file requester
// would return it: "." and ".." resolved by name, links not followed.
Text AbsolutePath(TextView path);
// The platform's folder separator.
char16_t FolderSeparator();
