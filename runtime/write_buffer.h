// A buffer of 64 KiB in front of an OS handle, shared by the files the program
// writes: small writes are gathered and go out in pieces of the buffer's size,
// a write at least as large as the buffer goes straight through.
//
// allocate() is false when there is no memory for the buffer; write() and
// flush() are false when the OS refused a write (OsLastError() says why), and
// what was gathered is then dropped. Not copyable; the memory goes with the
// object or with release().
#pragma once

#include "runtime/os_file.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <string_view>

class WriteBuffer {
 public:
  static constexpr std::size_t kSize = 64 * 1024;

  bool allocate() {
    bytes_.reset(new (std::nothrow) char[kSize]);
    pending_ = 0;
    return bytes_ != nullptr;
  }
  void release() {
    bytes_.reset();
    pending_ = 0;
  }
  // The buffer's kSize bytes, for a caller that reads through it once
  // everything gathered is flushed.
  char* data() { return bytes_.get(); }

  bool flush(OsHandle handle) {
    if (pending_ == 0) return true;
    const auto count = static_cast<std::int64_t>(pending_);
    pending_ = 0;
    return OsWrite(handle, bytes_.get(), count) == count;
  }

  bool write(OsHandle handle, std::string_view bytes) {
    if (bytes.size() <= kSize - pending_) {
      std::memcpy(bytes_.get() + pending_, bytes.data(), bytes.size());
      pending_ += bytes.size();
      return true;
    }
    if (!flush(handle)) return false;
    if (bytes.size() < kSize) {
      std::memcpy(bytes_.get(), bytes.data(), bytes.size());
      pending_ = bytes.size();
      return true;
    }
    const auto count = static_cast<std::int64_t>(bytes.size());
    return OsWrite(handle, bytes.data(), count) == count;
  }

 private:
  std::unique_ptr<char[]> bytes_;
  std::size_t pending_ = 0;
};
