#include "runtime/spill_buffer.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr std::size_t kChunk = BufferedWriter::kSize;

}  // namespace

bool SpillBuffer::write(std::string_view bytes) {
  if (file_) {
    if (!writer_ || !writer_->ok()) return false;
    size_ += bytes.size();
    return (*writer_ << bytes).ok();
  }
  if (bytes.size() <= limit_ - std::min(limit_, memory_.size())) {
    memory_ += bytes;
    return true;
  }
  file_ = std::make_unique<ScratchFile>();
  if (!file_->create(folder_)) return false;
  writer_ = std::make_unique<BufferedWriter>(*file_);
  size_ = memory_.size() + bytes.size();
  const bool written = (*writer_ << memory_ << bytes).ok();
  std::string().swap(memory_);
  return written;
}

bool SpillBuffer::Reader::read(char* destination, std::size_t count) {
  if (left() < count) return false;
  if (!from_.file_) {
    std::memcpy(destination, from_.memory_.data() + at_, count);
    at_ += count;
    return true;
  }
  // What the writer still holds goes to the file before anything is read back.
  if (!from_.writer_ || !from_.writer_->flush()) return false;
  while (count > 0) {
    if (at_ >= chunkStart_ && at_ < chunkStart_ + chunkSize_) {
      const std::size_t offset = static_cast<std::size_t>(at_ - chunkStart_);
      const std::size_t n = std::min(count, chunkSize_ - offset);
      std::memcpy(destination, chunk_.get() + offset, n);
      destination += n;
      count -= n;
      at_ += n;
      continue;
    }
    // A large read goes straight into its destination.
    if (count >= kChunk) {
      if (!from_.file_->readAt(at_, destination, count)) return false;
      at_ += count;
      return true;
    }
    if (!chunk_) chunk_.reset(new char[kChunk]);
    chunkStart_ = at_;
    chunkSize_ = static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, from_.size() - at_));
    if (!from_.file_->readAt(chunkStart_, chunk_.get(), chunkSize_)) {
      chunkSize_ = 0;
      return false;
    }
  }
  return true;
}
