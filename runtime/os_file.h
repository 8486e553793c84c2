// The platform's file calls, as thin as they can be. Paths are Text (on POSIX
// converted with NativePathFromText / TextFromNativePath, so names that are
// not UTF-8 work).
//
// Failed, and why: one convention, for the whole program.
//  - A call here that fails returns kInvalidHandle (a handle), false or -1 (a
//    position or size); OsLastError() then tells why: the OS's code or one of
//    the program's own kError codes below. OsErrorText() words it.
//  - What outlives the call carries the why as words, empty while nothing
//    failed: an object that keeps a failure (OutputFile, ScratchFile,
//    SpillBuffer, the inventory's writers) answers false from then on and
//    words the first failure in failureReason(); a function that hands back
//    more than yes or no returns an outcome with a `reason` beside its
//    `result` (LoadOutcome, ExportOutcome, LaunchOutcome; the inventory,
//    which writes UTF-8, keeps its reasons as UTF-8 bytes).
//
// Transfers return the number of bytes moved (split into calls of at most
// 1 GiB); a short count means the end of the file or an error.
// Files opened for reading or created as numbered files are held without
// sharing: while one program holds a file, another program that asks the same
// cannot open it (on POSIX an exclusive, non-blocking flock stands for the
// Windows share mode 0). OsOpenShared opens without any such hold.
#pragma once

#include "runtime/text.h"

#include <cstdint>

using OsHandle = std::intptr_t;
// No open file: what a failed open returns, and what a handle holds while
// nothing is open.
inline constexpr OsHandle kInvalidHandle = 0;

enum class SeekFrom { Begin, Current };

// Reasons of the program's own, beside the OS's error codes.
inline constexpr std::int64_t kErrorHeldByAnotherProgram = -1;  // a lock or share mode refused us
inline constexpr std::int64_t kErrorNoReader = -2;              // a pipe that nobody reads
inline constexpr std::int64_t kErrorNotEnoughMemory = -3;
inline constexpr std::int64_t kErrorNotAFolder = -4;            // a name with a final separator
// A pipe, socket or device, or a file of the kernel's own (/proc, /sys) that
// shows as regular but has no end to read to.
inline constexpr std::int64_t kErrorNotRegularFile = -5;

// The error of the last failed call of this thread (errno or GetLastError,
// or one of the codes above), and its words for a message.
std::int64_t OsLastError();
void OsSetLastError(std::int64_t code);
Text OsErrorText(std::int64_t code);
// The words for the program's own codes; empty for an OS code.
inline TextView OwnErrorText(std::int64_t code) {
  switch (code) {
    case kErrorHeldByAnotherProgram: return u"another program is using the file";
    case kErrorNoReader: return u"no program is reading from the pipe";
    case kErrorNotEnoughMemory: return u"not enough memory";
    case kErrorNotAFolder: return u"not a folder";
    case kErrorNotRegularFile: return u"not a regular file";
    default: return {};
  }
}

// The two opens for reading take existing regular files only. Anything else
// fails with kErrorNotRegularFile (a folder with the system's reason): a path that names a
// pipe, socket or device is looked at but never opened, and a file that turns
// out to be something else once open (or one of the kernel's, which may wait
// for ever) is closed before a byte is read. Neither open waits.
OsHandle OsOpenExisting(TextView path);  // read access, held exclusively
// Read access, not held: the open neither waits for nor stops another
// program that has the file open, for reading or writing.
OsHandle OsOpenShared(TextView path);
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

// Which file a path or handle is: the same device and file number (volume
// and file ID on Windows) is the same file, whatever names and links lead to
// it. `known` is false when the file does not exist or cannot be asked.
struct FileIdentity {
  std::uint64_t device = 0;
  std::uint64_t file = 0;
  bool known = false;
  friend bool operator==(const FileIdentity& a, const FileIdentity& b) {
    return a.known && b.known && a.device == b.device && a.file == b.file;
  }
};
FileIdentity OsPathIdentity(TextView path);  // links followed
FileIdentity OsHandleIdentity(OsHandle handle);
// Whether an open handle is a regular file (a disk file on Windows), not a
// pipe, socket, device or console.
bool OsHandleIsRegularFile(OsHandle handle);

// Where the bytes of an output go.
enum class OutputKind {
  Replace,         // a regular file or a missing name: written beside it, then renamed over it
  Direct,          // a device, a pipe or socket: written in place, never removed or truncated
  StandardOutput,  // the file that is the process's own standard output
};
struct OutputPlan {
  OutputKind kind = OutputKind::Replace;
  Text target;            // the path with every link at its end followed
  FileIdentity existing;  // the file there now; unknown when there is none
};
// Looks at an output path without changing anything. False (OsLastError set)
// for a folder, a name with a final separator, a folder that does not exist,
// a name too long for the system, an existing file this process may not
// write or that another program holds.
bool OsPlanOutput(TextView path, OutputPlan& plan);
// Opens a Direct output write-only, without creating or truncating it. A
// pipe that nobody reads fails (kErrorNoReader) after a short wait instead of
// blocking.
OsHandle OsOpenDirectOutput(TextView path);
// Creates a new, empty file in the folder of `target`, write-only, with the
// permissions (and, where allowed, the owner) of the file at `target` when
// there is one; its name goes to `temporary`. From the moment it exists it is
// registered for removal on an interrupt (OsRemoveOnInterrupt): call
// OsForgetOnInterrupt once it is renamed or removed.
OsHandle OsCreateTemporaryBeside(TextView target, Text& temporary);
// Stores what was written on the device (fsync / FlushFileBuffers).
bool OsSyncFile(OsHandle handle);
// Puts `temporary` in the place of `target` in one step, replacing what was
// there, and makes the change durable.
bool OsReplaceFile(TextView temporary, TextView target);

// Files to remove should the process be interrupted (Ctrl+C, SIGTERM, SIGHUP,
// a console closing) before they are finished. A few at a time are kept.
void OsRemoveOnInterrupt(TextView path);
void OsForgetOnInterrupt(TextView path);
