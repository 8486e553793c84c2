// SpillBuffer: bytes set aside while they are produced, to be read back in
// order later, as often as needed. They stay in memory while they are few;
// past `memoryLimit` bytes they move into a ScratchFile (scratch_file.h) in
// the folder given ("" for the system's folder for temporary files), written
// through a BufferedWriter (runtime/byte_sink.h), so that however many are
// written, the memory taken stays that limit and the writer's buffer.
//
// write() is false once anything failed (the scratch file could not be made
// or written); later writes do nothing, and failureReason() words the first
// failure as the system does (empty while nothing failed). A Reader hands
// the bytes out from the first; read() is false when fewer than asked are
// left or they could not be read back; it may start at any byte written. Writing and reading may happen on
// different threads, one after the other, never at once.
#pragma once

#include "runtime/scratch_file.h"
#include "runtime/text.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

class SpillBuffer {
 public:
  static constexpr std::size_t kDefaultMemoryLimit = std::size_t{64} << 10;

  explicit SpillBuffer(Text folder = {}, std::size_t memoryLimit = kDefaultMemoryLimit)
      : folder_(std::move(folder)), limit_(memoryLimit) {}
  SpillBuffer(const SpillBuffer&) = delete;
  SpillBuffer& operator=(const SpillBuffer&) = delete;

  bool write(std::string_view bytes);
  std::uint64_t size() const { return file_ ? size_ : memory_.size(); }
  bool spilled() const { return file_ != nullptr; }
  bool failed() const { return file_ && (!writer_ || !writer_->ok()); }
  Text failureReason() const { return file_ ? file_->failureReason() : Text(); }

  class Reader {
   public:
    explicit Reader(SpillBuffer& from, std::uint64_t start = 0) : from_(from), at_(start) {}
    bool read(char* destination, std::size_t count);
    bool atEnd() const { return at_ >= from_.size(); }
    std::uint64_t left() const { return from_.size() - std::min(from_.size(), at_); }

   private:
    SpillBuffer& from_;
    std::uint64_t at_;
    // What was read ahead from the scratch file: bytes [chunkStart_, chunkStart_ + chunkSize_).
    std::unique_ptr<char[]> chunk_;
    std::uint64_t chunkStart_ = 0;
    std::size_t chunkSize_ = 0;
  };

 private:
  Text folder_;
  std::size_t limit_;
  std::string memory_;
  std::unique_ptr<ScratchFile> file_;
  std::unique_ptr<BufferedWriter> writer_;  // in front of file_ once it is made
  std::uint64_t size_ = 0;                   // written once spilled, pending bytes included
};
