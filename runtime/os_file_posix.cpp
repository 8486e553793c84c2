#include "runtime/os_file.h"
#include "runtime/utf8.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <pthread.h>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#if defined(__linux__)
#include <linux/magic.h>
#include <sys/vfs.h>
#endif

namespace {

constexpr std::int64_t kMaxTransfer = 0x40000000;  // 1 GiB per call
// How long an output pipe may go without a reader before the open gives up.
constexpr auto kReaderWait = std::chrono::seconds(2);

thread_local std::int64_t lastError = 0;

// Records the failure; always false, so that `return Fail(errno);` reads well.
bool Fail(std::int64_t code) {
  lastError = code;
  return false;
}
OsHandle FailHandle(std::int64_t code) {
  lastError = code;
  return kInvalidHandle;
}

// A descriptor is stored plus one so that descriptor 0 is not "no file".
OsHandle FromFd(int fd) { return static_cast<OsHandle>(fd) + 1; }
int ToFd(OsHandle handle) { return static_cast<int>(handle - 1); }

int OpenRetrying(const std::string& name, int flags, mode_t mode = 0) {
  int fd;
  do fd = ::open(name.c_str(), flags | O_CLOEXEC | O_NOCTTY, mode);
  while (fd < 0 && errno == EINTR);
  return fd;
}

void ClearNonBlocking(int fd) { ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK); }

// An exclusive lock that another program holds. Only "would block" means
// held: a lock the system cannot give at all (ENOLCK on a network file
// system without a lock daemon) is no reason to refuse the file.
bool TakeLock(int fd, bool& held) {
  held = false;
  if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return true;
  held = errno == EWOULDBLOCK || errno == EAGAIN;
  return false;
}

// Opens without blocking (a FIFO without a writer must not hang us), takes the
// exclusive lock that stands for "no sharing" (on regular files), and refuses folders.
int OpenLocked(TextView path, int flags) {
  if (path.empty()) {
    Fail(ENOENT);
    return -1;
  }
  const int fd = OpenRetrying(NativePathFromText(path), flags | O_NONBLOCK, 0666);
  if (fd < 0) {
    Fail(errno);
    return -1;
  }
  // Only a regular file is held exclusively: a device such as /dev/null is
  // shared by every program, and one that locks it must not stop our writes.
  struct stat info;
  bool held = false;
  if (::fstat(fd, &info) != 0 || S_ISDIR(info.st_mode) || (S_ISREG(info.st_mode) && !TakeLock(fd, held) && held)) {
    Fail(held ? kErrorHeldByAnotherProgram : S_ISDIR(info.st_mode) ? EISDIR : errno);
    ::close(fd);
    return -1;
  }
  ClearNonBlocking(fd);
  return fd;
}

// Whether an open file belongs to one of the kernel's own file systems
// (/proc, /sys and the like). Their files show as regular, but their size
// says nothing, and reading some waits for events (/proc/kmsg) or takes
// away what it reads.
bool IsKernelFile(int fd) {
#if defined(__linux__)
  struct statfs info;
  if (::fstatfs(fd, &info) != 0) return false;
  switch (static_cast<std::uint32_t>(info.f_type)) {
    case PROC_SUPER_MAGIC: case SYSFS_MAGIC: case DEBUGFS_MAGIC: case TRACEFS_MAGIC: case SECURITYFS_MAGIC:
    case SELINUX_MAGIC: case PSTOREFS_MAGIC: case EFIVARFS_MAGIC: case CGROUP_SUPER_MAGIC:
    case CGROUP2_SUPER_MAGIC: case BINFMTFS_MAGIC: case BPF_FS_MAGIC:
      return true;
    default:
      return false;
  }
#else
  (void)fd;
  return false;
#endif
}

// Opens an existing regular file for reading. What the name leads to is
// looked at first, so that a pipe or a device is never opened at all (an open
// can have effects of its own); the open itself does not wait (a pipe put
// there meanwhile), and what was opened is checked again before the first
// read. `hold`: the exclusive lock that stands for "no sharing".
OsHandle OpenForReading(TextView path, bool hold) {
  if (path.empty()) return FailHandle(ENOENT);
  const std::string name = NativePathFromText(path);
  struct stat info;
  if (::stat(name.c_str(), &info) != 0) return FailHandle(errno);
  if (S_ISDIR(info.st_mode)) return FailHandle(EISDIR);
  if (!S_ISREG(info.st_mode)) return FailHandle(kErrorNotRegularFile);
  const int fd = OpenRetrying(name, O_RDONLY | O_NONBLOCK);
  if (fd < 0) return FailHandle(errno);
  std::int64_t error = 0;
  bool held = false;
  if (::fstat(fd, &info) != 0) error = errno;
  else if (S_ISDIR(info.st_mode)) error = EISDIR;
  else if (!S_ISREG(info.st_mode) || IsKernelFile(fd)) error = kErrorNotRegularFile;
  else if (hold && !TakeLock(fd, held) && held) error = kErrorHeldByAnotherProgram;
  if (error != 0) {
    ::close(fd);
    return FailHandle(error);
  }
  ClearNonBlocking(fd);
  return FromFd(fd);
}

// The folder part of a native name, with its final "/"; empty for a bare name.
std::string FolderOf(const std::string& name) {
  const std::size_t slash = name.rfind('/');
  return slash == std::string::npos ? std::string() : name.substr(0, slash + 1);
}

FileIdentity IdentityOf(const struct stat& info) {
  FileIdentity id;
  id.device = static_cast<std::uint64_t>(info.st_dev);
  id.file = static_cast<std::uint64_t>(info.st_ino);
  id.known = true;
  return id;
}

// Whether another program holds the regular file; files we cannot open to
// ask are not held as far as we can tell.
bool HeldByAnotherProgram(const std::string& name) {
  const int fd = OpenRetrying(name, O_RDONLY | O_NONBLOCK);
  if (fd < 0) return false;
  bool held = false;
  TakeLock(fd, held);
  ::close(fd);
  return held;
}

// Follows the links at the end of a name that leads nowhere yet, to the
// name a new file would get; false on a loop.
bool FollowDanglingLinks(std::string& name) {
  for (int hops = 0; hops < 40; ++hops) {
    struct stat info;
    if (::lstat(name.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return true;
    std::string to(PATH_MAX, '\0');
    const ssize_t length = ::readlink(name.c_str(), to.data(), to.size());
    if (length <= 0 || static_cast<std::size_t>(length) >= to.size()) return Fail(length < 0 ? errno : ENAMETOOLONG);
    to.resize(static_cast<std::size_t>(length));
    name = to[0] == '/' ? to : FolderOf(name) + to;
  }
  return Fail(ELOOP);
}

// The plan for a name where no file is yet: its folder must be there and
// the name must fit the file system.
bool PlanNewFile(std::string name, OutputPlan& plan) {
  if (!FollowDanglingLinks(name)) return false;
  if (name.empty() || name.back() == '/') return Fail(kErrorNotAFolder);
  const std::string folder = FolderOf(name).empty() ? std::string(".") : FolderOf(name);
  struct stat info;
  if (::stat(folder.c_str(), &info) != 0) return Fail(errno);
  if (!S_ISDIR(info.st_mode)) return Fail(ENOTDIR);
  long longest = ::pathconf(folder.c_str(), _PC_NAME_MAX);
  if (longest <= 0) longest = NAME_MAX;
  if (name.size() - FolderOf(name).size() > static_cast<std::size_t>(longest) || name.size() >= PATH_MAX)
    return Fail(ENAMETOOLONG);
  plan.kind = OutputKind::Replace;
  plan.target = TextFromNativePath(name);
  return true;
}

std::string RandomName() {
  static std::mt19937_64 generator{std::random_device{}() ^ static_cast<std::uint64_t>(::getpid())};
  static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  std::string name = ".quorvel-";
  for (int i = 0; i < 10; ++i) name.push_back(kLetters[generator() % 36]);
  return name + ".tmp";
}

// Interrupts remove the unfinished files registered here. The slots are
// plain memory that a signal handler may read: a path is written before its
// slot is marked used.
struct InterruptSlot {
  volatile std::sig_atomic_t used = 0;
  char path[PATH_MAX] = {};
};
InterruptSlot interruptSlots[8];

extern "C" void RemoveUnfinishedFiles(int signal) {
  for (InterruptSlot& slot : interruptSlots)
    if (slot.used) ::unlink(slot.path);
  // The handler was reset on entry: the signal, raised again, ends the
  // process as it would have without us once this handler returns.
  ::raise(signal);
}

constexpr int kInterrupts[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGXFSZ};

void InstallInterruptHandlers() {
  static bool installed = false;
  if (installed) return;
  installed = true;
  for (int signal : kInterrupts) {
    struct sigaction old;
    // A signal the program ignores or handles itself is left to it.
    if (::sigaction(signal, nullptr, &old) != 0 || (old.sa_flags & SA_SIGINFO) || old.sa_handler != SIG_DFL)
      continue;
    struct sigaction action = {};
    action.sa_handler = RemoveUnfinishedFiles;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND;
    ::sigaction(signal, &action, nullptr);
  }
}

}  // namespace

std::int64_t OsLastError() { return lastError; }
void OsSetLastError(std::int64_t code) { lastError = code; }

Text OsErrorText(std::int64_t code) {
  if (!OwnErrorText(code).empty()) return Text(OwnErrorText(code));
  char buffer[256] = {};
  // GNU strerror_r returns its text, the XSI one fills the buffer.
  struct Pick {
    const char* buffer;
    const char* operator()(int) const { return buffer; }
    const char* operator()(const char* text) const { return text; }
  };
  const char* text = Pick{buffer}(::strerror_r(static_cast<int>(code), buffer, sizeof buffer));
  return TextFromUtf8(text ? text : "");
}

OsHandle OsOpenExisting(TextView path) { return OpenForReading(path, true); }

OsHandle OsOpenShared(TextView path) { return OpenForReading(path, false); }

OsHandle OsCreateAlways(TextView path) {
  // Truncate only once the lock is held, so a file in use stays intact.
  int fd = OpenLocked(path, O_RDWR | O_CREAT);
  if (fd < 0) return kInvalidHandle;
  if (::ftruncate(fd, 0) != 0) {
    struct stat info;
    if (::fstat(fd, &info) != 0 || S_ISREG(info.st_mode)) {  // devices cannot be truncated, and need not be
      Fail(errno);
      ::close(fd);
      return kInvalidHandle;
    }
  }
  return FromFd(fd);
}

OsHandle OsTruncateExisting(TextView path) {
  int fd = OpenLocked(path, O_WRONLY);
  if (fd < 0) return kInvalidHandle;
  struct stat info;
  if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && ::ftruncate(fd, 0) != 0) {
    Fail(errno);
    ::close(fd);
    return kInvalidHandle;
  }
  return FromFd(fd);
}

OsHandle OsDuplicateStandardOutput() {
  int fd = ::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 0);
  return fd < 0 ? FailHandle(errno) : FromFd(fd);
}

std::int64_t OsRead(OsHandle handle, void* destination, std::int64_t count) {
  auto* out = static_cast<char*>(destination);
  std::int64_t done = 0;
  while (done < count) {
    std::int64_t chunk = count - done > kMaxTransfer ? kMaxTransfer : count - done;
    ssize_t got = ::read(ToFd(handle), out + done, static_cast<std::size_t>(chunk));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) Fail(errno);
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
    if (put < 0) Fail(errno);
    if (put == 0) Fail(ENOSPC);
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

bool OsClose(OsHandle handle) {
  // After close the descriptor is gone even when it reports EINTR: no retry.
  return ::close(ToFd(handle)) == 0 || Fail(errno);
}

bool OsRemoveFile(TextView path) {
  if (path.empty()) return Fail(ENOENT);
  return ::unlink(NativePathFromText(path).c_str()) == 0 || Fail(errno);
}

FileIdentity OsPathIdentity(TextView path) {
  struct stat info;
  if (path.empty() || ::stat(NativePathFromText(path).c_str(), &info) != 0) return {};
  return IdentityOf(info);
}

FileIdentity OsHandleIdentity(OsHandle handle) {
  struct stat info;
  if (handle == kInvalidHandle || ::fstat(ToFd(handle), &info) != 0) return {};
  return IdentityOf(info);
}

bool OsHandleIsRegularFile(OsHandle handle) {
  struct stat info;
  return handle != kInvalidHandle && ::fstat(ToFd(handle), &info) == 0 && S_ISREG(info.st_mode);
}

bool OsPlanOutput(TextView path, OutputPlan& plan) {
  plan = OutputPlan{};
  if (path.empty()) return Fail(ENOENT);
  const std::string name = NativePathFromText(path);
  struct stat info;
  if (::stat(name.c_str(), &info) != 0) {
    if (errno != ENOENT) return Fail(errno);
    return PlanNewFile(name, plan);
  }
  if (S_ISDIR(info.st_mode)) return Fail(EISDIR);
  plan.existing = IdentityOf(info);
  plan.target = Text(path);
  struct stat out;
  if (::fstat(STDOUT_FILENO, &out) == 0 && IdentityOf(out) == plan.existing) {
    plan.kind = OutputKind::StandardOutput;
    return true;
  }
  if (!S_ISREG(info.st_mode)) {
    plan.kind = OutputKind::Direct;
    return true;
  }
  // A regular file, maybe reached through links: the new file goes where
  // the file itself is, so that the rename replaces it and keeps the links.
  char resolved[PATH_MAX];
  if (::realpath(name.c_str(), resolved) == nullptr) return Fail(errno);
  if (::faccessat(AT_FDCWD, resolved, W_OK, AT_EACCESS) != 0) return Fail(errno);
  if (HeldByAnotherProgram(resolved)) return Fail(kErrorHeldByAnotherProgram);
  plan.kind = OutputKind::Replace;
  plan.target = TextFromNativePath(resolved);
  return true;
}

OsHandle OsOpenDirectOutput(TextView path) {
  if (path.empty()) return FailHandle(ENOENT);
  const std::string name = NativePathFromText(path);
  const auto deadline = std::chrono::steady_clock::now() + kReaderWait;
  for (;;) {
    // Write-only: a reader end of our own would keep a pipe open forever.
    const int fd = OpenRetrying(name, O_WRONLY | O_NONBLOCK);
    if (fd >= 0) {
      ClearNonBlocking(fd);
      return FromFd(fd);
    }
    struct stat info;
    const bool pipe = errno == ENXIO && ::stat(name.c_str(), &info) == 0 && S_ISFIFO(info.st_mode);
    if (!pipe) return FailHandle(errno);
    if (std::chrono::steady_clock::now() >= deadline) return FailHandle(kErrorNoReader);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

namespace {

// Holds the interrupts back while it lives: one that comes meanwhile is
// delivered when it ends, once the file it must remove is registered.
class InterruptsHeld {
 public:
  InterruptsHeld() {
    sigset_t held;
    sigemptyset(&held);
    for (int signal : kInterrupts) sigaddset(&held, signal);
    ::pthread_sigmask(SIG_BLOCK, &held, &previous_);
  }
  ~InterruptsHeld() { ::pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }

 private:
  sigset_t previous_;
};

}  // namespace

OsHandle OsCreateTemporaryBeside(TextView target, Text& temporary) {
  const InterruptsHeld held;
  const std::string name = NativePathFromText(target);
  const std::string folder = FolderOf(name);
  struct stat existing;
  const bool keep = ::stat(name.c_str(), &existing) == 0 && S_ISREG(existing.st_mode);
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string candidate = folder + RandomName();
    const int fd = OpenRetrying(candidate, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW, keep ? 0600 : 0666);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      return FailHandle(errno);
    }
    if (keep) {
      // The owner first (only a privileged process may change it), since
      // that clears set-id bits, then the permissions.
      if (existing.st_uid != ::geteuid() || existing.st_gid != ::getegid())
        (void)!::fchown(fd, existing.st_uid, existing.st_gid);
      ::fchmod(fd, existing.st_mode & 07777);
    }
    temporary = TextFromNativePath(candidate);
    OsRemoveOnInterrupt(temporary);
    return FromFd(fd);
  }
  return FailHandle(EEXIST);
}

bool OsSyncFile(OsHandle handle) {
  int result;
  do result = ::fsync(ToFd(handle));
  while (result != 0 && errno == EINTR);
  // A file system that cannot sync (EINVAL, EROFS) has nothing to make durable.
  return result == 0 || errno == EINVAL || errno == EROFS || Fail(errno);
}

bool OsReplaceFile(TextView temporary, TextView target) {
  const std::string to = NativePathFromText(target);
  if (::rename(NativePathFromText(temporary).c_str(), to.c_str()) != 0) return Fail(errno);
  // The new name is durable once its folder is.
  const std::string folder = FolderOf(to).empty() ? std::string(".") : FolderOf(to);
  const int fd = OpenRetrying(folder, O_RDONLY | O_DIRECTORY);
  if (fd >= 0) {
    ::fsync(fd);
    ::close(fd);
  }
  return true;
}

void OsRemoveOnInterrupt(TextView path) {
  const std::string name = NativePathFromText(path);
  if (name.size() >= PATH_MAX) return;
  InstallInterruptHandlers();
  for (InterruptSlot& slot : interruptSlots) {
    if (slot.used) continue;
    std::memcpy(slot.path, name.c_str(), name.size() + 1);
    std::atomic_signal_fence(std::memory_order_seq_cst);
    slot.used = 1;
    return;
  }
}

void OsForgetOnInterrupt(TextView path) {
  const std::string name = NativePathFromText(path);
  for (InterruptSlot& slot : interruptSlots)
    if (slot.used && name == slot.path) {
      slot.used = 0;
      return;
    }
}
