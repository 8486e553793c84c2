#include "runtime/scratch_file.h"
#include "runtime/utf8.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <random>
#include <unistd.h>

namespace {

int OpenRetrying(const std::string& name, int flags) {
  int fd;
  do fd = ::open(name.c_str(), flags | O_CLOEXEC | O_NOCTTY, 0600);
  while (fd < 0 && errno == EINTR);
  return fd;
}

std::string TemporaryFolder() {
  const char* folder = std::getenv("TMPDIR");
  return folder != nullptr && folder[0] == '/' ? folder : "/tmp";
}

std::string RandomName() {
  static std::mt19937_64 generator{std::random_device{}() ^ static_cast<std::uint64_t>(::getpid())};
  static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  std::string name = ".quorvel-scratch-";
  for (int i = 0; i < 10; ++i) name.push_back(kLetters[generator() % 36]);
  return name;
}

}  // namespace

OsHandle OsCreateScratchFile(TextView folder) {
  std::string where = folder.empty() ? TemporaryFolder() : NativePathFromText(folder);
  if (where.empty() || where.back() != '/') where.push_back('/');
#ifdef O_TMPFILE
  // A file that never has a name. File systems that cannot make one say so
  // (EOPNOTSUPP, EISDIR on old systems); then the named way below.
  const int nameless = OpenRetrying(where, O_TMPFILE | O_RDWR | O_EXCL);
  if (nameless >= 0) return static_cast<OsHandle>(nameless) + 1;
#endif
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::string name = where + RandomName();
    // Should an interrupt end us between the open and the unlink, the name
    // is removed all the same.
    const Text shown = TextFromNativePath(name);
    OsRemoveOnInterrupt(shown);
    const int fd = OpenRetrying(name, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW);
    const int error = errno;
    if (fd >= 0) ::unlink(name.c_str());
    OsForgetOnInterrupt(shown);
    if (fd >= 0) return static_cast<OsHandle>(fd) + 1;
    if (error != EEXIST) {
      OsSetLastError(error);
      return kInvalidHandle;
    }
  }
  OsSetLastError(EEXIST);
  return kInvalidHandle;
}
