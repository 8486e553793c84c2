#include "runtime/scratch_file.h"

#include <memory>
#include <new>

namespace {

// Not an OS code: reading back ended before every byte written came back.
constexpr std::int64_t kCutShort = -1000;

// The largest piece copyTo() hands over.
constexpr std::size_t kCopyPiece = BufferedWriter::kSize;

}  // namespace

ScratchFile::~ScratchFile() {
  if (handle_ != kInvalidHandle) OsClose(handle_);
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
  if (handle_ != kInvalidHandle) OsClose(handle_);
  handle_ = kInvalidHandle;
  size_ = 0;
  failed_ = false;
  error_ = 0;
  handle_ = OsCreateScratchFile(folder);
  return handle_ != kInvalidHandle || fail(OsLastError());
}

bool ScratchFile::write(std::string_view bytes) {
  if (handle_ == kInvalidHandle || failed_) return false;
  size_ += bytes.size();
  const auto count = static_cast<std::int64_t>(bytes.size());
  return OsWrite(handle_, bytes.data(), count) == count || fail(OsLastError());
}

bool ScratchFile::copyTo(ByteSink& sink) {
  if (handle_ == kInvalidHandle || failed_) return false;
  if (size_ == 0) return true;
  const std::unique_ptr<char[]> piece(new (std::nothrow) char[kCopyPiece]);
  if (!piece) return fail(kErrorNotEnoughMemory);
  if (OsSeek(handle_, 0, SeekFrom::Begin) != 0) return fail(OsLastError());
  std::uint64_t left = size_;
  while (left > 0) {
    const auto want = static_cast<std::int64_t>(left < kCopyPiece ? left : kCopyPiece);
    OsSetLastError(0);
    const std::int64_t got = OsRead(handle_, piece.get(), want);
    if (got < want) return fail(OsLastError() != 0 ? OsLastError() : kCutShort);
    left -= static_cast<std::uint64_t>(got);
    if (!sink.write(std::string_view(piece.get(), static_cast<std::size_t>(got)))) return false;
  }
  // Later writes go after what was written.
  return OsSeek(handle_, static_cast<std::int64_t>(size_), SeekFrom::Begin) >= 0 || fail(OsLastError());
}

bool ScratchFile::readAt(std::uint64_t offset, char* destination, std::size_t count) {
  if (handle_ == kInvalidHandle || failed_) return false;
  if (offset > size_ || count > size_ - offset) return false;
  if (OsSeek(handle_, static_cast<std::int64_t>(offset), SeekFrom::Begin) < 0) return fail(OsLastError());
  OsSetLastError(0);
  const auto want = static_cast<std::int64_t>(count);
  const std::int64_t got = OsRead(handle_, destination, want);
  if (got < want) return fail(OsLastError() != 0 ? OsLastError() : kCutShort);
  return OsSeek(handle_, static_cast<std::int64_t>(size_), SeekFrom::Begin) >= 0 || fail(OsLastError());
}
