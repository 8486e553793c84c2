#include "app/inventory_cli.h"
#include "runtime/utf8.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

// One line to a descriptor, all of it; false when it could not be written.
bool writeLine(int fd, TextView line) {
  std::string bytes = NativePathFromText(line);  // names that are not UTF-8 go out as their own bytes
  bytes.push_back('\n');
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t put = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return false;
    done += static_cast<std::size_t>(put);
  }
  return true;
}

// A standard descriptor that was closed gets one that refuses every write, so
// that no file the program opens takes its number (and the lines meant for
// standard output) and the writes meant for it fail as they should.
void occupyClosedStandardDescriptors() {
  for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF) continue;
    const int opened = ::open("/dev/null", O_RDONLY | O_NOCTTY);
    if (opened >= 0 && opened != fd) {
      ::dup2(opened, fd);
      ::close(opened);
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  occupyClosedStandardDescriptors();
  // A reader that goes away (| head) or a file too big for its limit is a
  // failed write, reported as such, never the end of the program.
  std::signal(SIGPIPE, SIG_IGN);
  std::signal(SIGXFSZ, SIG_IGN);
  std::vector<Text> arguments;
  for (int i = 1; i < argc; ++i) arguments.push_back(TextFromNativePath(argv[i]));
  InventoryStreams streams{[](TextView line) { return writeLine(STDOUT_FILENO, line); },
                           [](TextView line) { return writeLine(STDERR_FILENO, line); }, {}};
  if (::isatty(STDERR_FILENO)) {
    streams.progress = [](std::string_view line) {
      // Redraw in place: back to the line's start, the text, the rest cleared.
      std::fprintf(stderr, "\r%.*s\x1b[K", static_cast<int>(line.size()), line.data());
      std::fflush(stderr);
    };
  }
  return runInventoryCli(arguments, streams);
}
