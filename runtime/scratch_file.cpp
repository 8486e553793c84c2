#include "runtime/scratch_file.h"

#include <cstring>
#include <new>

namespace {

constexpr std::size_t kBufferSize = 64 * 1024;
// Not an OS code: reading back ended before every byte written came back.
constexpr std::int64_t kCutShort = -1000;

}  // namespace

ScratchFile::~ScratchFile() {
  if (handle_ != 0) OsClose(handle_);
}

bool ScratchFile::fail(std::int64_t code) {
  if (!failed_) error_ = code;
  failed_ = true;
  return false;
}

Text ScratchFile::failureReason() const {
  if (!failed_) return {};
  return error_ == kCutShort ? Text(u"the temporary file was cut short") : OsErrorText(error_);
}

bool ScratchFile::create(TextView folder) {
  if (handle_ != 0) OsClose(handle_);
  handle_ = 0;
  pending_ = 0;
  size_ = 0;
  failed_ = false;
  error_ = 0;
  buffer_.reset(new (std::nothrow) char[kBufferSize]);
  if (!buffer_) return fail(kErrorNotEnoughMemory);
  handle_ = OsCreateScratchFile(folder);
  return handle_ != 0 || fail(OsLastError());
}

bool ScratchFile::flush() {
  if (pending_ == 0 || failed_) return !failed_;
  const auto count = static_cast<std::int64_t>(pending_);
  pending_ = 0;
  return OsWrite(handle_, buffer_.get(), count) == count || fail(OsLastError());
}

bool ScratchFile::write(std::string_view bytes) {
  if (handle_ == 0 || failed_) return false;
  size_ += bytes.size();
  if (bytes.size() <= kBufferSize - pending_) {
    std::memcpy(buffer_.get() + pending_, bytes.data(), bytes.size());
    pending_ += bytes.size();
    return true;
  }
  if (!flush()) return false;
  if (bytes.size() < kBufferSize) {
    std::memcpy(buffer_.get(), bytes.data(), bytes.size());
    pending_ = bytes.size();
    return true;
  }
  const auto count = static_cast<std::int64_t>(bytes.size());
  return OsWrite(handle_, bytes.data(), count) == count || fail(OsLastError());
}

bool ScratchFile::copyTo(const std::function<bool(std::string_view)>& sink) {
  if (handle_ == 0 || failed_ || !flush()) return false;
  if (OsSeek(handle_, 0, SeekFrom::Begin) != 0) return fail(OsLastError());
  std::uint64_t left = size_;
  while (left > 0) {
    const auto want = static_cast<std::int64_t>(left < kBufferSize ? left : kBufferSize);
    OsSetLastError(0);
    const std::int64_t got = OsRead(handle_, buffer_.get(), want);
    if (got < want) return fail(OsLastError() != 0 ? OsLastError() : kCutShort);
    left -= static_cast<std::uint64_t>(got);
    if (!sink(std::string_view(buffer_.get(), static_cast<std::size_t>(got)))) return false;
  }
  // Later writes go after what was written.
  return OsSeek(handle_, static_cast<std::int64_t>(size_), SeekFrom::Begin) >= 0 || fail(OsLastError());
}
