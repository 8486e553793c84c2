// ScratchFile: bytes set aside on disk while a report is written, to be read
// back once and copied into it.
//
// The file has no name that another program could open, and nothing is left
// of it however the process ends: on POSIX it is created without a name
// (O_TMPFILE) or its name is removed the moment it is open; on Windows the
// system deletes it when its handle closes, which a crash or a kill does too.
//
// create(folder) makes it in `folder`, or in the system's folder for
// temporary files ($TMPDIR, else /tmp; GetTempPath on Windows) when `folder`
// is empty; false when it cannot be made. It is a ByteSink
// (runtime/byte_sink.h): write() hands the bytes to the system as they are
// (put a BufferedWriter in front for small pieces) and is false once anything
// has failed (a full disk); later writes do nothing. copyTo() hands
// everything written so far, from the first byte, to `sink` in pieces of at
// most 64 KiB; false when reading it back failed or the sink refused a piece.
// readAt() puts `count` bytes from `offset` into `destination`; false when
// they could not all be read back. Writes after either still go to the end.
// failureReason() words the file's own first failure as the system does, for
// messages; it is empty while nothing failed (and for a refusing sink, whose
// owner knows why).
#pragma once

#include "runtime/os_file.h"
#include "runtime/byte_sink.h"
#include "runtime/text.h"

#include <cstdint>
#include <memory>
#include <string_view>

class ScratchFile : public ByteSink {
 public:
  ScratchFile() = default;
  ~ScratchFile() override;
  ScratchFile(const ScratchFile&) = delete;
  ScratchFile& operator=(const ScratchFile&) = delete;

  bool create(TextView folder);
  bool write(std::string_view bytes) override;
  bool copyTo(ByteSink& sink);
  bool readAt(std::uint64_t offset, char* destination, std::size_t count);
  std::uint64_t size() const { return size_; }
  bool failed() const { return failed_; }
  Text failureReason() const;

 private:
  bool fail(std::int64_t code);

  OsHandle handle_ = kInvalidHandle;
  std::uint64_t size_ = 0;
  bool failed_ = false;
  std::int64_t error_ = 0;
};

// The platform's part (scratch_file_posix.cpp, scratch_file_win32.cpp): a new
// file open for reading and writing as described above; 0 on failure, with
// OsLastError() telling why.
OsHandle OsCreateScratchFile(TextView folder);
