#include "app/export_cli.h"
#include "runtime/utf8.h"

#include <csignal>

int main(int argc, char** argv) {
  // A reader that goes away (| head) or a file too big for its limit is a
  // failed write, reported as such, not the end of the batch.
  std::signal(SIGPIPE, SIG_IGN);
  std::signal(SIGXFSZ, SIG_IGN);
  std::vector<Text> arguments;
  for (int i = 1; i < argc; ++i) arguments.push_back(TextFromNativePath(argv[i]));
  return runExportCli(arguments, standardStreams());
}
