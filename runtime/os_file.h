// The platform's file calls, as thin as they can be. Paths are Text.
// A handle is non-zero for an open file; 0 means the call failed. Transfers
// return the number of bytes moved (split into calls of at most 1 GiB); a
// short count means the end of the file or an error.
// Files are opened without sharing: while one program holds a file, another
// program that asks the same cannot open it (on POSIX an exclusive,
// non-blocking flock stands for the Windows share mode 0).
#pragma once

#include "runtime/text.h"

#include <cstdint>

using OsHandle = std::intptr_t;

enum class SeekFrom { Begin, Current };

OsHandle OsOpenExisting(TextView path);  // read access, existing regular file
OsHandle OsCreateAlways(TextView path);  // read/write, created or emptied
OsHandle OsTruncateExisting(TextView path);  // write only, existing file emptied
OsHandle OsDuplicateStandardOutput();
std::int64_t OsRead(OsHandle handle, void* destination, std::int64_t count);
std::int64_t OsWrite(OsHandle handle, const void* source, std::int64_t count);
// The new position from the start of the file, or -1 on failure.
std::int64_t OsSeek(OsHandle handle, std::int64_t distance, SeekFrom from);
std::int64_t OsFileSize(OsHandle handle);  // -1 when unknown
bool OsClose(OsHandle handle);             // false when pending data could not be stored
bool OsRemoveFile(TextView path);
