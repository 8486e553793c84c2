#include "app/command_line.h"
#include "runtime/utf8.h"

#include <cerrno>
#include <unistd.h>

namespace {

// Text to a descriptor, all of it; false when it could not be written.
bool writeAll(int fd, TextView text, bool line) {
  std::string bytes = NativePathFromText(text);  // names that are not UTF-8 go out as their own bytes
  if (line) bytes.push_back('\n');
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

CliStreams standardStreams() {
  return {[](TextView line) { return writeAll(STDOUT_FILENO, line, true); },
          [](TextView line) { writeAll(STDERR_FILENO, line, true); }};
}

bool writeStandardError(TextView text) { return writeAll(STDERR_FILENO, text, false); }
