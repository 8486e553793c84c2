// Where the program's output bytes go, and the one buffer in front of them.
//
// ByteSink: anything that takes bytes: a file (OutputFile, ScratchFile), a
// router of the caller's own (SinkOf), a test's string. write() takes all of
// `bytes` at once, without keeping the view, and passes them on as they are,
// without a buffer of its own; false when they could not be stored. What
// refused says why (OutputFile::failureReason, ScratchFile::failureReason);
// the writer in front of it only knows that it did.
//
// BufferedWriter: 64 KiB gathered in front of a ByteSink. Each byte is copied
// once, into the buffer (or built there in place, through buffer()), and goes
// to the sink in blocks of about kSize; a piece of kSize bytes or more goes
// to the sink as it is, after what was pending, and is not copied at all.
// Once the sink refused anything, ok() and flush() are false and later writes
// do nothing. Nothing is handed over until flush() or a full buffer: whoever
// owns the writer calls flush() at the end. The buffer's memory is taken when
// the writer is made (std::bad_alloc when there is none) and goes with it.
// The sink must outlive the writer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

class ByteSink {
 public:
  virtual ~ByteSink() = default;
  virtual bool write(std::string_view bytes) = 0;
};

// A sink made of a function bool(std::string_view), for a caller that routes
// the bytes itself.
template <class Function>
class SinkOf final : public ByteSink {
 public:
  explicit SinkOf(Function function) : function_(std::move(function)) {}
  bool write(std::string_view bytes) override { return function_(bytes); }

 private:
  Function function_;
};

class BufferedWriter {
 public:
  static constexpr std::size_t kSize = std::size_t{64} << 10;

  explicit BufferedWriter(ByteSink& sink) : sink_(sink) { buffer_.reserve(kSize + kSlack); }
  BufferedWriter(const BufferedWriter&) = delete;
  BufferedWriter& operator=(const BufferedWriter&) = delete;

  BufferedWriter& operator<<(std::string_view bytes) {
    if (bytes.size() >= kSize) {
      if (flush()) ok_ = sink_.write(bytes);
      return *this;
    }
    buffer_ += bytes;
    return flushIfFull();
  }
  BufferedWriter& operator<<(std::uint64_t number) { return *this << std::string_view(std::to_string(number)); }

  // The buffer itself, for a writer that builds its bytes in place (an
  // encoder, an escaper): append to it, then call flushIfFull(). Appending
  // more than a few KiB at once before that grows the buffer.
  std::string& buffer() { return buffer_; }
  BufferedWriter& flushIfFull() {
    if (buffer_.size() >= kSize) flush();
    return *this;
  }
  // Hands what is pending to the sink; false once the sink refused anything.
  bool flush() {
    if (ok_ && !buffer_.empty()) ok_ = sink_.write(buffer_);
    buffer_.clear();
    return ok_;
  }
  bool ok() const { return ok_; }

 private:
  // Room past kSize, so that a piece built in place seldom grows the buffer.
  static constexpr std::size_t kSlack = std::size_t{4} << 10;

  ByteSink& sink_;
  std::string buffer_;
  bool ok_ = true;
};
