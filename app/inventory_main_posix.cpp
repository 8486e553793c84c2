#include "app/inventory_cli.h"
#include "runtime/utf8.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

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
  InventoryStreams streams{standardStreams(), {}};
  if (::isatty(STDERR_FILENO)) {
    streams.progress = [](std::string_view line) {
      // Redraw in place: back to the line's start, the text, the rest cleared.
      writeStandardError(u"\r" + TextFromUtf8(line) + u"\x1b[K");
    };
  }
  return runInventoryCli(arguments, streams);
}
