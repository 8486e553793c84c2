#include "runtime/scratch_file.h"


namespace {

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
  size_ = 0;
  failed_ = false;
  error_ = 0;
  if (!buffer_.allocate()) return fail(kErrorNotEnoughMemory);
  handle_ = OsCreateScratchFile(folder);
  return handle_ != 0 || fail(OsLastError());
}

bool ScratchFile::flush() {
  if (failed_) return false;
  return buffer_.flush(handle_) || fail(OsLastError());
}

bool ScratchFile::write(std::string_view bytes) {
  if (handle_ == 0 || failed_) return false;
  size_ += bytes.size();
  return buffer_.write(handle_, bytes) || fail(OsLastError());
}

bool ScratchFile::copyTo(const std::function<bool(std::string_view)>& sink) {
  if (handle_ == 0 || failed_ || !flush()) return false;
  if (OsSeek(handle_, 0, SeekFrom::Begin) != 0) return fail(OsLastError());
  std::uint64_t left = size_;
  while (left > 0) {
    const auto want = static_cast<std::int64_t>(left < WriteBuffer::kSize ? left : WriteBuffer::kSize);
    OsSetLastError(0);
    const std::int64_t got = OsRead(handle_, buffer_.data(), want);
    if (got < want) return fail(OsLastError() != 0 ? OsLastError() : kCutShort);
    left -= static_cast<std::uint64_t>(got);
    if (!sink(std::string_view(buffer_.data(), static_cast<std::size_t>(got)))) return false;
  }
  // Later writes go after what was written.
  return OsSeek(handle_, static_cast<std::int64_t>(size_), SeekFrom::Begin) >= 0 || fail(OsLastError());
}

bool ScratchFile::readAt(std::uint64_t offset, char* destination, std::size_t count) {
  if (handle_ == 0 || failed_ || !flush()) return false;
  if (offset > size_ || count > size_ - offset) return false;
  if (OsSeek(handle_, static_cast<std::int64_t>(offset), SeekFrom::Begin) < 0) return fail(OsLastError());
  OsSetLastError(0);
  const auto want = static_cast<std::int64_t>(count);
  const std::int64_t got = OsRead(handle_, destination, want);
  if (got < want) return fail(OsLastError() != 0 ? OsLastError() : kCutShort);
  return OsSeek(handle_, static_cast<std::int64_t>(size_), SeekFrom::Begin) >= 0 || fail(OsLastError());
}
