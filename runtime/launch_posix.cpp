#include "runtime/launch.h"
#include "runtime/utf8.h"

#include <spawn.h>

extern char** environ;

bool LaunchDocument(TextView path) {
  std::string name = TextToUtf8(path);
  char program[] = "xdg-open";
  char* argv[] = {program, name.data(), nullptr};
  // Not waited for: without a desktop session xdg-open may run the browser
  // itself until it is closed.
  pid_t child;
  return ::posix_spawnp(&child, program, nullptr, nullptr, argv, environ) == 0;
}
