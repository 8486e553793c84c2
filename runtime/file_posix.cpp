#include "runtime/os_file.h"
#include "runtime/utf8.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr std::int64_t kMaxTransfer = 0x40000000;  // 1 GiB per call

// A descriptor is stored plus one so that descriptor 0 is not "no file".
OsHandle FromFd(int fd) { return static_cast<OsHandle>(fd) + 1; }
int ToFd(OsHandle handle) { return static_cast<int>(handle - 1); }

// Opens without blocking (a FIFO without a writer must not hang us), takes the
// exclusive lock that stands for "no sharing" (on regular files), and refuses folders.
int OpenLocked(TextView path, int flags) {
  if (path.empty()) return -1;
  std::string name = TextToUtf8(path);
  int fd;
  do fd = ::open(name.c_str(), flags | O_NONBLOCK | O_CLOEXEC, 0666);
  while (fd < 0 && errno == EINTR);
  if (fd < 0) return -1;
  // Only a regular file is held exclusively: a device such as /dev/null is
  // shared by every program, and one that locks it must not stop our writes.
  struct stat info;
  if (::fstat(fd, &info) != 0 || S_ISDIR(info.st_mode) ||
      (S_ISREG(info.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) != 0)) {
    ::close(fd);
    return -1;
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  return fd;
}

}  // namespace

OsHandle OsOpenExisting(TextView path) {
  int fd = OpenLocked(path, O_RDONLY);
  if (fd < 0) return 0;
  // Only a regular file has an end: /dev/zero or an endless pipe would grow
  // the line table until memory ran out.
  struct stat info;
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    return 0;
  }
  return FromFd(fd);
}

OsHandle OsCreateAlways(TextView path) {
  // Truncate only once the lock is held, so a file in use stays intact.
  int fd = OpenLocked(path, O_RDWR | O_CREAT);
  if (fd < 0) return 0;
  if (::ftruncate(fd, 0) != 0) {
    struct stat info;
    if (::fstat(fd, &info) != 0 || S_ISREG(info.st_mode)) {  // devices cannot be truncated, and need not be
      ::close(fd);
      return 0;
    }
  }
  return FromFd(fd);
}

OsHandle OsTruncateExisting(TextView path) {
  int fd = OpenLocked(path, O_WRONLY);
  if (fd < 0) return 0;
  struct stat info;
  if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && ::ftruncate(fd, 0) != 0) {
    ::close(fd);
    return 0;
  }
  return FromFd(fd);
}

OsHandle OsDuplicateStandardOutput() {
  int fd = ::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 0);
  return fd < 0 ? 0 : FromFd(fd);
}

std::int64_t OsRead(OsHandle handle, void* destination, std::int64_t count) {
  auto* out = static_cast<char*>(destination);
  std::int64_t done = 0;
  while (done < count) {
    std::int64_t chunk = count - done > kMaxTransfer ? kMaxTransfer : count - done;
    ssize_t got = ::read(ToFd(handle), out + done, static_cast<std::size_t>(chunk));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    done += got;
  }
  return done;
}

std::int64_t OsWrite(OsHandle handle, const void* source, std::int64_t count) {
  const auto* in = static_cast<const char*>(source);
  std::int64_t done = 0;
  while (done < count) {
    std::int64_t chunk = count - done > kMaxTransfer ? kMaxTransfer : count - done;
    ssize_t put = ::write(ToFd(handle), in + done, static_cast<std::size_t>(chunk));
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) break;
    done += put;
  }
  return done;
}

std::int64_t OsSeek(OsHandle handle, std::int64_t distance, SeekFrom from) {
  off_t result = ::lseek(ToFd(handle), static_cast<off_t>(distance), from == SeekFrom::Begin ? SEEK_SET : SEEK_CUR);
  return result < 0 ? -1 : static_cast<std::int64_t>(result);
}

std::int64_t OsFileSize(OsHandle handle) {
  struct stat info;
  if (::fstat(ToFd(handle), &info) != 0 || !S_ISREG(info.st_mode)) return -1;
  return static_cast<std::int64_t>(info.st_size);
}

bool OsClose(OsHandle handle) { return ::close(ToFd(handle)) == 0; }

bool OsRemoveFile(TextView path) {
  std::string name = TextToUtf8(path);
  return !name.empty() && ::unlink(name.c_str()) == 0;
}
