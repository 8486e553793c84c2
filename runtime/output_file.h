// OutputFile: a file written so that it is complete or absent.
//
// create(path) decides, without changing anything yet, how the bytes reach
// `path`:
//  - a regular file or a name where no file is: the bytes go to a new file
//    in the same folder, which commit() renames over the target once every
//    byte is stored on the device. A failure before that removes only the new
//    file: what was at the target stays as it was. A link at the target is
//    followed, so the file it leads to is replaced and the link kept.
//  - a character or block device, a pipe or a socket, and the file that is
//    the process's own standard output: written directly (exactly like
//    createStandardOutput), never truncated and never removed. A pipe that
//    nobody reads fails within seconds instead of blocking.
// create() fails for a folder, a name with a final separator, a folder that
// does not exist, a name too long for the system, a file this process may not
// write or that another program holds.
//
// write() hands the bytes to the system as they are (no buffer: put a
// BufferedWriter, runtime/byte_sink.h, in front for small pieces) and is false
// once anything has failed; later writes do nothing. commit() puts the file in
// place; false when any of it failed. abandon(), and the destructor of a file not yet
// committed, remove the new file. While a new file is unfinished, an
// interrupt (Ctrl+C, SIGTERM, SIGHUP) that ends the process removes it.
//
// failureReason() words the first failure as the system does ("No space left
// on device"), for messages; it is empty while nothing failed.
#pragma once

#include "runtime/os_file.h"
#include "runtime/byte_sink.h"
#include "runtime/text.h"

#include <cstddef>
#include <memory>
#include <string_view>

class OutputFile : public ByteSink {
 public:
  OutputFile() = default;
  ~OutputFile() override;
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  bool create(TextView path);
  bool createStandardOutput();
  bool write(std::string_view bytes) override;
  bool commit();
  void abandon();

  bool isOpen() const { return handle_ != kInvalidHandle; }
  bool failed() const { return failed_; }
  // Written in place (device, pipe, standard output), with no new file.
  bool writesDirectly() const { return kind_ != OutputKind::Replace; }
  bool writesStandardOutput() const { return kind_ == OutputKind::StandardOutput; }
  // The bytes end up in a regular file: a new one, or one written in place
  // (standard output redirected to a file).
  bool writesRegularFile() const { return regular_; }
  // The file that is at the target now (the one replaced, or the device or
  // file written directly); unknown when there is none yet.
  const FileIdentity& existing() const { return existing_; }
  Text failureReason() const;

 private:
  void reset();
  bool open(OutputKind kind, OsHandle handle);
  bool fail(std::int64_t code);
  void close();

  OsHandle handle_ = kInvalidHandle;
  OutputKind kind_ = OutputKind::Replace;
  Text target_;     // links followed
  Text temporary_;  // the new file; empty when written directly
  FileIdentity existing_;
  bool regular_ = false;
  bool failed_ = false;
  std::int64_t error_ = 0;
};
