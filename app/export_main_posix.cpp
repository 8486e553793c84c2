#include "app/export_cli.h"
#include "runtime/utf8.h"

#include <cerrno>
#include <csignal>
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

}  // namespace

int main(int argc, char** argv) {
  // A reader that goes away (| head) or a file too big for its limit is a
  // failed write, reported as such, not the end of the batch.
  std::signal(SIGPIPE, SIG_IGN);
  std::signal(SIGXFSZ, SIG_IGN);
  std::vector<Text> arguments;
  for (int i = 1; i < argc; ++i) arguments.push_back(TextFromNativePath(argv[i]));
  return runExportCli(arguments, {[](TextView line) { return writeLine(STDOUT_FILENO, line); },
                                  [](TextView line) { writeLine(STDERR_FILENO, line); }});
}
