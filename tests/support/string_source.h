// A ByteSource over a string, for tests of the block reader and what reads
// through it: hands out at most `piece` bytes a call (all that is asked for
// by default), so that a test can split the input anywhere.
#pragma once

#include "core/block_reader.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

class StringSource : public ByteSource {
 public:
  explicit StringSource(std::string bytes, std::size_t piece = SIZE_MAX) : bytes_(std::move(bytes)), piece_(piece) {}
  std::int64_t read(void* destination, std::int64_t count) override {
    const std::size_t n = std::min({static_cast<std::size_t>(count), bytes_.size() - at_, piece_});
    std::memcpy(destination, bytes_.data() + at_, n);
    at_ += n;
    return static_cast<std::int64_t>(n);
  }

 private:
  std::string bytes_;
  std::size_t at_ = 0;
  std::size_t piece_;
};
