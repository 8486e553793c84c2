#include "app/inventory_cli.h"
#include "runtime/utf8.h"

#include <cstdio>
#include <unistd.h>

int main(int argc, char** argv) {
  std::vector<Text> arguments;
  for (int i = 1; i < argc; ++i) arguments.push_back(TextFromNativePath(argv[i]));
  auto print = [](std::FILE* stream) {
    return [stream](TextView line) {
      std::string bytes = NativePathFromText(line);
      bytes.push_back('\n');
      std::fwrite(bytes.data(), 1, bytes.size(), stream);
      std::fflush(stream);
    };
  };
  InventoryStreams streams{print(stdout), print(stderr), {}};
  if (::isatty(STDERR_FILENO)) {
    streams.progress = [](std::string_view line) {
      // Redraw in place: back to the line's start, the text, the rest cleared.
      std::fprintf(stderr, "\r%.*s\x1b[K", static_cast<int>(line.size()), line.data());
      std::fflush(stderr);
    };
  }
  return runInventoryCli(arguments, streams);
}
